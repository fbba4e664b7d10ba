#include "exact/parts.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "coloring/block_join.h"
#include "exact/exact_block.h"
#include "exact/kernel_form.h"
#include "exact/partition_elimination.h"
#include "graph/simple_graph.h"

namespace tintara {
namespace {

std::string counted(int64_t count, const std::string& noun, const std::string& plural) {
  return std::to_string(count) + " " + (count == 1 ? noun : plural);
}

// The block's value; a closed form without a colouring is read off the
// block's counts, so that a bridge or a cycle costs no Graph of its own.
// Plan version 1's valuation, and version 2's for closed forms.
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

// How version 2 valued a block that is no closed form.
enum class Way { TwoColored, SeriesParallel, Eliminated, Hard };

struct Valued {
  Way way = Way::Hard;
  WideDouble probability = 1;  // exact; for a kernel split, the exact share (constant x scale)
  std::vector<int32_t> coloring;
  double eliminationBytes = 0;
  HardPart part;  // for Way::Hard
};

// k = 2: the block's two colourings when it is bipartite (a connected
// block's colouring is fixed by one vertex's colour), none otherwise.
Valued twoColored(const Graph& block, bool withColoring) {
  Valued valued;
  valued.way = Way::TwoColored;
  std::vector<int32_t> side(static_cast<std::size_t>(block.vertexCount), -1);
  std::vector<int32_t> queue{0};
  side[0] = 0;
  for (std::size_t at = 0; at < queue.size(); ++at) {
    const int32_t u = queue[at];
    for (int32_t v : block.neighbours(u)) {
      if (side[v] < 0) {
        side[v] = 1 - side[u];
        queue.push_back(v);
      } else if (side[v] == side[u]) {
        valued.probability = 0;
        return valued;
      }
    }
  }
  valued.probability = ldexp(WideDouble(1), 1 - block.vertexCount);
  if (withColoring) valued.coloring = std::move(side);
  return valued;
}

// k >= 3: the reductions, then elimination of what is left, then a hard
// part on the kernel (or the block itself when nothing reduced).
Valued reducedValue(Graph block, int32_t k, const PartsOptions& options) {
  Valued valued;
  ReducedBlock reduced = reduceSeriesParallel(block, k);
  if (reduced.constant == 0 || reduced.fullyReduced()) {
    valued.way = Way::SeriesParallel;
    valued.probability = reduced.constant;
    if (options.withColorings && reduced.constant != 0) {
      valued.coloring = completeBlockColoring(reduced, block.vertexCount, {});
    }
    return valued;
  }
  // The kernel (the block itself when nothing reduced) by elimination over
  // colour-equality patterns, within the limits.
  const PartitionPlan plan = planPartitionElimination(reduced.kernel, k, options.limits);
  if (plan.feasible) {
    valued.eliminationBytes = partitionEliminationBytes(plan, options.withColorings);
    if (options.checkTables) options.checkTables(valued.eliminationBytes, block.vertexCount);
    const EliminationResult result =
        eliminateByPartitions(reduced.kernel, k, plan, options.withColorings);
    valued.way = Way::Eliminated;
    valued.probability = reduced.constant * result.probability;
    if (options.withColorings && result.probability > 0) {
      valued.coloring = completeBlockColoring(reduced, block.vertexCount, result.coloring);
    }
    return valued;
  }
  valued.way = Way::Hard;
  if (reduced.reducedAny() && k <= kMaxKernelColors) {
    KernelForm form = kernelForm(reduced.kernel);
    valued.probability = reduced.constant * form.scale;
    valued.part.share = valued.probability;
    valued.part.kernel = std::move(form.graph);
    valued.part.reduced = std::move(reduced);
  }
  valued.part.graph = std::move(block);
  return valued;
}

}  // namespace

PartsPlan planParts(const Graph& graph, int32_t k, const PartsOptions& options) {
  PartsPlan plan;
  plan.colorCount = k;
  plan.version = options.version;
  plan.blocks = decomposeBlocks(simpleGraph(graph));
  const BlockDecomposition& blocks = plan.blocks;
  if (options.withColorings) plan.slotColors.assign(blocks.vertices.size(), -1);
  const auto zero = [&](int32_t b) {
    plan.zeroBlock = b;
    plan.exactFactor = 0;
    plan.hardParts.clear();
  };
  const auto keepColoring = [&](int32_t b, const std::vector<int32_t>& coloring) {
    if (options.withColorings) {
      std::copy(coloring.begin(), coloring.end(), plan.slotColors.begin() + blocks.vertexStart[b]);
    }
  };
  for (int32_t b = 0; b < blocks.blockCount(); ++b) {
    const BlockShape shape = blockShape(blocks.blockSize(b), blocks.edgeCounts[b]);
    if (options.version >= 2 && shape == BlockShape::Other && k >= 2) {
      Valued valued = k == 2 ? twoColored(blockGraph(blocks, b), options.withColorings)
                             : reducedValue(blockGraph(blocks, b), k, options);
      plan.eliminationPeakBytes = std::max(plan.eliminationPeakBytes, valued.eliminationBytes);
      if (valued.probability == 0) {
        zero(b);
        return plan;
      }
      plan.exactFactor *= valued.probability;
      switch (valued.way) {
        case Way::TwoColored:
          ++plan.twoColored;
          break;
        case Way::SeriesParallel:
          ++plan.seriesParallel;
          break;
        case Way::Eliminated:
          ++plan.eliminated;
          break;
        case Way::Hard: {
          const auto vertices = blocks.blockVertices(b);
          valued.part.block = b;
          valued.part.vertices.assign(vertices.begin(), vertices.end());
          plan.hardParts.push_back(std::move(valued.part));
          continue;
        }
      }
      keepColoring(b, valued.coloring);
      continue;
    }
    BlockValue value = valueOf(blocks, b, k, options);
    plan.eliminationPeakBytes = std::max(plan.eliminationPeakBytes, value.eliminationBytes);
    if (!value.probability) {
      const auto vertices = blocks.blockVertices(b);
      HardPart part;
      part.block = b;
      part.vertices.assign(vertices.begin(), vertices.end());
      part.graph = blockGraph(blocks, b);
      plan.hardParts.push_back(std::move(part));
      continue;
    }
    if (*value.probability == 0) {
      zero(b);
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
    keepColoring(b, value.coloring);
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
  if (plan.hardParts.empty()) return line.str();
  constexpr std::size_t kShown = 10;
  const std::size_t shown = std::min(plan.hardParts.size(), kShown);
  const bool kernels = std::any_of(plan.hardParts.begin(), plan.hardParts.end(),
                                   [](const HardPart& part) { return part.byKernel(); });
  line << " (";
  for (std::size_t i = 0; i < shown; ++i) {
    const HardPart& part = plan.hardParts[i];
    if (!kernels) {
      line << (i > 0 ? ", " : "") << part.graph.vertexCount;
      continue;
    }
    line << (i > 0 ? "; " : "") << part.graph.vertexCount << " vertices";
    if (part.byKernel()) {
      line << ", kernel " << part.kernel.vertexCount << " + " << part.kernel.bits.size()
           << " weighted";
    }
  }
  if (plan.hardParts.size() > shown) line << (kernels ? "; ..." : ", ...");
  line << (kernels ? ")" : " vertices)");
  line << (plan.multipliesMeans() ? "; the average is the product of the parts' means"
                                  : "; the runs averaged with an entry 0.0 first");
  return line.str();
}

std::vector<int32_t> partBlockColoring(const HardPart& part, const std::vector<int32_t>& colors) {
  if (!part.byKernel()) return colors;
  return completeBlockColoring(*part.reduced, part.graph.vertexCount, colors);
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
