#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <numeric>

#include "coloring/gibbs_move.h"
#include "support/test_support.h"

namespace tintara {
namespace {

using testing::completeGraph;
using testing::makeGraph;

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// The move with its scratch lists built afresh at every treated position; the
// workspace version must match it bit for bit, draw for draw.
void freshListsGibbsMove(ColoringSample& s, double level) {
  RandomSource& random = *s.randomSource;
  random.shuffleOrder(s.visitOrder.data(), s.visitOrder.data() + s.visitOrder.size());
  for (int32_t i = 0; i < s.vertexCount; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = s.visitOrder[i];
    const int32_t c = s.vertexColors[v];
    std::vector<int32_t> counts(s.colorCount, 0);
    for (int32_t w : s.graph->neighbours(v)) {
      if (w != v) ++counts[s.vertexColors[w]];
    }
    const double base = 2.0 * counts[c] + s.score;
    std::vector<int32_t> allowed;
    for (int32_t j = 0; j < s.colorCount; ++j) {
      if (base - 2.0 * counts[j] >= level) allowed.push_back(j);
    }
    if (allowed.empty()) continue;
    const int32_t j = allowed[static_cast<std::size_t>(
        std::floor(random.uniform01() * static_cast<double>(allowed.size())))];
    s.vertexColors[v] = j;
    s.score = base - 2.0 * counts[j];
  }
}

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

TEST(GibbsMoveDraws, MatchesTheMoveWithListsBuiltAfresh) {
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
      freshListsGibbsMove(sb, level);
      ASSERT_EQ(sa.vertexColors, sb.vertexColors) << "trial " << trial << " move " << move;
      ASSERT_EQ(sa.visitOrder, sb.visitOrder);
      ASSERT_EQ(sa.score, sb.score);
    }
    EXPECT_EQ(a.uniform01(), b.uniform01());
    EXPECT_EQ(a.randDraw(), b.randDraw());
  }
}

TEST(GibbsMoveDraws, EveryPathChoosesAlike) {
  struct Path {
    const char* name;
    int32_t laneColorLimit;
    int32_t denseColorMargin;
    bool readCoinsFirst;
  };
  const GibbsWorkspace defaults;
  const Path paths[] = {
      {"table", 0, 1 << 30, true},
      {"neighbour colours", 0, -(1 << 30), true},
      {"as chosen", defaults.laneColorLimit, defaults.denseColorMargin, true},
      {"table, coins in turn", 0, 1 << 30, false},
      {"as chosen, coins in turn", defaults.laneColorLimit, defaults.denseColorMargin, false},
  };
  RandomSource graphSource(21, 21);
  for (int trial = 0; trial < 12; ++trial) {
    const Graph g = randomMultigraph(graphSource, 10 + 3 * trial, 25 + 12 * trial);
    const int32_t k = 1 + (trial * 7) % 23;
    std::vector<std::unique_ptr<RandomSource>> sources;
    std::vector<ColoringSample> samples;
    std::vector<GibbsWorkspace> workspaces;
    for (const Path& path : paths) {
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
            << paths[p].name << ", trial " << trial << ", move " << move;
        ASSERT_EQ(samples[p].score, samples[0].score) << paths[p].name;
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
