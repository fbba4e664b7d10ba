#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <numeric>

#include "coloring/gibbs_move.h"
#include "coloring/gibbs_reference.h"
#include "support/test_support.h"

namespace tintara {
namespace {

using testing::completeGraph;
using testing::makeGraph;

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// A random multigraph with repeated edges and self-loops; with `hubEdges`,
// vertex 0 gets that many more edges to the others in turn.
Graph randomMultigraph(RandomSource& random, int32_t n, int32_t edges, int32_t hubEdges = 0) {
  std::vector<std::pair<int32_t, int32_t>> list;
  for (int32_t e = 0; e < hubEdges; ++e) list.emplace_back(0, 1 + e % (n - 1));
  for (int32_t e = 0; e < edges; ++e) {
    const int32_t u = scaledIndex(n, random.uniform01());
    const int32_t v = random.uniform01() < 0.05 ? u : scaledIndex(n, random.uniform01());
    list.emplace_back(u, v);
    if (random.uniform01() < 0.1) list.emplace_back(v, u);
  }
  return makeGraph(n, list);
}

// Walks `twin` through the draws a sweep of n positions makes when every
// treated position takes a choice draw.
void skipSweepWithChoices(RandomSource& twin, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    if (twin.uniform01() >= 0.5) twin.uniform01();
  }
}

TEST(GibbsMoveDraws, MatchesTheReferenceOnSmallGraphs) {
  RandomSource graphSource(5, 5);
  for (int trial = 0; trial < 6; ++trial) {
    // The last trials' hub has more neighbours than a byte of counts holds.
    const Graph g = randomMultigraph(graphSource, 12 + 5 * trial, 30 + 10 * trial,
                                     trial >= 4 ? 150 * (trial - 3) : 0);
    const int32_t k = 2 + trial % 4;
    RandomSource a(100 + trial, 200 + trial);
    RandomSource b(100 + trial, 200 + trial);
    ColoringSample sa(g, a, k);
    ColoringSample sb(g, b, k);
    GibbsWorkspace workspace;
    for (int move = 0; move < 60; ++move) {
      // Odd and fractional offsets too: the move's integer bound must agree.
      const double level = move < 20 ? kMinusInfinity : sa.score - 1.5 * (move % 3);
      gibbsMove(sa, level, workspace);
      gibbsMoveReference(sb, level);
      ASSERT_EQ(sa.vertexColors, sb.vertexColors) << "trial " << trial << " move " << move;
      ASSERT_EQ(sa.visitOrder, sb.visitOrder);
      ASSERT_EQ(sa.score, sb.score);
    }
    EXPECT_EQ(a.uniform01(), b.uniform01());
    EXPECT_EQ(a.randDraw(), b.randDraw());
  }
}

// A rows x cols torus: every vertex joined to the next one along its row and
// along its column (wrapping round), and with `diagonal` to the next one
// along the diagonal too: degree 4, or 6, everywhere.
Graph torusGraph(int32_t rows, int32_t cols, bool diagonal) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < cols; ++c) {
      const int32_t v = r * cols + c;
      const int32_t down = (r + 1) % rows;
      const int32_t right = (c + 1) % cols;
      edges.emplace_back(v, r * cols + right);
      edges.emplace_back(v, down * cols + c);
      if (diagonal) edges.emplace_back(v, down * cols + right);
    }
  }
  return makeGraph(rows * cols, edges);
}

// The workspace settings that force each chooser and each sweep driver.
struct Path {
  const char* name;
  int32_t laneColorLimit;
  int32_t denseColorMargin;
  bool readCoinsFirst;
};
const GibbsWorkspace kDefaults;
const Path kPaths[] = {
    {"as chosen", kDefaults.laneColorLimit, kDefaults.denseColorMargin, true},
    {"table", 0, 1 << 30, true},
    {"neighbour colours", 0, -(1 << 30), true},
    {"as chosen, coins in turn", kDefaults.laneColorLimit, kDefaults.denseColorMargin, false},
    {"table, coins in turn", 0, 1 << 30, false},
    {"neighbour colours, coins in turn", 0, -(1 << 30), false},
};

// Graphs of several blocks of the coins-first sweep (480 positions each):
// every path against the reference, for colour counts on both sides of the
// byte lanes' limit, at levels at and below the sample's score (coins read
// first) and above it or fractional (coins in turn).
TEST(GibbsMoveDraws, EveryPathMatchesTheReferenceOverManyBlocks) {
  struct Case {
    const char* name;
    Graph graph;
  };
  RandomSource graphSource(31, 32);
  // The hubs have 300 neighbours: the byte lanes take degrees below 128.
  const Case cases[] = {
      {"torus 25x40, degree 4", torusGraph(25, 40, false)},
      {"torus 50x100, degree 6", torusGraph(50, 100, true)},
      {"random, 1000 vertices and a hub", randomMultigraph(graphSource, 1000, 2500, 300)},
      {"random, 5000 vertices and a hub", randomMultigraph(graphSource, 5000, 12500, 300)},
  };
  // The level of each sweep, from the score before it.
  const double offsets[] = {kMinusInfinity, 0.0, -3.0, 6.0, -1.5, 1.0, 40.0, -2.0};
  for (const Case& c : cases) {
    for (const int32_t k : {2, 3, 5, 8, 9, 12}) {
      RandomSource referenceSource(k, 77);
      ColoringSample reference(c.graph, referenceSource, k);
      std::vector<std::unique_ptr<RandomSource>> sources;
      std::vector<ColoringSample> samples;
      std::vector<GibbsWorkspace> workspaces(std::size(kPaths));
      for (std::size_t p = 0; p < std::size(kPaths); ++p) {
        sources.push_back(std::make_unique<RandomSource>(k, 77));
        samples.emplace_back(c.graph, *sources.back(), k);
        workspaces[p].laneColorLimit = kPaths[p].laneColorLimit;
        workspaces[p].denseColorMargin = kPaths[p].denseColorMargin;
        workspaces[p].readCoinsFirst = kPaths[p].readCoinsFirst;
      }
      for (const double offset : offsets) {
        const double level = reference.score + offset;
        gibbsMoveReference(reference, level);
        const double next = referenceSource.uniform01();
        for (std::size_t p = 0; p < std::size(kPaths); ++p) {
          gibbsMove(samples[p], level, workspaces[p]);
          const auto where = ::testing::Message() << kPaths[p].name << ", " << c.name << ", k " << k
                                                  << ", level offset " << offset;
          ASSERT_EQ(samples[p].vertexColors, reference.vertexColors) << where;
          ASSERT_EQ(samples[p].score, reference.score) << where;
          ASSERT_EQ(samples[p].visitOrder, reference.visitOrder) << where;
          ASSERT_EQ(sources[p]->uniform01(), next) << where;
        }
      }
      const int32_t nextRand = referenceSource.randDraw();
      for (const auto& source : sources) EXPECT_EQ(source->randDraw(), nextRand) << c.name;
    }
  }
}

TEST(GibbsMoveDraws, EveryPathChoosesAlike) {
  RandomSource graphSource(21, 21);
  for (int trial = 0; trial < 12; ++trial) {
    const Graph g = randomMultigraph(graphSource, 10 + 3 * trial, 25 + 12 * trial);
    const int32_t k = 1 + (trial * 7) % 23;
    std::vector<std::unique_ptr<RandomSource>> sources;
    std::vector<ColoringSample> samples;
    std::vector<GibbsWorkspace> workspaces;
    for (const Path& path : kPaths) {
      sources.push_back(std::make_unique<RandomSource>(trial + 3, trial + 4));
      samples.emplace_back(g, *sources.back(), k);
      workspaces.emplace_back();
      workspaces.back().laneColorLimit = path.laneColorLimit;
      workspaces.back().denseColorMargin = path.denseColorMargin;
      workspaces.back().readCoinsFirst = path.readCoinsFirst;
    }
    for (int move = 0; move < 50; ++move) {
      // From above the score (coins read in turn) to below it.
      const double level = move < 10 ? kMinusInfinity : samples[0].score - 2.0 * (move % 4) + 2.0;
      for (std::size_t p = 0; p < samples.size(); ++p) {
        gibbsMove(samples[p], level, workspaces[p]);
        ASSERT_EQ(samples[p].vertexColors, samples[0].vertexColors)
            << kPaths[p].name << ", trial " << trial << ", move " << move;
        ASSERT_EQ(samples[p].score, samples[0].score) << kPaths[p].name;
      }
    }
    const double next = sources[0]->uniform01();
    for (std::size_t p = 1; p < sources.size(); ++p) EXPECT_EQ(sources[p]->uniform01(), next);
  }
}

TEST(GibbsMoveDraws, MillionsOfColoursCostNoMoreThanTheNeighbours) {
  const Graph g = testing::gridGraph(20, 20);
  RandomSource random(1, 2);
  ColoringSample s(g, random, 2'000'000'000);
  GibbsWorkspace workspace;
  for (int move = 0; move < 200; ++move) gibbsMove(s, s.score, workspace);
  EXPECT_LT(workspace.colorCounts.size(), 1000u);  // no table of k entries was built
  const double incremental = s.score;
  s.computeScore();
  EXPECT_EQ(incremental, s.score);
}

TEST(GibbsMoveDraws, EmptySampleDrawsNothing) {
  const Graph empty;
  RandomSource random(9, 9);
  RandomSource twin(9, 9);
  ColoringSample s(empty, random, 3);
  GibbsWorkspace workspace;
  gibbsMove(s, 0.0, workspace);
  EXPECT_EQ(random.uniform01(), twin.uniform01());
  EXPECT_EQ(random.randDraw(), twin.randDraw());
}

TEST(GibbsMoveDraws, UnreachableLevelTakesOnlyCoinsButStillShuffles) {
  const Graph g = testing::gridGraph(4, 4);
  RandomSource random(3, 4);
  RandomSource twin(3, 4);
  ColoringSample s(g, random, 3);
  ColoringSample before(g, twin, 3);
  GibbsWorkspace workspace;
  gibbsMove(s, 1.0, workspace);
  EXPECT_EQ(s.vertexColors, before.vertexColors);
  EXPECT_EQ(s.score, before.score);
  EXPECT_NE(s.visitOrder, before.visitOrder);
  for (int i = 0; i < 16; ++i) twin.uniform01();
  EXPECT_EQ(random.uniform01(), twin.uniform01());
  twin.shuffleOrder(before.visitOrder.data(), before.visitOrder.data() + 16);
  EXPECT_EQ(s.visitOrder, before.visitOrder);
}

TEST(GibbsMoveDraws, SingleColorNeverChangesButDrawsItsChoice) {
  const Graph triangle = completeGraph(3);
  RandomSource random(8, 8);
  RandomSource twin(8, 8);
  ColoringSample s(triangle, random, 1);
  ColoringSample unused(triangle, twin, 1);
  GibbsWorkspace workspace;
  gibbsMove(s, -6.0, workspace);  // score -6 is at the level: colour 0 is allowed
  EXPECT_EQ(s.vertexColors, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(s.score, -6.0);
  skipSweepWithChoices(twin, 3);
  EXPECT_EQ(random.uniform01(), twin.uniform01());
}

TEST(GibbsMoveRule, BelowTheLevelOnlyImprovingColoursAreAllowed) {
  const Graph triangle = completeGraph(3);
  RandomSource random(1, 1);
  // Three colours, level 0: vertices 0 and 1 may only move to colour 2, and
  // vertex 2 has no colour reaching 0.
  for (unsigned seed = 1; seed <= 30; ++seed) {
    RandomSource r(seed, seed);
    ColoringSample s = testing::coloredSample(triangle, r, 3, {0, 0, 1});
    GibbsWorkspace workspace;
    gibbsMove(s, 0.0, workspace);
    const auto& c = s.vertexColors;
    EXPECT_TRUE(c == (std::vector<int32_t>{0, 0, 1}) || c == (std::vector<int32_t>{2, 0, 1}) ||
                c == (std::vector<int32_t>{0, 2, 1}))
        << c[0] << c[1] << c[2];
    EXPECT_EQ(s.score, c == (std::vector<int32_t>{0, 0, 1}) ? -2.0 : 0.0);
  }
  // Two colours, level -1: nothing reaches it, so only the coins are drawn.
  RandomSource r(4, 4);
  RandomSource twin(4, 4);
  ColoringSample s = testing::coloredSample(triangle, r, 2, {0, 0, 1});
  ColoringSample unused(triangle, twin, 2);
  GibbsWorkspace workspace;
  gibbsMove(s, -1.0, workspace);
  EXPECT_EQ(s.vertexColors, (std::vector<int32_t>{0, 0, 1}));
  for (int i = 0; i < 3; ++i) twin.uniform01();
  EXPECT_EQ(r.uniform01(), twin.uniform01());
}

TEST(GibbsMoveRule, LowLevelGivesEveryTreatedVertexAUniformColour) {
  const Graph g = testing::cycleGraph(7);
  RandomSource random(6, 7);
  RandomSource twin(6, 7);
  ColoringSample s(g, random, 5);
  ColoringSample mirror(g, twin, 5);
  GibbsWorkspace workspace;
  gibbsMove(s, kMinusInfinity, workspace);
  twin.shuffleOrder(mirror.visitOrder.data(), mirror.visitOrder.data() + 7);
  ASSERT_EQ(s.visitOrder, mirror.visitOrder);
  for (int32_t i = 0; i < 7; ++i) {
    if (twin.uniform01() < 0.5) continue;
    mirror.vertexColors[mirror.visitOrder[i]] = scaledIndex(5, twin.uniform01());
  }
  EXPECT_EQ(s.vertexColors, mirror.vertexColors);
  mirror.computeScore();
  EXPECT_EQ(s.score, mirror.score);
}

TEST(GibbsMoveInvariants, ScoreStaysExactAndNeverFallsBelowTheLevel) {
  RandomSource graphSource(11, 11);
  for (int trial = 0; trial < 20; ++trial) {
    const Graph g = randomMultigraph(graphSource, 5 + trial, 8 + 3 * trial);
    const int32_t k = 1 + trial % 5;
    RandomSource random(trial + 1, trial + 1000);
    ColoringSample s(g, random, k);
    GibbsWorkspace workspace;
    for (int move = 0; move < 200; ++move) {
      // Levels below, at and above the current score.
      const double level = s.score + 2.0 * ((move % 5) - 3);
      const bool startedAtOrAbove = s.score >= level;
      gibbsMove(s, level, workspace);
      const double incremental = s.score;
      if (startedAtOrAbove) {
        ASSERT_GE(incremental, level);
      }
      s.computeScore();
      ASSERT_EQ(incremental, s.score) << "trial " << trial << " move " << move;
    }
  }
}

TEST(GibbsMoveInvariants, SelfLoopDoesNotDriftTheScore) {
  const Graph g = makeGraph(3, {{0, 1}, {1, 1}, {1, 2}});
  RandomSource random(2, 2);
  ColoringSample s(g, random, 3);
  GibbsWorkspace workspace;
  for (int move = 0; move < 500; ++move) {
    gibbsMove(s, kMinusInfinity, workspace);
    const double incremental = s.score;
    s.computeScore();
    ASSERT_EQ(incremental, s.score);
    ASSERT_LE(s.score, -2.0);
  }
}

// The move is a Gibbs sampler for the uniform distribution on the colourings
// at or above the level: on a path of three vertices with three colours and
// level -2 (at most one monochromatic edge) all 24 such colourings must be
// visited equally often.
TEST(GibbsMoveStationarity, VisitsEveryColouringOfTheLevelSetEqually) {
  const Graph path = makeGraph(3, {{0, 1}, {1, 2}});
  RandomSource random(12, 34);
  ColoringSample s = testing::coloredSample(path, random, 3, {0, 1, 2});
  GibbsWorkspace workspace;
  std::map<std::vector<int32_t>, int> visits;
  const int sweeps = 240000;
  for (int t = 0; t < sweeps; ++t) {
    gibbsMove(s, -2.0, workspace);
    ++visits[s.vertexColors];
  }
  ASSERT_EQ(visits.size(), 24u);
  const double expected = sweeps / 24.0;
  for (const auto& [colors, count] : visits) {
    EXPECT_NEAR(count, expected, 0.06 * expected) << colors[0] << colors[1] << colors[2];
  }
}

}  // namespace
}  // namespace tintara
