#include <gtest/gtest.h>

#include "coloring/coloring_sample.h"
#include "support/test_support.h"

namespace tintara {
namespace {

using testing::completeGraph;
using testing::makeGraph;

TEST(ColoringSampleCreation, TakesOneDrawPerVertexInVertexOrder) {
  const Graph g = testing::gridGraph(3, 3);
  RandomSource random(1, 99);
  RandomSource twin(1, 99);
  ColoringSample s(g, random, 4);
  ASSERT_EQ(s.vertexColors.size(), 9u);
  for (int v = 0; v < 9; ++v) EXPECT_EQ(s.vertexColors[v], scaledIndex(4, twin.uniform01()));
  EXPECT_EQ(random.uniform01(), twin.uniform01());
  EXPECT_EQ(s.visitOrder, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(s.vertexCount, 9);
  EXPECT_EQ(s.colorCount, 4);
  const double created = s.score;
  s.computeScore();
  EXPECT_EQ(s.score, created);
}

TEST(ColoringSampleCreation, EmptyGraphDrawsNothing) {
  const Graph empty;
  RandomSource random(1, 5489);
  ColoringSample s(empty, random, 3);
  EXPECT_TRUE(s.vertexColors.empty());
  EXPECT_TRUE(s.visitOrder.empty());
  EXPECT_EQ(s.score, 0.0);
  EXPECT_EQ(random.uniform01(), 3499211612.0 / 4294967296.0);
}

TEST(ColoringSampleScore, CountsEveryMonochromaticAdjacencyEntry) {
  const Graph triangle = completeGraph(3);
  RandomSource random(1, 1);
  EXPECT_EQ(testing::coloredSample(triangle, random, 3, {0, 0, 1}).score, -2.0);
  EXPECT_EQ(testing::coloredSample(triangle, random, 3, {0, 0, 0}).score, -6.0);
  EXPECT_EQ(testing::coloredSample(triangle, random, 3, {0, 1, 2}).score, 0.0);
  const Graph repeated = makeGraph(3, {{0, 1}, {1, 2}, {0, 2}, {1, 2}});
  EXPECT_EQ(testing::coloredSample(repeated, random, 3, {0, 0, 0}).score, -8.0);
  const Graph loop = makeGraph(2, {{0, 1}, {1, 1}});
  EXPECT_EQ(testing::coloredSample(loop, random, 2, {0, 1}).score,
            -2.0);  // the loop always conflicts
}

TEST(ColoringSampleScore, SingleColorScoresMinusAllEntries) {
  const Graph g = testing::petersenGraph();
  RandomSource random(3, 3);
  ColoringSample s(g, random, 1);
  EXPECT_EQ(s.vertexColors, std::vector<int32_t>(10, 0));
  EXPECT_EQ(s.score, -30.0);
}

TEST(ColoringSampleCopy, CopiesAreIndependentAndKeepTheScore) {
  const Graph triangle = completeGraph(3);
  RandomSource random(1, 1);
  ColoringSample source = testing::coloredSample(triangle, random, 3, {0, 0, 1});
  source.score = -100.0;  // a copy takes the score as it stands, not recomputed
  ColoringSample copy = source;
  EXPECT_EQ(copy.score, -100.0);
  EXPECT_EQ(copy.graph, source.graph);
  EXPECT_EQ(copy.randomSource, source.randomSource);
  copy.vertexColors[0] = 2;
  copy.computeScore();
  EXPECT_EQ(source.vertexColors, (std::vector<int32_t>{0, 0, 1}));
  EXPECT_EQ(source.score, -100.0);

  ColoringSample assigned(triangle, random, 3);
  assigned = source;
  EXPECT_EQ(assigned.vertexColors, source.vertexColors);
  EXPECT_EQ(assigned.score, -100.0);
}

}  // namespace
}  // namespace tintara
