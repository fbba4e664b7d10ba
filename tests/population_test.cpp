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
  SampleList elites;
  double level = -4.0;
  selectElitesAdaptive(p, 5, level, -4.0, elites);
  EXPECT_EQ(level, -3.0);
  EXPECT_EQ(scoresOf(elites), (std::vector<double>{0, -2}));
}

TEST(SelectElitesAdaptive, TakesTheCandidateOtherwise) {
  RandomSource random(1, 1);
  const Population p = withScores(random, {0, -2, -4, -4, -6});
  SampleList elites;
  double level = -6.0;
  selectElitesAdaptive(p, 5, level, -4.0, elites);
  EXPECT_EQ(level, -4.0);
  EXPECT_EQ(scoresOf(elites), (std::vector<double>{0, -2, -4, -4}));

  level = -9.0;  // a candidate below the level lowers it
  selectElitesAdaptive(p, 5, level, -24.0, elites);
  EXPECT_EQ(level, -24.0);
  EXPECT_EQ(elites.size(), 5u);
}

TEST(SelectElitesAdaptive, KeepsTheLevelWhenEveryoneStandsOnIt) {
  RandomSource random(1, 1);
  const Population p = withScores(random, {-4, -4, -4, -4, -4});
  SampleList elites;
  double level = -4.0;
  selectElitesAdaptive(p, 5, level, -4.0, elites);
  EXPECT_EQ(level, -4.0);
  EXPECT_EQ(elites.size(), 5u);
}

TEST(SelectElitesAtLevel, StopsAtTheFirstSampleBelowTheLevel) {
  RandomSource random(1, 1);
  SampleList elites;
  selectElitesAtLevel(withScores(random, {0, -2, -4}), 3, -2.0, elites);
  EXPECT_EQ(scoresOf(elites), (std::vector<double>{0, -2}));
  selectElitesAtLevel(withScores(random, {0, -2, -4}), 3, 1.0, elites);
  EXPECT_TRUE(elites.empty());
  selectElitesAtLevel(withScores(random, {0, -6, 0}), 3, -2.0, elites);
  EXPECT_EQ(scoresOf(elites), (std::vector<double>{0}));
  selectElitesAtLevel(withScores(random, {0, 0, 0}), 2, -2.0, elites);  // only the first N
  EXPECT_EQ(elites.size(), 2u);
}

TEST(SplittingFactors, SharesOutNEvenlyThenTheRemainderByDraws) {
  for (int32_t eliteCount : {1, 3, 4, 5, 7}) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      RandomSource random(1, seed);
      RandomSource twin(1, seed);
      SampleList elites = withScores(random, {});
      for (int32_t i = 0; i < eliteCount; ++i) elites.push(ColoringSample(kNoVertices, random, 3));
      std::vector<int32_t> factors;
      splittingFactors(elites, 10, random, factors);
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
  SampleList one = withScores(random, {0});
  std::vector<int32_t> factors;
  splittingFactors(one, 1000, random, factors);
  EXPECT_EQ(factors, std::vector<int32_t>{1000});
  SampleList none;
  EXPECT_THROW(splittingFactors(none, 10, random, factors), std::logic_error);
}

TEST(Regenerate, OffspringAreSuccessiveStatesOfEachElitesChain) {
  const Graph g = testing::gridGraph(3, 3);
  RandomSource random(5, 6);
  RandomSource twin(5, 6);
  SampleList elites;
  elites.push(ColoringSample(g, random, 3));
  elites.push(ColoringSample(g, random, 3));
  ColoringSample a(g, twin, 3);
  ColoringSample b(g, twin, 3);
  GibbsWorkspace workspace;
  const double level = -std::numeric_limits<double>::infinity();

  Population population = withScores(random, {-1, -1, -1, -1});  // replaced entirely
  regenerate(population, elites, {2, 1}, level, workspace);
  ASSERT_EQ(population.size(), 3u);
  gibbsMove(a, level, workspace);
  EXPECT_EQ(population[0].vertexColors, a.vertexColors);
  gibbsMove(a, level, workspace);
  EXPECT_EQ(population[1].vertexColors, a.vertexColors);
  gibbsMove(b, level, workspace);
  EXPECT_EQ(population[2].vertexColors, b.vertexColors);
  EXPECT_EQ(population[2].visitOrder, b.visitOrder);
  // The elites hold their last offspring's state.
  EXPECT_EQ(elites[0].vertexColors, a.vertexColors);
  EXPECT_EQ(elites[1].vertexColors, b.vertexColors);
}

TEST(Regenerate, RefillsThePopulationInItsOwnStorage) {
  const Graph g = testing::gridGraph(4, 4);
  RandomSource random(1, 2);
  Population population;
  createPopulation(population, g, random, 6, 3);
  SampleList elites;
  elites.push(population[0]);
  elites.push(population[1]);
  GibbsWorkspace workspace;
  regenerate(population, elites, {3, 3}, -1e9, workspace);  // warm-up
  std::vector<const int32_t*> buffers;
  for (const ColoringSample& s : population) buffers.push_back(s.vertexColors.data());
  regenerate(population, elites, {4, 2}, -1e9, workspace);
  ASSERT_EQ(population.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(population[i].vertexColors.data(), buffers[i]);
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
