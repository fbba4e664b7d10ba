// Elimination over colour-equality patterns: against the colour-tuple
// tables on plain graphs, against brute force on weighted ones, its
// colourings, and the wider blocks its limits admit.
#include <gtest/gtest.h>

#include <random>

#include "exact/coloring_elimination.h"
#include "exact/exact_block.h"
#include "exact/partition_elimination.h"
#include "exact_count/exact_count.h"
#include "graph/simple_graph.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using namespace tintara::testing;

EliminationResult byPartitions(const WeightedGraph& g, int32_t k, bool withColoring,
                               const EliminationLimits& limits = {}) {
  const PartitionPlan plan = planPartitionElimination(g, k, limits);
  EXPECT_TRUE(plan.feasible);
  if (!plan.feasible) return {};
  return eliminateByPartitions(g, k, plan, withColoring);
}

// A colouring is given exactly when the value is above 0, in [0, k), with
// every edge factor above 0.
void expectWitness(const WeightedGraph& g, int32_t k, const EliminationResult& result) {
  if (!(result.probability > 0)) {
    EXPECT_TRUE(result.coloring.empty());
    return;
  }
  ASSERT_EQ(result.coloring.size(), static_cast<std::size_t>(g.vertexCount));
  for (int32_t c : result.coloring) {
    EXPECT_GE(c, 0);
    EXPECT_LT(c, k);
  }
  for (const WeightedEdge& e : g.edges) {
    const bool same = result.coloring[e.u] == result.coloring[e.v];
    EXPECT_GT(same ? e.factor.same() : e.factor.differ, 0) << e.u << "-" << e.v;
  }
}

// n vertices, each pair an edge with chance 1/2, factors from a palette
// with zeros, plain edges and equality-favouring ones (same > differ).
WeightedGraph randomWeighted(int32_t n, std::mt19937& engine) {
  const std::vector<std::pair<double, double>> palette = {{1, 0}, {1, 0},     {1, 0.5}, {0.25, 3},
                                                          {0, 1}, {1.7, 1.7}, {0.6, 0}, {2, 0.1}};
  std::uniform_int_distribution<std::size_t> pick(0, palette.size() - 1);
  WeightedGraph g{.vertexCount = n, .edges = {}};
  for (int32_t u = 0; u < n; ++u) {
    for (int32_t v = u + 1; v < n; ++v) {
      if (engine() % 2 == 0) continue;
      const auto [differ, same] = palette[pick(engine)];
      g.edges.push_back({u, v, {WideDouble(differ), WideDouble(same) - WideDouble(differ)}});
    }
  }
  return g;
}

// The mean over all k^n colourings of the product of the edge factors.
long double bruteForceValue(const WeightedGraph& g, int32_t k) {
  std::vector<int32_t> colors(g.vertexCount, 0);
  long double total = 0;
  for (;;) {
    long double product = 1;
    for (const WeightedEdge& e : g.edges) {
      const WideDouble f = colors[e.u] == colors[e.v] ? e.factor.same() : e.factor.differ;
      product *= f.convert_to<long double>();
    }
    total += product;
    int32_t i = 0;
    while (i < g.vertexCount && ++colors[i] == k) colors[i++] = 0;
    if (i == g.vertexCount) break;
  }
  return total / std::pow(static_cast<long double>(k), g.vertexCount);
}

// A k-tree on n vertices: a clique of k + 1, then each vertex joined to a
// clique of k already there. Chordal, width k, and k' colours give it
// k'(k'-1)...(k'-k) (k'-k)^(n-k-1) proper colourings.
Graph randomKTree(int32_t n, int32_t k, uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<std::pair<int32_t, int32_t>> edges;
  std::vector<std::vector<int32_t>> cliques(1);
  for (int32_t v = 0; v <= k; ++v) {
    for (int32_t u = 0; u < v; ++u) edges.emplace_back(u, v);
  }
  for (int32_t drop = 0; drop <= k; ++drop) {
    std::vector<int32_t> clique;
    for (int32_t u = 0; u <= k; ++u) {
      if (u != drop) clique.push_back(u);
    }
    cliques.push_back(clique);
  }
  cliques.erase(cliques.begin());
  for (int32_t v = k + 1; v < n; ++v) {
    const std::vector<int32_t> base = cliques[engine() % cliques.size()];
    for (int32_t u : base) edges.emplace_back(u, v);
    for (std::size_t drop = 0; drop < base.size(); ++drop) {
      std::vector<int32_t> clique = base;
      clique[drop] = v;
      cliques.push_back(clique);
    }
  }
  return makeGraph(n, edges);
}

TEST(PartitionElimination, PatternCounts) {
  const std::vector<std::tuple<int32_t, int32_t, uint64_t>> cases = {
      {0, 0, 1},
      {0, 5, 1},
      {3, 0, 0},
      {1, 1, 1},
      {9, 1, 1},
      {4, 2, 8},
      {5, 3, 41},
      {6, 10, 203},
      {10, 3, 9842},
      {11, 10, 678569},
      {11, 11, 678570},
      {12, 20, 4213597},
      {64, 2, uint64_t{1} << 63},
      {65, 2, UINT64_MAX},
      {200, 3, UINT64_MAX},
  };
  for (const auto& [d, k, count] : cases) {
    EXPECT_EQ(patternCount(d, k), count) << "d = " << d << ", k = " << k;
  }
}

TEST(PartitionElimination, MatchesColourTablesOnPlainGraphs) {
  const std::vector<Graph> graphs = {
      makeGraph(7, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 0}, {0, 3}, {2, 5}}),
      gridGraph(3, 4),
      gridGraph(4, 4),
      wheelGraph(6),
      wheelGraph(7),
      petersenGraph(),
      completeGraph(4),
      completeGraph(5),
      groetzschGraph(),
      randomGraph(10, 20, 7),
      randomGraph(12, 22, 8),
      makeGraph(9, {{0, 1}, {1, 2}, {3, 4}, {5, 6}, {6, 7}, {7, 5}}),  // parts and a lone vertex
  };
  const EliminationLimits generous{.maxTableEntries = uint64_t{1} << 24,
                                   .maxWork = uint64_t{1} << 30};
  for (const Graph& input : graphs) {
    const Graph g = simpleGraph(input);
    const WeightedGraph weighted = plainWeighted(g);
    for (int32_t k = 3; k <= 12; ++k) {
      SCOPED_TRACE(::testing::Message() << g.vertexCount << " vertices, k = " << k);
      const EliminationPlan colourPlan = planElimination(g, k, generous);
      ASSERT_TRUE(colourPlan.feasible);
      const double expected = toDouble(eliminate(g, k, colourPlan, false).probability);
      const double value = toDouble(byPartitions(weighted, k, false).probability);
      EXPECT_NEAR(value, expected, 1e-12 * expected);
      EXPECT_EQ(value == 0, expected == 0);
    }
  }
}

TEST(PartitionElimination, MatchesBruteForceOnWeightedGraphs) {
  std::mt19937 engine(2024);
  for (int32_t trial = 0; trial < 40; ++trial) {
    const auto n = static_cast<int32_t>(trial % 9);  // 0 to 8 vertices
    const WeightedGraph g = randomWeighted(n, engine);
    for (int32_t k : {1, 2, 3, 4}) {
      if (std::pow(k, n) > 70000) continue;
      SCOPED_TRACE(::testing::Message() << "trial " << trial << ", k = " << k);
      const long double expected = bruteForceValue(g, k);
      const EliminationResult result = byPartitions(g, k, false);
      const long double value = result.probability.convert_to<long double>();
      EXPECT_NEAR(value, expected, 1e-12 * expected);
      EXPECT_EQ(value == 0, expected == 0);
    }
  }
}

TEST(PartitionElimination, ColoringHasEveryFactorAboveZero) {
  std::vector<std::pair<WeightedGraph, int32_t>> cases = {
      {plainWeighted(simpleGraph(completeGraph(4))), 3},  // none: 0
      {plainWeighted(simpleGraph(completeGraph(4))), 4},
      {plainWeighted(simpleGraph(groetzschGraph())), 3},  // none: needs 4
      {plainWeighted(simpleGraph(groetzschGraph())), 4},
      {plainWeighted(simpleGraph(petersenGraph())), 3},
      {plainWeighted(simpleGraph(gridGraph(5, 5))), 2},
      {plainWeighted(simpleGraph(cycleGraph(5))), 2},  // odd: 0
      {plainWeighted(simpleGraph(randomGraph(30, 60, 3))), 4},
      {plainWeighted(simpleGraph(randomGraph(30, 60, 3))), 11},
      {plainWeighted(simpleGraph(completeGraph(3))), 1},  // 0
      {WeightedGraph{.vertexCount = 3, .edges = {{0, 1, {0, 2}}, {1, 2, {0, 1}}}}, 1},
      {WeightedGraph{.vertexCount = 2, .edges = {}}, 3},
  };
  std::mt19937 engine(99);
  for (int32_t trial = 0; trial < 30; ++trial) {
    cases.emplace_back(randomWeighted(3 + trial % 6, engine), 2 + trial % 3);
  }
  for (const auto& [g, k] : cases) {
    SCOPED_TRACE(::testing::Message() << g.vertexCount << " vertices, k = " << k);
    expectWitness(g, k, byPartitions(g, k, true));
  }
  const WeightedGraph k4 = plainWeighted(simpleGraph(completeGraph(4)));
  EXPECT_EQ(byPartitions(k4, 3, true).probability, 0);
  EXPECT_GT(byPartitions(k4, 4, true).probability, 0);
}

TEST(PartitionElimination, AdmitsBlocksTooWideForColourTables) {
  // Width 7 and 9: colour tables of 10^7 and 10^9 entries, refused at
  // k = 10 under the default limits; patterns number 877 and 21147.
  for (const auto& [n, width] : {std::pair{40, 7}, std::pair{30, 9}}) {
    const Graph g = simpleGraph(randomKTree(n, width, static_cast<uint32_t>(n)));
    for (int32_t k : {10, 12}) {
      SCOPED_TRACE(::testing::Message() << width << "-tree, k = " << k);
      EXPECT_FALSE(planElimination(g, k).feasible);
      const PartitionPlan plan = planPartitionElimination(plainWeighted(g), k);
      ASSERT_TRUE(plan.feasible);
      EXPECT_EQ(plan.width, width);
      const EliminationResult result = eliminateByPartitions(plainWeighted(g), k, plan, true);
      // k(k-1)...(k-width) / k^(width+1), then (k - width)/k a vertex.
      WideDouble expected = completeProbability(width + 1, k);
      for (int32_t v = width + 1; v < n; ++v) expected *= WideDouble(k - width) / k;
      EXPECT_NEAR(toDouble(result.probability / expected), 1.0, 1e-12);
      expectWitness(plainWeighted(g), k, result);
    }
  }
  // The 5x8 grid (width 5) at k = 10: colour tables of 10^5 entries, but
  // their steps of 10^6 pairs pass the default work together; patterns
  // take 3e3 pairs in all.
  const Graph grid = simpleGraph(gridGraph(5, 8));
  EXPECT_FALSE(planElimination(grid, 10).feasible);
  const auto expected = static_cast<double>(
      exact::properProbability(exact::countProperColorings(grid, 10), grid.vertexCount, 10));
  EXPECT_NEAR(toDouble(byPartitions(plainWeighted(grid), 10, false).probability), expected,
              1e-12 * expected);
}

TEST(PartitionElimination, LimitsRefuseAtTheirBoundary) {
  // Triangle, k = 3: a table of 2 patterns over {1, 2} (5 pairs), then 1
  // over {2} (2 pairs) built while the 2 live, then 1 (1 pair).
  const PartitionPlan triangle = planPartitionElimination(plainWeighted(completeGraph(3)), 3);
  EXPECT_EQ(triangle.work, 8u);
  EXPECT_EQ(triangle.peakLiveEntries, 3u);
  EXPECT_EQ(triangle.witnessBits, 4u);

  const WeightedGraph g = plainWeighted(simpleGraph(gridGraph(6, 6)));
  const PartitionPlan plan = planPartitionElimination(g, 5);
  ASSERT_TRUE(plan.feasible);
  const std::vector<std::pair<EliminationLimits, bool>> cases = {
      {{.maxTableEntries = plan.largestTable}, true},
      {{.maxTableEntries = plan.largestTable - 1}, false},
      {{.maxWork = plan.work}, true},
      {{.maxWork = plan.work - 1}, false},
  };
  for (const auto& [limits, feasible] : cases) {
    EXPECT_EQ(planPartitionElimination(g, 5, limits).feasible, feasible);
  }
  // One colour: the edge count is the work.
  EXPECT_TRUE(planPartitionElimination(g, 1, {.maxWork = 60}).feasible);
  EXPECT_FALSE(planPartitionElimination(g, 1, {.maxWork = 59}).feasible);
}

TEST(PartitionElimination, RejectsGraphsOutsideTheContract) {
  const std::vector<WeightedGraph> bad = {
      {.vertexCount = 2, .edges = {{0, 2, {}}}},
      {.vertexCount = 2, .edges = {{1, 1, {}}}},
      {.vertexCount = 3, .edges = {{0, 1, {}}, {1, 0, {}}}},
  };
  for (const WeightedGraph& g : bad) {
    EXPECT_THROW(planPartitionElimination(g, 3), std::invalid_argument);
  }
  const WeightedGraph negative{.vertexCount = 2, .edges = {{0, 1, {-1, 3}}}};
  const PartitionPlan plan = planPartitionElimination(negative, 2);
  EXPECT_EQ(eliminateByPartitions(negative, 2, plan, false).probability, 0.5);
  EXPECT_THROW(eliminateByPartitions(negative, 2, plan, true), std::invalid_argument);
}

}  // namespace
}  // namespace tintara
