// Exact block values: the closed forms, the elimination against the tools'
// exact counter, the colourings beside them, and the limits' refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "coloring/proper_coloring.h"
#include "exact/exact_block.h"
#include "exact_count/exact_count.h"
#include "graph/simple_graph.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using namespace tintara::testing;

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
  const std::vector<std::pair<Graph, BlockShape>> cases = {
      {makeGraph(2, {{0, 1}}), BlockShape::Bridge},
      {cycleGraph(3), BlockShape::Cycle},
      {cycleGraph(4), BlockShape::Cycle},
      {cycleGraph(8), BlockShape::Cycle},
      // An odd cycle numbered out of its order: the colouring follows edges.
      {makeGraph(7, {{0, 3}, {3, 1}, {1, 4}, {4, 2}, {2, 6}, {6, 5}, {5, 0}}), BlockShape::Cycle},
      {completeGraph(4), BlockShape::Complete},
      {completeGraph(6), BlockShape::Complete},
  };
  for (const auto& [graph, shape] : cases) {
    for (int32_t k = 1; k <= 5; ++k) {
      SCOPED_TRACE(::testing::Message() << graph.vertexCount << " vertices, k = " << k);
      const Graph block = simpleGraph(graph);
      const BlockValue value = valueBlock(block, k, {}, true);
      EXPECT_EQ(value.shape, shape);
      ASSERT_TRUE(value.probability);
      EXPECT_NEAR(toDouble(*value.probability),
                  bruteForceProperColorings(block, k) / std::pow(k, block.vertexCount), 1e-15);
      expectColoringIffPositive(block, k, *value.probability, value.coloring);
    }
  }
}

TEST(ExactBlock, ClosedFormsStayExactFarBelowADouble) {
  // (1 + 1) / 2^L exactly for an even cycle and k = 2, 0 for an odd one.
  EXPECT_EQ(cycleProbability(4000, 2), ldexp(WideDouble(1), -3999));
  EXPECT_EQ(cycleProbability(4001, 2), 0);
  // (2/3)^(10^6), about 1e-176092, and 1000! / 1000^1000, about 1e-432,
  // by their logarithms: relative errors of a few roundings.
  const double cycleLog = static_cast<double>(1e6L * std::log(2.0L / 3.0L));
  EXPECT_NEAR(toDouble(log(cycleProbability(1'000'000, 3))), cycleLog, 1e-12 * -cycleLog);
  const double completeLog = static_cast<double>(std::lgamma(1001.0L) - 1000 * std::log(1000.0L));
  EXPECT_NEAR(toDouble(log(completeProbability(1000, 1000))), completeLog, 1e-12 * -completeLog);
  EXPECT_EQ(completeProbability(1001, 1000), 0);
}

TEST(ExactBlock, EliminationMatchesExactCounter) {
  const std::vector<std::pair<Graph, std::vector<int32_t>>> cases = {
      {gridGraph(6, 6), {2, 3, 4}},
      {gridGraph(8, 8), {3}},   // width 10
      {wheelGraph(5), {3, 4}},  // needs 4 colours
      {wheelGraph(8), {3}},
      {petersenGraph(), {2, 3}},
      {groetzschGraph(), {3, 4}},  // needs 4 colours
      {randomGraph(40, 70, 11), {3, 4}},
      {randomGraph(25, 80, 5), {4, 5}},
  };
  for (const auto& [input, ks] : cases) {
    const Graph g = simpleGraph(input);
    for (int32_t k : ks) {
      SCOPED_TRACE(::testing::Message() << g.vertexCount << " vertices, k = " << k);
      const EliminationPlan plan = planElimination(g, k);
      ASSERT_TRUE(plan.feasible);
      const EliminationResult result = eliminate(g, k, plan, true);
      const auto expected = static_cast<double>(
          exact::properProbability(exact::countProperColorings(g, k), g.vertexCount, k));
      EXPECT_NEAR(toDouble(result.probability), expected, 1e-12 * expected);
      expectColoringIffPositive(g, k, result.probability, result.coloring);
    }
  }
}

TEST(ExactBlock, PlanCountsTablesAndWork) {
  // Triangle, k = 3: 0 goes first (a table of 9 over {1, 2}), then 1 (3
  // entries over {2}, built while the 9 still live), then 2 (1 entry).
  const EliminationPlan plan = planElimination(completeGraph(3), 3);
  EXPECT_EQ(plan.order, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(plan.width, 2);
  EXPECT_EQ(plan.work, 27u + 9u + 3u);
  EXPECT_EQ(plan.peakLiveEntries, 12u);
  EXPECT_EQ(plan.witnessBits, 13u);
}

TEST(ExactBlock, LimitsRefuseAtTheirBoundary) {
  const Graph g = simpleGraph(gridGraph(5, 5));
  const EliminationPlan plan = planElimination(g, 3);
  ASSERT_TRUE(plan.feasible);
  const std::vector<std::pair<EliminationLimits, bool>> cases = {
      {{.maxTableEntries = plan.largestTable}, true},
      {{.maxTableEntries = plan.largestTable - 1}, false},
      {{.maxWork = plan.work}, true},
      {{.maxWork = plan.work - 1}, false},
  };
  for (const auto& [limits, feasible] : cases) {
    EXPECT_EQ(valueBlock(g, 3, limits).probability.has_value(), feasible);
    // What the limits admit stays within the bound they set beforehand.
    const EliminationPlan admitted = planElimination(g, 3, limits);
    if (admitted.feasible) {
      EXPECT_LE(eliminationBytes(admitted, true), eliminationBytesBound(limits, 3, 25, true));
    }
  }
  // A dense block is far beyond the default limits.
  EXPECT_FALSE(valueBlock(simpleGraph(randomGraph(60, 600, 3)), 3).probability);
}

}  // namespace
}  // namespace tintara
