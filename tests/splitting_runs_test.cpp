#include <gtest/gtest.h>

#include <cmath>

#include "splitting/adaptive_splitting.h"
#include "splitting/estimation.h"
#include "splitting/level_window.h"
#include "support/plain_runs.h"
#include "support/test_support.h"

namespace tintara {
namespace {

using testing::buildLevels;
using testing::estimateAtLevels;
using testing::isColorable;

using testing::completeGraph;
using testing::makeGraph;

TEST(LevelWindow, KeepsTheLastSevenValuesInArrivalOrder) {
  LevelWindow window;
  for (int v = 1; v <= 9; ++v) window.push(v);
  ASSERT_EQ(window.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(window[i], static_cast<double>(i + 3));
  EXPECT_FALSE(window.stagnated());
}

TEST(LevelWindow, StagnatesOnlyWithSevenEqualValues) {
  LevelWindow window;
  for (int i = 0; i < 6; ++i) window.push(-4.0);
  EXPECT_FALSE(window.stagnated());
  window.push(-4.0);
  EXPECT_TRUE(window.stagnated());
  window.push(-3.0);
  EXPECT_FALSE(window.stagnated());
}

TEST(BuildLevels, EdgelessGraphReachesZeroAtOnceDrawingOnlyTheColours) {
  const Graph g = makeGraph(6, {});
  RandomSource random(1, 2);
  RandomSource twin(1, 2);
  EXPECT_EQ(buildLevels(g, random, 50, 0.2, 3), (LevelList{-6.0, 0.0}));
  for (int i = 0; i < 50 * 6; ++i) twin.uniform01();
  EXPECT_EQ(random.uniform01(), twin.uniform01());
}

TEST(BuildLevels, GraphWithoutVerticesGivesZeroTwice) {
  RandomSource random(1, 2);
  EXPECT_EQ(buildLevels(Graph{}, random, 10, 0.2, 3), (LevelList{0.0, 0.0}));
}

TEST(BuildLevels, LevelListClimbsToZeroOnColourableGraphs) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    const Graph g = testing::randomGraph(20 + 5 * seed, 30 + 6 * seed, seed);
    RandomSource random(seed, seed);
    const LevelList levels = buildLevels(g, random, 200, 0.2, 5);
    ASSERT_GE(levels.size(), 2u);
    EXPECT_EQ(levels.front(), -static_cast<double>(g.vertexCount));
    EXPECT_EQ(levels.back(), 0.0) << "seed " << seed;
    for (std::size_t i = 1; i + 1 < levels.size(); ++i) {
      EXPECT_LT(levels[i], 0.0);
      EXPECT_LE(levels[i], levels[i + 1]);
      EXPECT_EQ(levels[i], std::floor(levels[i]));
    }
  }
}

TEST(BuildLevels, StopsWhenNoProperColouringIsReachable) {
  struct Case {
    Graph graph;
    int32_t k;
  };
  for (const Case& c : {Case{completeGraph(4), 3}, Case{makeGraph(3, {{0, 1}, {2, 2}}), 5},
                        Case{testing::petersenGraph(), 2}}) {
    RandomSource random(3, 4);
    const LevelList levels = buildLevels(c.graph, random, 100, 0.2, c.k);
    EXPECT_LT(levels.back(), 0.0);
    // The last seven candidates were equal, so the last levels stand still.
    ASSERT_GE(levels.size(), 7u);
    EXPECT_EQ(levels[levels.size() - 2], levels.back());
  }
}

TEST(IsColorable, EdgelessGraphPassesAfterOneIteration) {
  RandomSource random(1, 1);
  double iterations = 42.0;
  EXPECT_TRUE(isColorable(makeGraph(4, {}), random, 100, 0.2, 1, iterations));
  EXPECT_EQ(iterations, 1.0);
}

TEST(IsColorable, OneColourOnEdgesFailsAfterTheStagnationWindowFills) {
  RandomSource random(1, 1);
  double iterations = -5.0;
  // Triangle: scores stay at -6, unlike the starting level -3: seven iterations.
  EXPECT_FALSE(isColorable(completeGraph(3), random, 50, 0.2, 1, iterations));
  EXPECT_EQ(iterations, 7.0);
  // One edge: the score -2 equals the starting level: six iterations.
  EXPECT_FALSE(isColorable(makeGraph(2, {{0, 1}}), random, 50, 0.2, 1, iterations));
  EXPECT_EQ(iterations, 6.0);
}

TEST(IsColorable, AnswersTheChromaticThresholdOfSmallGraphs) {
  RandomSource random(7, 8);
  double iterations = 0.0;
  EXPECT_TRUE(isColorable(testing::cycleGraph(5), random, 500, 0.2, 3, iterations));
  EXPECT_FALSE(isColorable(testing::cycleGraph(5), random, 500, 0.2, 2, iterations));
  EXPECT_TRUE(isColorable(completeGraph(4), random, 500, 0.2, 4, iterations));
  EXPECT_FALSE(isColorable(completeGraph(4), random, 500, 0.2, 3, iterations));
}

TEST(EstimateAtLevels, ShortLevelListsMakeNoStepButStillCreateTheSamples) {
  const Graph g = testing::cycleGraph(4);
  for (const LevelList& levels : {LevelList{}, LevelList{-4.0}}) {
    RandomSource random(2, 3);
    RandomSource twin(2, 3);
    EXPECT_EQ(estimateAtLevels(levels, g, random, 20, 3), 1.0);
    for (int i = 0; i < 20 * 4; ++i) twin.uniform01();
    EXPECT_EQ(random.uniform01(), twin.uniform01());
  }
}

TEST(EstimateAtLevels, EdgelessGraphKeepsEverySample) {
  RandomSource random(2, 3);
  EXPECT_EQ(estimateAtLevels({-5.0, 0.0}, makeGraph(5, {}), random, 30, 2), 1.0);
}

TEST(EstimateAtLevels, UnreachedLevelGivesZero) {
  RandomSource random(2, 3);
  EXPECT_EQ(estimateAtLevels({-3.0, 1.0}, completeGraph(3), random, 30, 3), 0.0);
  EXPECT_EQ(estimateAtLevels({-3.0, -4.0, 0.0}, completeGraph(3), random, 30, 1), 0.0);
}

TEST(EstimateAtLevels, StopsAtTheFirstLevelAtOrAboveZero) {
  // After a level 0 the run ends: a later unreachable level is never used.
  const Graph g = testing::cycleGraph(6);
  RandomSource a(4, 4);
  RandomSource b(4, 4);
  EXPECT_EQ(estimateAtLevels({-6.0, -2.0, 0.0, 5.0}, g, a, 100, 3),
            estimateAtLevels({-6.0, -2.0, 0.0}, g, b, 100, 3));
  EXPECT_EQ(a.uniform01(), b.uniform01());
}

TEST(EstimateAtLevels, ListEndingBelowZeroMultipliesOneRatioPerStep) {
  // Level -1000 keeps everyone, so the only ratio below 1 is the last step's.
  const Graph g = testing::gridGraph(3, 3);
  RandomSource random(9, 9);
  const double estimate = toDouble(estimateAtLevels({-9.0, -1000.0, -4.0}, g, random, 40, 3));
  EXPECT_GT(estimate, 0.0);
  EXPECT_LE(estimate, 1.0);
  EXPECT_EQ(estimate * 40.0, std::round(estimate * 40.0));  // k / 40 for a whole k
}

// The fixed-level estimator is unbiased: the mean of many runs must lie
// within four standard errors of the exact probability.
TEST(EstimateAtLevelsAccuracy, MeanOfRunsMatchesExactProbability) {
  struct Case {
    const char* name;
    Graph graph;
    int32_t k;
  };
  const std::vector<Case> cases = {
      {"triangle", completeGraph(3), 3},
      {"5-cycle", testing::cycleGraph(5), 3},
      {"3x3 grid", testing::gridGraph(3, 3), 3},
      {"Petersen", testing::petersenGraph(), 3},
      {"K4 with a repeated edge",
       makeGraph(4, {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {2, 1}}), 4},
  };
  for (const Case& c : cases) {
    const double exact = static_cast<double>(testing::bruteForceProperColorings(c.graph, c.k)) /
                         std::pow(static_cast<double>(c.k), c.graph.vertexCount);
    RandomSource random(11, 12);
    const LevelList levels = buildLevels(c.graph, random, 500, 0.2, c.k);
    ASSERT_EQ(levels.back(), 0.0) << c.name;
    const int runs = 300;
    double sum = 0.0;
    double squares = 0.0;
    for (int r = 0; r < runs; ++r) {
      const double v = toDouble(estimateAtLevels(levels, c.graph, random, 500, c.k));
      sum += v;
      squares += v * v;
    }
    const double mean = sum / runs;
    const double standardError = std::sqrt((squares / runs - mean * mean) / (runs - 1));
    EXPECT_NEAR(mean, exact, 4.0 * standardError + 1e-12)
        << c.name << ": exact " << exact << ", mean " << mean << ", SE " << standardError;
  }
}

}  // namespace
}  // namespace tintara
