#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "splitting/population.h"
#include "support/test_support.h"

namespace tintara {
namespace {

const Graph kNoVertices;

// Samples of the vertex-less graph, with the scores given, for testing the
// operations that look only at scores.
Population withScores(RandomSource& random, std::initializer_list<double> scores) {
  Population p;
  for (double score : scores) {
    ColoringSample s(kNoVertices, random, 3);
    s.score = score;
    p.push(s);
  }
  return p;
}

GibbsWorkspace& workspaceFor() {
  static GibbsWorkspace workspace;
  return workspace;
}

std::vector<double> scoresOf(const SampleList& list) {
  std::vector<double> scores;
  for (const ColoringSample& s : list) scores.push_back(s.score);
  return scores;
}

TEST(SortByScore, OrdersBestFirstByMovingSamples) {
  const Graph g = testing::cycleGraph(5);
  RandomSource random(1, 1);
  Population p;
  for (double score : {-4.0, 0.0, -2.0}) {
    ColoringSample s(g, random, 3);
    s.score = score;
    p.push(s);
  }
  const int32_t* buffers[3] = {p[0].vertexColors.data(), p[1].vertexColors.data(),
                               p[2].vertexColors.data()};
  sortByScore(p);
  EXPECT_EQ(scoresOf(p), (std::vector<double>{0.0, -2.0, -4.0}));
  // The colour lists changed hands rather than being copied.
  EXPECT_EQ(p[0].vertexColors.data(), buffers[1]);
  EXPECT_EQ(p[1].vertexColors.data(), buffers[2]);
  EXPECT_EQ(p[2].vertexColors.data(), buffers[0]);
}

TEST(SelectElitesAdaptive, RaisesAStandingLevelByOneWhenSomeoneIsAbove) {
  RandomSource random(1, 1);
  const Population p = withScores(random, {0, -2, -4, -4, -6});
  double level = -4.0;
  EXPECT_EQ(selectElitesAdaptive(p, 5, level, -4.0), 2u);
  EXPECT_EQ(level, -3.0);
}

TEST(SelectElitesAdaptive, TakesTheCandidateOtherwise) {
  RandomSource random(1, 1);
  const Population p = withScores(random, {0, -2, -4, -4, -6});
  double level = -6.0;
  EXPECT_EQ(selectElitesAdaptive(p, 5, level, -4.0), 4u);
  EXPECT_EQ(level, -4.0);
  level = -9.0;  // a candidate below the level lowers it
  EXPECT_EQ(selectElitesAdaptive(p, 5, level, -24.0), 5u);
  EXPECT_EQ(level, -24.0);
}

TEST(SelectElitesAdaptive, KeepsTheLevelWhenEveryoneStandsOnIt) {
  RandomSource random(1, 1);
  const Population p = withScores(random, {-4, -4, -4, -4, -4});
  double level = -4.0;
  EXPECT_EQ(selectElitesAdaptive(p, 5, level, -4.0), 5u);
  EXPECT_EQ(level, -4.0);
}

TEST(SelectElitesAtLevel, StopsAtTheFirstSampleBelowTheLevel) {
  RandomSource random(1, 1);
  EXPECT_EQ(selectElitesAtLevel(withScores(random, {0, -2, -4}), 3, -2.0), 2u);
  EXPECT_EQ(selectElitesAtLevel(withScores(random, {0, -2, -4}), 3, 1.0), 0u);
  EXPECT_EQ(selectElitesAtLevel(withScores(random, {0, -6, 0}), 3, -2.0), 1u);
  EXPECT_EQ(selectElitesAtLevel(withScores(random, {0, 0, 0}), 2, -2.0), 2u);  // first N only
  EXPECT_EQ(selectElitesAtLevel(withScores(random, {0, 0}), 0, -2.0), 0u);
}

TEST(SplittingFactors, SharesOutNEvenlyThenTheRemainderByDraws) {
  for (int32_t eliteCount : {1, 3, 4, 5, 7}) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      RandomSource random(1, seed);
      RandomSource twin(1, seed);
      std::vector<int32_t> factors;
      splittingFactors(eliteCount, 10, random, factors);
      std::vector<int32_t> expected(eliteCount, 10 / eliteCount);
      for (int32_t unit = 0; unit < 10 % eliteCount; ++unit) {
        ++expected[scaledIndex(eliteCount, twin.uniform01())];
      }
      EXPECT_EQ(factors, expected) << eliteCount << " elites, seed " << seed;
      EXPECT_EQ(random.uniform01(), twin.uniform01()) << "draws exactly 10 mod c times";
    }
  }
}

TEST(SplittingFactors, ThousandForOneEliteAndErrorForNone) {
  RandomSource random(1, 1);
  std::vector<int32_t> factors;
  splittingFactors(1, 1000, random, factors);
  EXPECT_EQ(factors, std::vector<int32_t>{1000});
  EXPECT_THROW(splittingFactors(0, 10, random, factors), std::logic_error);
}

TEST(Regenerate, OffspringAreSuccessiveStatesOfEachElitesChain) {
  const Graph g = testing::gridGraph(3, 3);
  RandomSource random(5, 6);
  RandomSource twin(5, 6);
  Population population;
  createPopulation(population, g, random, 4, 3);
  ColoringSample a(g, twin, 3);
  ColoringSample b(g, twin, 3);
  ColoringSample(g, twin, 3);  // the two samples that are not elites
  ColoringSample(g, twin, 3);
  GibbsWorkspace workspace;
  const double level = -std::numeric_limits<double>::infinity();

  regenerate(population, 2, {2, 1}, level, workspace);
  ASSERT_EQ(population.size(), 3u);
  gibbsMove(a, level, workspace);
  EXPECT_EQ(population[0].vertexColors, a.vertexColors);
  gibbsMove(a, level, workspace);
  EXPECT_EQ(population[1].vertexColors, a.vertexColors);
  EXPECT_EQ(population[1].visitOrder, a.visitOrder);
  gibbsMove(b, level, workspace);
  EXPECT_EQ(population[2].vertexColors, b.vertexColors);
  EXPECT_EQ(population[2].visitOrder, b.visitOrder);
  EXPECT_EQ(population[2].score, b.score);
}

// What regenerate stands for: copy the elites out, empty the population, and
// append a copy of each elite after each of its moves.
void regenerateByCopies(Population& population, std::size_t eliteCount,
                        const std::vector<int32_t>& factors, double level,
                        GibbsWorkspace& workspace) {
  std::vector<ColoringSample> elites(population.begin(), population.begin() + eliteCount);
  population.clear();
  for (std::size_t i = 0; i < eliteCount; ++i) {
    for (int32_t move = 0; move < factors[i]; ++move) {
      gibbsMove(elites[i], level, workspace);
      population.push(elites[i]);
    }
  }
}

TEST(Regenerate, MatchesRegrowthFromCopiedElitesDrawForDraw) {
  const Graph g = testing::randomGraph(15, 30, 3);
  const std::vector<std::vector<int32_t>> factorLists = {{10},
                                                         {1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                                                         {3, 3, 4},
                                                         {0, 5, 0, 5},
                                                         {2, 0, 0, 1, 7},
                                                         {0, 0, 3},
                                                         {6, 6},
                                                         {1},
                                                         {0, 0}};
  for (std::size_t t = 0; t < factorLists.size(); ++t) {
    const auto& factors = factorLists[t];
    RandomSource a(t + 1, t + 7);
    RandomSource b(t + 1, t + 7);
    Population inPlace;
    Population byCopies;
    createPopulation(inPlace, g, a, 10, 3);
    createPopulation(byCopies, g, b, 10, 3);
    GibbsWorkspace workspace;
    const double level = inPlace[factors.size() - 1].score - 2.0;
    regenerate(inPlace, factors.size(), factors, level, workspace);
    regenerateByCopies(byCopies, factors.size(), factors, level, workspace);
    ASSERT_EQ(inPlace.size(), byCopies.size()) << "case " << t;
    for (std::size_t i = 0; i < inPlace.size(); ++i) {
      EXPECT_EQ(inPlace[i].vertexColors, byCopies[i].vertexColors) << "case " << t << " at " << i;
      EXPECT_EQ(inPlace[i].visitOrder, byCopies[i].visitOrder);
      EXPECT_EQ(inPlace[i].score, byCopies[i].score);
    }
    EXPECT_EQ(a.uniform01(), b.uniform01());
    EXPECT_EQ(a.randDraw(), b.randDraw());
  }
}

TEST(Regenerate, ReusesThePopulationsOwnBuffers) {
  const Graph g = testing::gridGraph(4, 4);
  RandomSource random(1, 2);
  Population population;
  createPopulation(population, g, random, 6, 3);
  std::vector<const int32_t*> before;
  for (const ColoringSample& s : population) before.push_back(s.vertexColors.data());
  std::sort(before.begin(), before.end());
  regenerate(population, 2, {4, 2}, -1e9, workspaceFor());
  ASSERT_EQ(population.size(), 6u);
  std::vector<const int32_t*> after;
  for (const ColoringSample& s : population) after.push_back(s.vertexColors.data());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
}

TEST(CandidateIndex, FloorsInDoubleAndRejectsIndicesOutsideThePopulation) {
  EXPECT_EQ(candidateIndex(1000, 0.2), 200);
  EXPECT_EQ(candidateIndex(100, 0.29), 28);  // 100 * 0.29 lies just below 29
  EXPECT_EQ(candidateIndex(1, 0.99), 0);
  EXPECT_EQ(candidateIndex(10, 0.0), 0);
  EXPECT_THROW(candidateIndex(0, 0.2), std::invalid_argument);
  EXPECT_THROW(candidateIndex(10, 1.0), std::invalid_argument);
  EXPECT_THROW(candidateIndex(10, -0.1), std::invalid_argument);
  EXPECT_THROW(candidateIndex(10, std::numeric_limits<double>::quiet_NaN()), std::invalid_argument);
}

}  // namespace
}  // namespace tintara
