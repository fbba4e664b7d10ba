// Series and parallel reductions against brute force; blocks they reduce to
// nothing against exact counts; the kernel's extended state: its move
// against the plain sweep, draw for draw, and its splitting runs' mean
// against the exact value.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "coloring/proper_coloring.h"
#include "exact/kernel_form.h"
#include "exact/parts.h"
#include "exact/series_parallel.h"
#include "exact_count/exact_count.h"
#include "random/random_source.h"
#include "splitting/kernel_splitting.h"
#include "support/graphs.h"
#include "support/plain_runs.h"

namespace tintara::testing {
namespace {

using Edges = std::vector<std::pair<int32_t, int32_t>>;

// The mean over all k^n colourings of the product of the edges' factors;
// and the first colouring (in counting order) where the product is above 0.
WideDouble bruteForce(const WeightedGraph& g, int32_t k, std::vector<int32_t>* positive = nullptr) {
  std::vector<int32_t> colors(static_cast<std::size_t>(g.vertexCount), 0);
  WideDouble sum = 0;
  int64_t total = 0;
  for (;;) {
    WideDouble product = 1;
    for (const WeightedEdge& e : g.edges) {
      product *= colors[e.u] == colors[e.v] ? e.factor.same() : e.factor.differ;
    }
    if (positive && positive->empty() && product > 0) *positive = colors;
    sum += product;
    ++total;
    int32_t v = 0;
    while (v < g.vertexCount && ++colors[v] == k) colors[v++] = 0;
    if (v == g.vertexCount) break;
  }
  return sum / static_cast<double>(total);
}

double exactProbability(const Graph& g, int32_t k) {
  return static_cast<double>(
      exact::properProbability(exact::countProperColorings(g, k), g.vertexCount, k));
}

// Two poles, 0 and 1, joined by paths of the given lengths.
Graph theta(const std::vector<int32_t>& lengths) {
  Edges edges;
  int32_t next = 2;
  for (int32_t length : lengths) {
    int32_t from = 0;
    for (int32_t step = 1; step < length; ++step, ++next) {
      edges.emplace_back(from, next);
      from = next;
    }
    edges.emplace_back(from, 1);
  }
  return makeGraph(next, edges);
}

// `g` with each listed edge (u, v) replaced by a path through `inner` new
// vertices.
Graph subdivided(const Graph& g, const std::vector<std::tuple<int32_t, int32_t, int32_t>>& paths) {
  Edges edges;
  int32_t next = g.vertexCount;
  for (int32_t u = 0; u < g.vertexCount; ++u) {
    for (int32_t v : g.neighbours(u)) {
      if (u > v) continue;
      int32_t inner = 0;
      for (const auto& [a, b, count] : paths) {
        if ((a == u && b == v) || (a == v && b == u)) inner = count;
      }
      int32_t from = u;
      for (int32_t i = 0; i < inner; ++i, ++next) {
        edges.emplace_back(from, next);
        from = next;
      }
      edges.emplace_back(from, v);
    }
  }
  return makeGraph(next, edges);
}

Graph path(int32_t length) {
  Edges edges;
  for (int32_t v = 0; v < length; ++v) edges.emplace_back(v, v + 1);
  return makeGraph(length + 1, edges);
}

Graph ladder(int32_t rungs) {
  return gridGraph(2, rungs);
}

struct Gadget {
  const char* name;
  Graph graph;
};

std::vector<Gadget> gadgets() {
  return {
      {"path of 1", path(1)},
      {"path of 4", path(4)},
      {"theta 1-2-3", theta({1, 2, 3})},
      {"theta 2-2-2", theta({2, 2, 2})},
      {"6-cycle with chord 0-3",
       makeGraph(6, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 0}, {0, 3}})},
      {"7-cycle with chords",
       makeGraph(7, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 0}, {0, 2}, {3, 5}})},
      {"ladder of 4 rungs", ladder(4)},
      {"K4, edges through 1 and 2 vertices", subdivided(completeGraph(4), {{0, 1, 1}, {2, 3, 2}})},
      {"wheel of 5", wheelGraph(5)},
      {"Petersen, an edge through 2 vertices", subdivided(petersenGraph(), {{0, 1, 2}})},
  };
}

TEST(SeriesParallel, ConstantTimesKernelIsTheBlocksProbability) {
  for (const Gadget& gadget : gadgets()) {
    for (int32_t k : {2, 3, 4}) {
      SCOPED_TRACE(::testing::Message() << gadget.name << ", k = " << k);
      const Graph& g = gadget.graph;
      const ReducedBlock reduced = reduceSeriesParallel(g, k);
      std::vector<int32_t> kernelColors;
      const WideDouble kernel = bruteForce(reduced.kernel, k, &kernelColors);
      const double value = toDouble(reduced.constant * kernel);
      const double expected =
          static_cast<double>(bruteForceProperColorings(g, k)) / std::pow(k, g.vertexCount);
      EXPECT_NEAR(value, expected, 1e-12 * expected);
      if (expected > 0) {
        const std::vector<int32_t> colors =
            completeBlockColoring(reduced, g.vertexCount, kernelColors);
        EXPECT_TRUE(isProperColoring(g, colors, k));
      }
    }
  }
  // What is left: nothing of a series-parallel graph; the wheel whole; K4
  // with an equality edge (a path of 2, whose ends are more often alike)
  // and an inequality edge (a path of 3).
  const std::vector<Gadget> all = gadgets();
  for (int32_t i : {0, 1, 2, 3, 4, 5, 6})
    EXPECT_TRUE(reduceSeriesParallel(all[i].graph, 3).fullyReduced()) << all[i].name;
  EXPECT_FALSE(reduceSeriesParallel(all[8].graph, 3).reducedAny());
  const ReducedBlock k4 = reduceSeriesParallel(all[7].graph, 3);
  ASSERT_EQ(k4.kernel.vertexCount, 4);
  int32_t equality = 0, inequality = 0;
  for (const WeightedEdge& e : k4.kernel.edges) {
    if (e.factor.shift > 0) ++equality;
    if (e.factor.shift < 0 && e.factor.same() > 0) ++inequality;
  }
  EXPECT_EQ(std::pair(equality, inequality), std::pair(1, 1));
}

// Cactus graphs, ladders and theta graphs, with elimination refused: the
// reductions alone count them; a K4 whose every edge runs through a vertex
// reduces to K4, which elimination counts; at 2 colours bipartiteness does.
TEST(SeriesParallel, BlocksThatReduceFullyAreExact) {
  Edges cactus = {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 4}, {4, 5},
                  {5, 2}, {5, 6}, {6, 7}, {7, 8}, {8, 9}, {9, 5}};
  const PartsOptions refused{.limits = {.maxTableEntries = 1}};
  const std::vector<std::pair<Gadget, PartsOptions>> graphs = {
      {{"cactus", makeGraph(10, cactus)}, refused},
      {{"K4, every edge through a vertex",
        subdivided(completeGraph(4),
                   {{0, 1, 1}, {0, 2, 1}, {0, 3, 1}, {1, 2, 1}, {1, 3, 1}, {2, 3, 1}})},
       {}},
      {{"ladder of 9 rungs", ladder(9)}, refused},
      {{"theta 3-4-5-2", theta({3, 4, 5, 2})}, refused},
  };
  for (const auto& [gadget, options] : graphs) {
    for (int32_t k : {3, 4, 7}) {
      SCOPED_TRACE(::testing::Message() << gadget.name << ", k = " << k);
      const PartsPlan plan = planParts(gadget.graph, k, options);
      EXPECT_TRUE(plan.hardParts.empty());
      const double expected = exactProbability(gadget.graph, k);
      EXPECT_NEAR(toDouble(plan.exactFactor), expected, 1e-12 * expected);
    }
  }
  // At 2 colours: the cube is bipartite, 2 of 2^8 colourings; Petersen has
  // an odd cycle.
  Edges cube;
  for (int32_t v = 0; v < 8; ++v) {
    for (int32_t bit : {1, 2, 4}) {
      if ((v & bit) == 0) cube.emplace_back(v, v | bit);
    }
  }
  EXPECT_EQ(planParts(makeGraph(8, cube), 2, refused).exactFactor, WideDouble(2) / 256);
  EXPECT_EQ(planParts(petersenGraph(), 2, refused).zeroBlock, 0);
}

// The kernels of four graphs (a sparse random one's with degrees past 4),
// one built by hand with bits of every kind, at 3 colours and at 9 (past
// the word of byte counts), and a hub of degree 130 (past it too) on a
// cycle: the move against the plain sweep, draw for draw, at levels below,
// at and above the sample's score (far enough above that some vertices
// have no colour allowed).
TEST(KernelState, TheMoveIsThePlainSweepDrawForDraw) {
  std::vector<std::pair<KernelGraph, int32_t>> kernels;
  for (const auto& [graph, k] : std::vector<std::pair<Graph, int32_t>>{
           {subdivided(completeGraph(4), {{0, 1, 1}, {2, 3, 2}}), 3},
           {subdivided(petersenGraph(), {{0, 1, 2}, {2, 3, 1}}), 4},
           {gridGraph(5, 5), 3},
           {randomGraph(300, 330, 5), 3}}) {
    kernels.emplace_back(kernelForm(reduceSeriesParallel(graph, k).kernel).graph, k);
  }
  const std::vector<KernelEdge> byHand = {
      {0, 1, false, 0.3},  {1, 2, true, 0.7}, {2, 3, false, 1.0}, {3, 4, true, 1.0},
      {4, 0, false, 0.05}, {0, 2, true, 0.5}, {1, 3, false, 0.9}};
  kernels.emplace_back(makeKernelGraph(5, byHand), 3);
  kernels.emplace_back(makeKernelGraph(5, byHand), 9);
  std::vector<KernelEdge> hub;
  for (int32_t v = 1; v <= 130; ++v) {
    hub.push_back({0, v, v % 3 == 0, v % 2 == 0 ? 0.6 : 1.0});
    hub.push_back({v, v % 130 + 1, v % 5 == 0, v % 4 == 1 ? 0.4 : 1.0});
  }
  kernels.emplace_back(makeKernelGraph(131, hub), 3);
  for (std::size_t i = 0; i < kernels.size(); ++i) {
    const auto& [kernel, k] = kernels[i];
    SCOPED_TRACE(::testing::Message() << "kernel " << i);
    ASSERT_FALSE(kernel.bits.empty());
    RandomSource fast(StreamId{7, i, 0});
    RandomSource plain(StreamId{7, i, 0});
    KernelSample a;
    randomKernelSample(a, kernel, fast, k);
    KernelSample b;
    randomKernelSample(b, kernel, plain, k);
    KernelWorkspace workspace;
    for (int sweep = 0; sweep < 60; ++sweep) {
      // The lowest level, then 2 below the score, at it, and 2 and 6 above.
      const double level = sweep % 5 == 0
                               ? kernel.lowestScore()
                               : a.score + std::array{-2.0, 0.0, 2.0, 6.0}[sweep % 5 - 1];
      kernelGibbsMove(a, kernel, k, fast, level, workspace);
      plainKernelMove(b, kernel, k, plain, level);
      ASSERT_EQ(a.colors, b.colors) << sweep;
      ASSERT_EQ(a.active, b.active) << sweep;
      ASSERT_EQ(a.score, b.score) << sweep;
      ASSERT_EQ(a.score, kernelScore(kernel, a));
    }
  }
}

// Kernels forced to split: the mean of many fixed-level runs on their
// extended states, times the plan's share, against the block's exact value.
TEST(KernelSplitting, MeanOfRunsMatchesTheExactProbability) {
  const std::vector<std::pair<Gadget, int32_t>> blocks = {
      {{"K4, edges through 1 and 2 vertices", subdivided(completeGraph(4), {{0, 1, 1}, {2, 3, 2}})},
       3},
      {{"Petersen, edges through 2 and 1 vertices",
        subdivided(petersenGraph(), {{0, 1, 2}, {2, 3, 1}})},
       3},
      {{"grid 4x4", gridGraph(4, 4)}, 3},
      {{"wheel of 6, spokes through a vertex",
        subdivided(wheelGraph(6), {{0, 1, 1}, {0, 3, 1}, {0, 5, 1}})},
       4},
  };
  const PartsOptions refused{.limits = {.maxTableEntries = 1}};
  for (const auto& [block, k] : blocks) {
    SCOPED_TRACE(block.name);
    const PartsPlan plan = planParts(block.graph, k, refused);
    ASSERT_EQ(plan.hardParts.size(), 1u);
    const HardPart& part = plan.hardParts[0];
    ASSERT_TRUE(part.byKernel());
    RandomSource pilotSource(StreamId{3, 0, 0});
    const AdaptiveRun pilot = kernelAdaptiveRun(part.kernel, pilotSource, 100, 0.2, k);
    ASSERT_TRUE(pilot.reachedProperColoring);
    const int runs = 600;
    double sum = 0, squares = 0;
    for (int run = 1; run <= runs; ++run) {
      RandomSource random(StreamId{3, static_cast<uint64_t>(run), 0});
      const double x = toDouble(*kernelEstimateAtLevels(pilot.levels, part.kernel, random, 100, k) *
                                plan.exactFactor);
      sum += x;
      squares += x * x;
    }
    const double mean = sum / runs;
    const double error = std::sqrt((squares / runs - mean * mean) / (runs - 1));
    const double exact = exactProbability(block.graph, k);
    EXPECT_LT(std::fabs(mean - exact), 4 * error) << mean << " against " << exact;
  }
}

}  // namespace
}  // namespace tintara::testing
