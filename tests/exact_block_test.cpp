// Exact block values: the closed forms, the elimination against the tools'
// exact counter, the colourings beside them, and the limits' refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "coloring/proper_coloring.h"
#include "exact_count/exact_count.h"
#include "graph/simple_graph.h"
#include "splitting/exact_block.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using testing::completeGraph;
using testing::cycleGraph;
using testing::gridGraph;
using testing::makeGraph;
using testing::randomGraph;

// The wheel: hub 0 joined to every vertex of the cycle 1..spokes.
Graph wheelGraph(int32_t spokes) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 1; i <= spokes; ++i) {
    edges.emplace_back(0, i);
    edges.emplace_back(i, i % spokes + 1);
  }
  return makeGraph(spokes + 1, edges);
}

double exactProbability(const Graph& g, int32_t k) {
  return static_cast<double>(
      exact::properProbability(exact::countProperColorings(g, k), g.vertexCount, k));
}

// A colouring is given exactly when the probability is above 0, and proper.
void expectColoringIffPositive(const Graph& g, int32_t k, const WideDouble& probability,
                               const std::vector<int32_t>& coloring) {
  if (probability > 0) {
    EXPECT_TRUE(isProperColoring(g, coloring, k));
  } else {
    EXPECT_TRUE(coloring.empty());
  }
}

TEST(ExactBlock, ClosedFormsMatchBruteForce) {
  struct Case {
    Graph graph;
    BlockShape shape;
  };
  const std::vector<Case> cases = {
      {makeGraph(2, {{0, 1}}), BlockShape::Bridge},
      {cycleGraph(3), BlockShape::Cycle},
      {cycleGraph(4), BlockShape::Cycle},
      {cycleGraph(7), BlockShape::Cycle},
      {cycleGraph(8), BlockShape::Cycle},
      // A cycle numbered out of its order: the colouring must follow edges.
      {makeGraph(5, {{0, 3}, {3, 1}, {1, 4}, {4, 2}, {2, 0}}), BlockShape::Cycle},
      {completeGraph(4), BlockShape::Complete},
      {completeGraph(5), BlockShape::Complete},
      {completeGraph(6), BlockShape::Complete},
  };
  for (const auto& c : cases) {
    for (int32_t k = 1; k <= 5; ++k) {
      SCOPED_TRACE(::testing::Message() << c.graph.vertexCount << " vertices, k = " << k);
      const Graph block = simpleGraph(c.graph);
      const BlockValue value = valueBlock(block, k, {}, true);
      EXPECT_EQ(value.shape, c.shape);
      ASSERT_TRUE(value.probability);
      const double expected = static_cast<double>(testing::bruteForceProperColorings(block, k)) /
                              std::pow(k, block.vertexCount);
      EXPECT_NEAR(toDouble(*value.probability), expected, 1e-15);
      expectColoringIffPositive(block, k, *value.probability, value.coloring);
    }
  }
}

TEST(ExactBlock, ClosedFormsStayExactFarBelowADouble) {
  // (1 + 1) / 2^L exactly for an even cycle and k = 2, 0 for an odd one.
  EXPECT_EQ(cycleProbability(4000, 2), ldexp(WideDouble(1), -3999));
  EXPECT_EQ(cycleProbability(4001, 2), 0);
  // 2^L / 3^L, about 1e-176092, and 1000! / 1000^1000, about 1e-432, by
  // their logarithms: relative errors of a few roundings.
  const long double cycleLog = 1e6L * std::log(2.0L / 3.0L);
  EXPECT_NEAR(toDouble(log(cycleProbability(1'000'000, 3))), static_cast<double>(cycleLog),
              1e-12 * std::fabs(static_cast<double>(cycleLog)));
  const long double completeLog = std::lgamma(1001.0L) - 1000.0L * std::log(1000.0L);
  EXPECT_NEAR(toDouble(log(completeProbability(1000, 1000))), static_cast<double>(completeLog),
              1e-12 * std::fabs(static_cast<double>(completeLog)));
  EXPECT_EQ(completeProbability(1001, 1000), 0);
}

TEST(ExactBlock, EliminationMatchesExactCounter) {
  struct Case {
    std::string name;
    Graph graph;
    std::vector<int32_t> ks;
  };
  const std::vector<Case> cases = {
      {"grid 3x3", gridGraph(3, 3), {2, 3, 4}},
      {"grid 6x6", gridGraph(6, 6), {2, 3, 4}},
      {"grid 4x9", gridGraph(4, 9), {3, 5}},
      {"grid 8x8", gridGraph(8, 8), {3}},
      {"odd wheel (needs 4)", wheelGraph(5), {3, 4}},
      {"even wheel", wheelGraph(8), {3, 4}},
      {"Petersen", testing::petersenGraph(), {2, 3, 4}},
      {"Groetzsch (needs 4)", testing::groetzschGraph(), {3, 4}},
      {"random, 30 vertices", randomGraph(30, 55, 7), {3, 4}},
      {"random, 40 vertices", randomGraph(40, 70, 11), {3, 4}},
      {"random, 25 vertices, dense", randomGraph(25, 80, 5), {4, 5}},
  };
  for (const auto& c : cases) {
    const Graph g = simpleGraph(c.graph);
    for (int32_t k : c.ks) {
      SCOPED_TRACE(c.name + ", k = " + std::to_string(k));
      const EliminationPlan plan = planElimination(g, k);
      ASSERT_TRUE(plan.feasible);
      const EliminationResult result = eliminate(g, k, plan, true);
      const double expected = exactProbability(g, k);
      EXPECT_NEAR(toDouble(result.probability), expected, 1e-12 * expected);
      expectColoringIffPositive(g, k, result.probability, result.coloring);
    }
  }
}

TEST(ExactBlock, PlanCountsTablesAndWork) {
  // Triangle, k = 3: every vertex has degree 2, so 0 goes first (a table of
  // 9 over {1, 2}), then 1 (3 over {2}, while the 9 still lives), then 2.
  const EliminationPlan plan = planElimination(completeGraph(3), 3);
  ASSERT_TRUE(plan.feasible);
  EXPECT_EQ(plan.order, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(plan.width, 2);
  EXPECT_EQ(plan.largestTable, 9u);
  EXPECT_EQ(plan.work, 27u + 9u + 3u);
  EXPECT_EQ(plan.peakLiveEntries, 12u);
  EXPECT_EQ(plan.witnessBits, 13u);
}

TEST(ExactBlock, LimitsRefuseAtTheirBoundary) {
  const Graph g = simpleGraph(gridGraph(5, 5));
  const EliminationPlan plan = planElimination(g, 3);
  ASSERT_TRUE(plan.feasible);
  struct Case {
    EliminationLimits limits;
    bool feasible;
  };
  const std::vector<Case> cases = {
      {{.maxTableEntries = plan.largestTable}, true},
      {{.maxTableEntries = plan.largestTable - 1}, false},
      {{.maxWork = plan.work}, true},
      {{.maxWork = plan.work - 1}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(planElimination(g, 3, c.limits).feasible, c.feasible);
    EXPECT_EQ(valueBlock(g, 3, c.limits).probability.has_value(), c.feasible);
  }
  // A dense block is far beyond the default limits.
  const BlockValue dense = valueBlock(simpleGraph(randomGraph(60, 600, 3)), 3);
  EXPECT_EQ(dense.shape, BlockShape::Other);
  EXPECT_FALSE(dense.probability);
}

}  // namespace
}  // namespace tintara
