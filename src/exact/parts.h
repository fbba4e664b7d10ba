// Counting by parts: the probability that a uniformly random k-colouring of
// a graph is proper, as a product over its blocks.
//
// If a cut vertex c splits G into G1 and G2 that share only c, then
// P(G) = P(G1) P(G2): given c's colour, the two sides are coloured
// independently, and by the symmetry of the colours each side's chance
// given c's colour is its chance overall. So P(G) is the product of P(B)
// over the blocks B; a vertex without edges contributes 1, and a repeated
// edge changes nothing.
//
// The plan values every block it can exactly and leaves the others, the
// hard parts, to splitting runs: P(G) = exactFactor * product of the hard
// parts' P. Plan version 2, today's:
//   - a bridge, a cycle or a complete graph by its closed form
//     (exact/exact_block.h);
//   - with 1 colour any block is 0; with 2, a block is 2^(1 - n) when it is
//     bipartite (its two colourings) and 0 otherwise;
//   - any other block is reduced by series and parallel reductions
//     (exact/series_parallel.h): a series-parallel block is exact, and what
//     is left, the kernel, is counted by elimination over colour-equality
//     patterns (exact/partition_elimination.h) when the limits allow;
//   - a kernel beyond them is a hard part: split on its extended states
//     (coloring/kernel_state.h), its edges' larger factors and the
//     reductions' constant in the exact factor; a block that nothing
//     reduces is split as it is, by the colouring's own runs, as is any
//     block beyond kMaxKernelColors colours.
// Version 1 (journals written before the reductions) valued Other blocks by
// colour-indexed elimination alone and split them whole; it is kept so that
// such a journal resumes with the parts it was made of.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "coloring/kernel_state.h"
#include "exact/coloring_elimination.h"
#include "exact/series_parallel.h"
#include "graph/blocks.h"
#include "graph/graph.h"
#include "numeric/wide_double.h"
#include "process/run_memory.h"

namespace tintara {

// The version of the plan planParts makes, which a journal records: a
// journal of another version was made of other parts.
constexpr int32_t kPartsPlanVersion = 2;

// The most colours a kernel is split with: its move counts every colour at
// every vertex it treats. Beyond, a hard block is split as it is, by the
// colouring's move, which handles any number of colours.
constexpr int32_t kMaxKernelColors = 256;

// A block without an exact value within the limits.
struct HardPart {
  int32_t block = -1;             // in PartsPlan::blocks
  std::vector<int32_t> vertices;  // original ids, ascending: vertex i of `graph` is vertices[i]
  Graph graph;                    // the block's simple graph (blockGraph)
  // Split on its kernel: the reductions (for a colouring of the block) and
  // the kernel's form. Without, the block itself is split.
  std::optional<ReducedBlock> reduced;
  KernelGraph kernel;
  // What of the block's value the plan's exact factor holds: the
  // reductions' constant times the kernel's scale (exact/kernel_form.h), 1
  // for a block split whole. The runs estimate the block's value over it.
  WideDouble share = 1;
  bool byKernel() const { return reduced.has_value(); }
};

struct PartsOptions {
  // The plan's version: kPartsPlanVersion, or 1 for a journal of version 1.
  int32_t version = kPartsPlanVersion;
  EliminationLimits limits = {};
  // Keep a proper colouring of every exact block, for joinPartColorings.
  bool withColorings = false;
  // Told, before a block is eliminated, the bytes its tables will hold at
  // their peak and the block's vertices: the memory check, which throws to
  // refuse the run. May be left empty.
  std::function<void(double bytes, int32_t vertices)> checkTables = {};
};

struct PartsPlan {
  int32_t colorCount = 0;
  BlockDecomposition blocks;
  // The product of the exact blocks' values: 1 for none.
  WideDouble exactFactor = 1;
  // In block order, which is by smallest original vertex (then by second).
  std::vector<HardPart> hardParts;
  // The first block in block order whose value is 0, or -1. Valuing stops
  // there: exactFactor is 0, hardParts is empty, and the counts below cover
  // only the blocks valued up to it.
  int32_t zeroBlock = -1;
  // Exact blocks by the way they were valued.
  int32_t bridges = 0;
  int32_t cycles = 0;
  int32_t completeGraphs = 0;
  int32_t eliminated = 0;
  int32_t seriesParallel = 0;  // reduced to nothing
  int32_t twoColored = 0;      // k = 2: bipartite or not
  // The most bytes one eliminated block held for its tables (and its kept
  // bits with colourings): eliminationBytes of its plan. Blocks are valued
  // one at a time, so this is the valuing's peak beside the decomposition.
  double eliminationPeakBytes = 0;
  // With withColorings: slot s (a position in blocks.vertices) holds the
  // colour of its vertex in its exact block's proper colouring; -1 in hard
  // blocks' slots. Empty otherwise.
  std::vector<int32_t> slotColors;

  int32_t version = kPartsPlanVersion;
  int32_t exactBlocks() const {
    return bridges + cycles + completeGraphs + eliminated + seriesParallel + twoColored;
  }
  // Whether a run's estimate is the product of the parts' runs (one part,
  // or plan version 1), or the report multiplies the parts' own means
  // (splitting/counting_experiment.h).
  bool multipliesMeans() const { return version >= 2 && hardParts.size() >= 2; }
};

// The plan for `graph` as read (repeated edges allowed; no self-loops,
// which the program refuses before) and k >= 1 colours: its simple graph's
// blocks, each valued exactly or left as a hard part. Holds the graph's
// simple copy and its decomposition (O(n + m)), and one block's elimination
// tables at a time.
PartsPlan planParts(const Graph& graph, int32_t k, const PartsOptions& options = {});

// A bound on what planParts holds beside the graph, and what the plan
// keeps for the runs: the simple copy, the decomposition and its stacks,
// the hard parts' graphs and the colourings kept (a few ints a vertex and
// an edge). The elimination tables come on top, one block's at a time:
// checkTables is told them.
LinearBytes partsPlanBytes();

// The colours of a hard part's pilot state as a colouring of its block:
// the block's own for a part split whole, completed from the kernel's
// otherwise (completeBlockColoring).
std::vector<int32_t> partBlockColoring(const HardPart& part, const std::vector<int32_t>& colors);

// The plan in one line:
//   decomposed: 412 blocks; 409 exact (factor 3.1e-52), 3 split (776, 12, 9 vertices)
// the hard parts' sizes in their order, the first ten and then "...";
// split on kernels, each part's kernel too (its vertices, and the edges
// with an activity bit):
//   decomposed: 238 blocks; 237 exact (factor 1.8e-42), 1 split (655 vertices, kernel 360 + 199
//   weighted) decomposed: 9 blocks; 6 exact (factor 0.5), 3 split (40 vertices, kernel 12 + 4
//   weighted; 9 vertices; ...)
// and, with a part split, how the report averages: "; the runs averaged
// with an entry 0.0 first" (one part) or "; the average is the product of
// the parts' means" (two or more, from plan version 2). With a zero block:
// "decomposed: 412 blocks; the block of 5 vertices from vertex 17 has no
// proper 3-coloring" (17 with the graph's idBase added).
std::string partsSummary(const PartsPlan& plan, int32_t idBase);

// A proper k-colouring of `graph` (the graph the plan was made from) from
// a proper colouring of every hard part (hardColorings[i] for
// plan.hardParts[i], in the part's own vertex ids) and the exact blocks'
// colourings kept in the plan (planned withColorings, and no zero block).
// Throws std::invalid_argument when the plan kept no colourings or a hard
// part's colouring has the wrong length, and std::logic_error when the
// result is not proper.
std::vector<int32_t> joinPartColorings(const Graph& graph, const PartsPlan& plan,
                                       const std::vector<std::vector<int32_t>>& hardColorings);

}  // namespace tintara
