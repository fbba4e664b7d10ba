// The GPX crossover against a plain version built from sets, the draws it
// makes, and the regrowth that mixes its children with the elites' clones.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "coloring/gpx_crossover.h"
#include "splitting/population.h"
#include "support/graphs.h"

namespace tintara {
namespace {

// GPX as Galinier and Hao state it: colour c takes the largest class (of
// the vertices still unplaced) of parent c mod 2, ties drawn among the
// largest in colour order, and the vertices left take a uniform colour.
std::vector<int32_t> plainGpx(const ColoringSample& a, const ColoringSample& b,
                              RandomSource& random) {
  const int32_t n = a.vertexCount;
  const int32_t k = a.colorCount;
  std::vector<int32_t> child(static_cast<std::size_t>(n), -1);
  std::set<int32_t> unplaced;
  for (int32_t v = 0; v < n; ++v) unplaced.insert(v);
  for (int32_t c = 0; c < k && !unplaced.empty(); ++c) {
    const std::vector<int32_t>& parent = (c % 2 == 0 ? a : b).vertexColors;
    std::vector<std::set<int32_t>> classes(static_cast<std::size_t>(k));
    for (int32_t v : unplaced) classes[parent[v]].insert(v);
    std::size_t largest = 0;
    for (const auto& members : classes) largest = std::max(largest, members.size());
    std::vector<int32_t> ties;
    for (int32_t d = 0; d < k; ++d) {
      if (classes[d].size() == largest) ties.push_back(d);
    }
    const int32_t taken =
        ties.size() == 1 ? ties[0]
                         : ties[scaledIndex(static_cast<int32_t>(ties.size()), random.uniform01())];
    for (int32_t v : classes[taken]) {
      child[v] = c;
      unplaced.erase(v);
    }
  }
  for (int32_t v : unplaced) child[v] = scaledIndex(k, random.uniform01());
  return child;
}

// Random parents, parents with many ties, equal parents, and few colours
// (which leave vertices unplaced): the child is the plain version's, draw
// for draw, every vertex has a colour below k, and the score is current.
TEST(GpxCrossover, BuildsThePlainChildDrawForDraw) {
  struct Case {
    const char* name;
    int32_t n;
    int32_t k;
    bool equalParents;
  };
  const Graph big = testing::randomGraph(60, 200, 4);
  const Graph small = testing::randomGraph(8, 12, 5);
  for (const Case& c : {Case{"random", 60, 6, false}, Case{"few colours", 60, 3, false},
                        Case{"ties", 8, 4, false}, Case{"equal parents", 60, 5, true}}) {
    const Graph& g = c.n == 60 ? big : small;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
      RandomSource random(seed, 7);
      ColoringSample a(g, random, c.k);
      ColoringSample b = c.equalParents ? a : ColoringSample(g, random, c.k);
      ColoringSample child(g, random, c.k);
      RandomSource draws(seed, 99);
      RandomSource same(seed, 99);
      child.randomSource = &draws;
      GpxWorkspace workspace;
      gpxCrossover(a, b, child, workspace);
      EXPECT_EQ(child.vertexColors, plainGpx(a, b, same)) << c.name << " seed " << seed;
      EXPECT_EQ(draws.uniform01(), same.uniform01()) << c.name << ": the same draws";
      for (int32_t color : child.vertexColors) ASSERT_TRUE(color >= 0 && color < c.k);
      ColoringSample recounted = child;
      recounted.computeScore();
      EXPECT_EQ(child.score, recounted.score);
      if (c.equalParents) {
        // Every class is taken whole: the child is the parent relabelled.
        for (int32_t u = 0; u < g.vertexCount; ++u) {
          for (int32_t v = 0; v < g.vertexCount; ++v) {
            EXPECT_EQ(a.vertexColors[u] == a.vertexColors[v],
                      child.vertexColors[u] == child.vertexColors[v]);
          }
        }
      }
    }
  }
}

// A regrowth with children, its walks of no step so that what each child
// became shows: N samples, each at or above the level, the children last,
// each either a GPX child at the level or a copy of an elite (a child that
// fell below it, replaced); the same seed gives the same population.
TEST(GpxCrossover, ARegrowthWithChildrenKeepsEverySampleAtTheLevel) {
  const Graph g = testing::randomGraph(50, 300, 8);
  ChainMove walked = testMove(MoveKind::Tabu, Crossover::None, 40);
  walked.tabu.walkSteps = 100;
  ChainMove still = testMove(MoveKind::Tabu, Crossover::Gpx, 40);
  still.tabu.walkSteps = 0;
  std::vector<std::vector<int32_t>> first;
  for (int round = 0; round < 2; ++round) {
    RandomSource random(3, 4);
    Population p;
    createPopulation(p, g, random, 40, 5);
    ChainWorkspace workspace;
    std::vector<int32_t> factors(40, 1);
    ASSERT_TRUE(regenerate(p, 40, factors, -1e9, walked, workspace));
    sortByScore(p);
    const double level = p[6].score;
    const std::size_t elites = selectElitesAtLevel(p, 40, level);
    std::set<std::vector<int32_t>> eliteColorings;
    for (std::size_t i = 0; i < elites; ++i) eliteColorings.insert(p[i].vertexColors);
    const int32_t children = 15;
    splittingFactors(elites, 40 - children, random, factors);
    ASSERT_TRUE(regenerate(p, elites, factors, children, level, still, workspace));
    ASSERT_EQ(p.size(), 40u);
    std::vector<std::vector<int32_t>> colorings;
    int32_t replaced = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
      ColoringSample recounted = p[i];
      recounted.computeScore();
      EXPECT_EQ(p[i].score, recounted.score);
      EXPECT_GE(p[i].score, level) << i;
      const bool copy = eliteColorings.count(p[i].vertexColors) > 0;
      EXPECT_TRUE(copy || i >= 25) << i << ": a clone of no step is its elite";
      replaced += i >= 25 && copy;
      colorings.push_back(p[i].vertexColors);
    }
    EXPECT_GT(replaced, 0);
    if (round == 0) first = colorings;
    EXPECT_EQ(colorings, first) << "the same seed regrows the same population";
  }
}

}  // namespace
}  // namespace tintara
