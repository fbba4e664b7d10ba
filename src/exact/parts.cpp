#include "exact/parts.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "coloring/block_join.h"
#include "graph/simple_graph.h"
#include "exact/exact_block.h"

namespace tintara {
namespace {

std::string counted(int64_t count, const std::string& noun, const std::string& plural) {
  return std::to_string(count) + " " + (count == 1 ? noun : plural);
}

// The block's value; a closed form without a colouring is read off the
// block's counts, so that a bridge or a cycle costs no Graph of its own.
BlockValue valueOf(const BlockDecomposition& blocks, int32_t b, int32_t k,
                   const PartsOptions& options) {
  const int32_t size = blocks.blockSize(b);
  const BlockShape shape = blockShape(size, blocks.edgeCounts[b]);
  if (shape != BlockShape::Other && !options.withColorings) {
    BlockValue value;
    value.shape = shape;
    value.probability = closedFormProbability(shape, size, k);
    return value;
  }
  return valueBlock(blockGraph(blocks, b), k, options.limits, options.withColorings,
                    options.checkTables);
}

}  // namespace

PartsPlan planParts(const Graph& graph, int32_t k, const PartsOptions& options) {
  PartsPlan plan;
  plan.colorCount = k;
  plan.blocks = decomposeBlocks(simpleGraph(graph));
  const BlockDecomposition& blocks = plan.blocks;
  if (options.withColorings) plan.slotColors.assign(blocks.vertices.size(), -1);
  for (int32_t b = 0; b < blocks.blockCount(); ++b) {
    BlockValue value = valueOf(blocks, b, k, options);
    plan.eliminationPeakBytes = std::max(plan.eliminationPeakBytes, value.eliminationBytes);
    if (!value.probability) {
      const auto vertices = blocks.blockVertices(b);
      plan.hardParts.push_back({b, {vertices.begin(), vertices.end()}, blockGraph(blocks, b)});
      continue;
    }
    if (*value.probability == 0) {
      plan.zeroBlock = b;
      plan.exactFactor = 0;
      plan.hardParts.clear();
      return plan;
    }
    plan.exactFactor *= *value.probability;
    switch (value.shape) {
      case BlockShape::Bridge:
        ++plan.bridges;
        break;
      case BlockShape::Cycle:
        ++plan.cycles;
        break;
      case BlockShape::Complete:
        ++plan.completeGraphs;
        break;
      case BlockShape::Other:
        ++plan.eliminated;
        break;
    }
    if (options.withColorings) {
      std::copy(value.coloring.begin(), value.coloring.end(),
                plan.slotColors.begin() + blocks.vertexStart[b]);
    }
  }
  return plan;
}

LinearBytes partsPlanBytes() {
  // Ints a vertex: the simple graph's start, a slot, its local start, its
  // kept colour and its hard part's start (cut vertices have more slots,
  // counted with the edges), and the search's stacks. Ints an edge: the
  // simple graph's two entries, the blocks' own lists and the hard parts'
  // (two each), and for each block (at most one an edge) its start, edge
  // count, parent, cut vertex, place in the join order, extra slot and its
  // colour, and the search's edge stack.
  LinearBytes bytes;
  // The elimination's own few ints a vertex (eliminationBytes) are in
  // perVertex; its tables are checked block by block.
  bytes.fixed = 64.0 * 16.0;
  bytes.perVertex = 4.0 * 8.0 + 12.0;
  bytes.perEdge = 4.0 * 18.0;
  return bytes;
}

std::string partsSummary(const PartsPlan& plan, int32_t idBase) {
  std::ostringstream line;
  line << "decomposed: " << counted(plan.blocks.blockCount(), "block", "blocks") << "; ";
  if (plan.zeroBlock >= 0) {
    const int32_t b = plan.zeroBlock;
    line << "the block of " << counted(plan.blocks.blockSize(b), "vertex", "vertices")
         << " from vertex " << plan.blocks.blockVertices(b)[0] + idBase << " has no proper "
         << plan.colorCount << "-coloring";
    return line.str();
  }
  line << plan.exactBlocks() << " exact (factor " << std::setprecision(2);
  writeNumber(line, plan.exactFactor);
  line << "), " << plan.hardParts.size() << " split";
  if (!plan.hardParts.empty()) {
    constexpr std::size_t kShown = 10;
    line << " (";
    for (std::size_t i = 0; i < plan.hardParts.size() && i < kShown; ++i) {
      line << (i > 0 ? ", " : "") << plan.hardParts[i].graph.vertexCount;
    }
    line << (plan.hardParts.size() > kShown ? ", ... vertices)" : " vertices)");
  }
  return line.str();
}

std::vector<int32_t> joinPartColorings(const Graph& graph, const PartsPlan& plan,
                                       const std::vector<std::vector<int32_t>>& hardColorings) {
  if (plan.slotColors.size() != plan.blocks.vertices.size() || plan.zeroBlock >= 0) {
    throw std::invalid_argument("joinPartColorings: the plan kept no colorings of its blocks");
  }
  if (hardColorings.size() != plan.hardParts.size()) {
    throw std::invalid_argument("joinPartColorings: one coloring a hard part is needed");
  }
  std::vector<int32_t> slotColors = plan.slotColors;
  for (std::size_t i = 0; i < hardColorings.size(); ++i) {
    const HardPart& part = plan.hardParts[i];
    if (hardColorings[i].size() != part.vertices.size()) {
      throw std::invalid_argument("joinPartColorings: a hard part's coloring has the wrong length");
    }
    std::copy(hardColorings[i].begin(), hardColorings[i].end(),
              slotColors.begin() + plan.blocks.vertexStart[part.block]);
  }
  return joinBlockColorings(graph, plan.blocks, slotColors, plan.colorCount);
}

}  // namespace tintara
