#include "coloring/block_join.h"

#include <stdexcept>

#include "coloring/proper_coloring.h"

namespace tintara {

std::vector<int32_t> joinBlockColorings(const Graph& graph, const BlockDecomposition& blocks,
                                        std::span<const int32_t> slotColors, int32_t k) {
  if (slotColors.size() != blocks.vertices.size()) {
    throw std::invalid_argument("joinBlockColorings: one colour a block slot is needed");
  }
  std::vector<int32_t> colors(graph.vertexCount, 0);
  for (int32_t b : blocks.joinOrder) {
    const auto vertices = blocks.blockVertices(b);
    const auto own = slotColors.subspan(blocks.vertexStart[b], vertices.size());
    // Swap the colour the block gave its cut vertex with the one the
    // parent gave it; at a root both are the same, so nothing changes.
    int32_t from = 0, to = 0;
    if (blocks.cutVertex[b] >= 0) {
      for (std::size_t i = 0; i < vertices.size(); ++i) {
        if (vertices[i] == blocks.cutVertex[b]) from = own[i];
      }
      to = colors[blocks.cutVertex[b]];
    }
    for (std::size_t i = 0; i < vertices.size(); ++i) {
      const int32_t c = own[i];
      colors[vertices[i]] = c == from ? to : c == to ? from : c;
    }
  }
  if (!isProperColoring(graph, colors, k)) {
    throw std::logic_error("joinBlockColorings: the joined coloring is not proper");
  }
  return colors;
}

}  // namespace tintara
