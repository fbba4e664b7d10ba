#include "coloring/proper_coloring.h"

namespace tintara {

bool isProperColoring(const Graph& graph, const std::vector<int32_t>& colors, int32_t colorCount) {
  if (colors.size() != static_cast<std::size_t>(graph.vertexCount)) return false;
  for (int32_t v = 0; v < graph.vertexCount; ++v) {
    if (colors[v] < 0 || colors[v] >= colorCount) return false;
    for (int32_t w : graph.neighbours(v)) {
      if (colors[w] == colors[v]) return false;
    }
  }
  return true;
}

}  // namespace tintara
