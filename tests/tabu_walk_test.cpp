// The tabu walk one step at a time against recounts from scratch: its
// neighbour colour counts, conflicting list and score after every step; the
// move it makes (a best admissible one); the tabu rule; the colouring it
// keeps (the last of the best); the draws it makes; and a halt within it.
// Then regenerate with the walk, and the memory it counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <set>

#include "coloring/gpx_crossover.h"
#include "coloring/tabu_walk.h"
#include "process/run_memory.h"
#include "splitting/population.h"
#include "support/graphs.h"

namespace tintara {
namespace {

// A random graph with a repeated edge and a self-loop added.
Graph awkwardGraph() {
  std::vector<std::pair<int32_t, int32_t>> edges = {{0, 1}, {0, 1}, {2, 2}};
  const Graph g = testing::randomGraph(40, 160, 3);
  for (int32_t u = 0; u < g.vertexCount; ++u) {
    for (int32_t v : g.neighbours(u)) {
      if (u < v) edges.emplace_back(u, v);
    }
  }
  return testing::makeGraph(40, edges);
}

TabuSettings walkOf(int32_t steps, int32_t base, int32_t spread, double perConflict) {
  return TabuSettings{steps, 0, base, spread, perConflict};
}

// v's neighbours of colour c, self-loops left out, counted afresh.
int32_t recount(const ColoringSample& s, int32_t v, int32_t c) {
  int32_t count = 0;
  for (int32_t u : s.graph->neighbours(v)) count += u != v && s.vertexColors[u] == c;
  return count;
}

void expectTablesMatch(const ColoringSample& s, const TabuWorkspace& w, const std::string& at) {
  ColoringSample fresh = s;
  fresh.computeScore();
  ASSERT_EQ(s.score, fresh.score) << at;
  std::set<int32_t> conflicting;
  for (int32_t v = 0; v < s.vertexCount; ++v) {
    for (int32_t c = 0; c < s.colorCount; ++c) {
      ASSERT_EQ(w.neighbourColors[v * s.colorCount + c], recount(s, v, c)) << at << " v" << v;
    }
    if (recount(s, v, s.vertexColors[v]) > 0) conflicting.insert(v);
  }
  EXPECT_EQ(std::set<int32_t>(w.conflicting.begin(), w.conflicting.end()), conflicting) << at;
  for (std::size_t i = 0; i < w.conflicting.size(); ++i) {
    EXPECT_EQ(w.conflictIndex[w.conflicting[i]], static_cast<int32_t>(i)) << at;
  }
}

// The smallest rise in monochromatic pairs any recolouring of a conflicting
// vertex brings, tabu or not.
int32_t smallestRise(const ColoringSample& s) {
  int32_t best = std::numeric_limits<int32_t>::max();
  for (int32_t v = 0; v < s.vertexCount; ++v) {
    const int32_t own = recount(s, v, s.vertexColors[v]);
    if (own == 0) continue;
    for (int32_t c = 0; c < s.colorCount; ++c) {
      if (c != s.vertexColors[v]) best = std::min(best, recount(s, v, c) - own);
    }
  }
  return best;
}

// Step by step on random graphs: the tables match a recount after every
// step; with nothing tabu each step takes a best move; and the walk ends on
// the last colouring of the best score it met, never below its start.
TEST(TabuWalk, TablesMatchARecountAtEveryStepAndTheWalkKeepsTheLastBest) {
  struct Case {
    const char* name;
    Graph graph;
    int32_t k;
    TabuSettings settings;
  };
  const Case cases[] = {
      {"awkward, k = 4, nothing tabu", awkwardGraph(), 4, walkOf(150, 0, 0, 0.0)},
      {"awkward, k = 3, GH tenure", awkwardGraph(), 3, walkOf(300, 0, 10, 0.6)},
      {"random 60/300, k = 5, GH tenure", testing::randomGraph(60, 300, 17), 5,
       walkOf(300, 0, 10, 0.6)},
      {"grid 5x5, k = 2, nothing tabu", testing::gridGraph(5, 5), 2, walkOf(60, 0, 0, 0.0)},
      {"complete 6, k = 5, tenure 3", testing::completeGraph(6), 5, walkOf(80, 3, 0, 0.0)},
  };
  for (const Case& c : cases) {
    RandomSource random(7, 8);
    ColoringSample s(c.graph, random, c.k);
    const double startScore = s.score;
    const bool nothingTabu = c.settings.tenureBase == 0 && c.settings.tenureSpread == 0;
    TabuWorkspace w;
    startTabuWalk(s, c.settings, w);
    expectTablesMatch(s, w, std::string(c.name) + " at the start");
    std::vector<int32_t> lastBest = s.vertexColors;
    double best = s.score;
    for (int step = 0; step < c.settings.walkSteps; ++step) {
      const std::string at = std::string(c.name) + " step " + std::to_string(step);
      const double before = s.score;
      const int32_t rise = smallestRise(s);
      if (!tabuStep(s, c.settings, w)) break;
      expectTablesMatch(s, w, at);
      if (nothingTabu) {
        EXPECT_EQ(s.score, before - 2.0 * rise) << at << ": not a best move";
      }
      if (s.score >= best) {
        best = s.score;
        lastBest = s.vertexColors;
      }
    }
    finishTabuWalk(s, w);
    EXPECT_EQ(s.vertexColors, lastBest) << c.name;
    EXPECT_EQ(s.score, best) << c.name;
    EXPECT_GE(s.score, startScore) << c.name;
    ColoringSample fresh = s;
    fresh.computeScore();
    EXPECT_EQ(fresh.score, s.score) << c.name;
  }
}

TEST(TabuWalk, AMoveBackIsTabuForTheTenureUnlessItBeatsTheWalksBest) {
  RandomSource random(3, 4);
  const Graph g = awkwardGraph();
  ColoringSample s(g, random, 3);
  constexpr int32_t kTenure = 5;
  const TabuSettings settings = walkOf(400, kTenure, 0, 0.0);
  TabuWorkspace w;
  startTabuWalk(s, settings, w);
  // (vertex, colour left) -> the step it was left at.
  std::map<std::pair<int32_t, int32_t>, int> left;
  double best = s.score;
  int step = 0;
  for (; step < 400; ++step) {
    const std::vector<int32_t> before = s.vertexColors;
    if (!tabuStep(s, settings, w)) break;
    int moved = 0;
    for (int32_t v = 0; v < g.vertexCount; ++v) {
      if (before[v] == s.vertexColors[v]) continue;
      ++moved;
      const auto back = left.find({v, s.vertexColors[v]});
      if (back != left.end() && step - back->second <= kTenure) {
        EXPECT_GT(s.score, best) << "step " << step << ": a tabu move that beats nothing";
      }
      left[{v, before[v]}] = step;
    }
    EXPECT_EQ(moved, 1);
    best = std::max(best, s.score);
  }
  EXPECT_EQ(step, 400);  // no proper 3-colouring: the walk never ends early
}

// On a plateau the last best is a new colouring: an odd cycle in two
// colours always keeps one monochromatic edge, and a walk from such a
// colouring must not hand its start back (the clones of an elite would
// stay identical).
TEST(TabuWalk, OnAPlateauTheWalkReturnsANewColouringOfTheSameScore) {
  const Graph cycle = testing::cycleGraph(9);
  RandomSource random(5, 6);
  ColoringSample s(cycle, random, 2);
  for (int32_t v = 0; v < 9; ++v) s.vertexColors[v] = v % 2;  // edge 8-0 monochromatic
  s.computeScore();
  ASSERT_EQ(s.score, -2.0);
  TabuWorkspace w;
  std::set<std::vector<int32_t>> seen = {s.vertexColors};
  for (int walk = 0; walk < 5; ++walk) {
    const std::vector<int32_t> start = s.vertexColors;
    tabuWalk(s, walkOf(20, 0, 10, 0.6), w);
    EXPECT_EQ(s.score, -2.0) << "walk " << walk;
    EXPECT_NE(s.vertexColors, start) << "walk " << walk;
    seen.insert(s.vertexColors);
  }
  EXPECT_GT(seen.size(), 2u);
}

// Draws per step: the choice, then the tenure's random part when the spread
// is above 1; nothing once the colouring is proper.
TEST(TabuWalk, DrawsAChoiceAndATenureAStepAndNothingWhenProper) {
  struct Case {
    int32_t spread;
    int drawsPerStep;
  };
  for (const Case& c : {Case{10, 2}, Case{1, 1}, Case{0, 1}}) {
    const Graph g = testing::gridGraph(6, 6);
    RandomSource random(5, 6);
    ColoringSample s(g, random, 2);
    // One conflict: a proper 2-colouring with one vertex flipped, so that
    // the first step repairs it and the walk ends there.
    for (int32_t v = 0; v < 36; ++v) s.vertexColors[v] = (v / 6 + v % 6) % 2;
    s.vertexColors[14] ^= 1;
    s.computeScore();
    TabuWorkspace w;
    RandomSource twin(5, 6);
    for (int32_t v = 0; v < 36; ++v) twin.uniform01();  // the sample's colours
    EXPECT_TRUE(tabuWalk(s, walkOf(50, 5, c.spread, 0.6), w));
    EXPECT_EQ(s.score, 0.0) << "spread " << c.spread;
    for (int i = 0; i < c.drawsPerStep; ++i) twin.uniform01();
    EXPECT_EQ(random.uniform01(), twin.uniform01()) << "spread " << c.spread;
  }
}

// A halt is asked at the walk's start and every 1024 steps, and ends the
// walk at once, on the best colouring met so far.
TEST(TabuWalk, AHaltEndsTheWalkOnItsBestSoFar) {
  const Graph g = awkwardGraph();  // no proper 3-colouring: the walk goes on
  RandomSource random(9, 10);
  ColoringSample s(g, random, 3);
  const double start = s.score;
  TabuWorkspace w;
  int asked = 0;
  EXPECT_FALSE(tabuWalk(s, walkOf(100000, 0, 10, 0.6), w, [&asked] { return ++asked == 3; }));
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(w.moves.size(), 2u * 1024u);  // asked before steps 0, 1024 and 2048
  EXPECT_GE(s.score, start);
  ColoringSample fresh = s;
  fresh.computeScore();
  EXPECT_EQ(fresh.score, s.score);
}

// Each offspring is a walk from the one before: every one keeps its exact
// score, none falls below the level, and along a chain scores never fall.
// A halt within the walks ends the regrowth.
TEST(RegenerateWithTabu, ChainsClimbFromTheLevelAndAHaltEndsThem) {
  const Graph g = testing::randomGraph(60, 400, 9);
  RandomSource random(11, 12);
  Population p;
  createPopulation(p, g, random, 30, 5);
  sortByScore(p);
  const double level = p[5].score;
  ChainWorkspace workspace;
  const ChainMove move{MoveKind::Tabu, walkOf(40, 0, 10, 0.6)};
  const std::vector<int32_t> factors = {10, 0, 12, 8};
  ASSERT_TRUE(regenerate(p, 4, factors, level, move, workspace));
  ASSERT_EQ(p.size(), 30u);
  std::set<std::vector<int32_t>> distinct;
  std::size_t at = 0;
  for (int32_t f : factors) {
    for (int32_t i = 0; i < f; ++i, ++at) {
      ColoringSample fresh = p[at];
      fresh.computeScore();
      EXPECT_EQ(p[at].score, fresh.score) << at;
      EXPECT_GE(p[at].score, level) << at;
      if (i > 0) {
        EXPECT_GE(p[at].score, p[at - 1].score) << at;
      }
      distinct.insert(p[at].vertexColors);
    }
  }
  EXPECT_GT(distinct.size(), 20u);  // the walks moved the chains

  int asked = 0;
  const ChainMove longWalks{MoveKind::Tabu, walkOf(5000, 0, 10, 0.6)};
  EXPECT_FALSE(regenerate(p, 4, {10, 10, 5, 5}, level, longWalks, workspace,
                          [&asked] { return ++asked == 2; }));
  EXPECT_EQ(asked, 2);  // asked before the first walk and within it, then no more
}

// The memory check counts at least what a walk's workspace holds, at the
// largest k a greedy start can test (d(d - 1) / 2 <= edges: K_9 has 36) and
// the longest walk a test makes, with the crossover's children and lists.
TEST(TabuWalk, TheMemoryCheckCoversTheWorkspaceAtTheLargestColourCount) {
  const Graph g = testing::completeGraph(9);
  RandomSource random(1, 2);
  ColoringSample s(g, random, 9);
  TabuWorkspace w;
  const ChainMove move = testMove(MoveKind::Tabu, Crossover::Gpx, 1000);
  const TabuSettings settings = longestWalk(move);
  tabuWalk(s, settings, w);
  double held = 4.0 * w.neighbourColors.capacity() + 8.0 * w.tabuUntil.capacity() +
                8.0 * w.ties.capacity() + 8.0 * w.moves.capacity() +
                4.0 * (w.conflicting.capacity() + w.conflictIndex.capacity());
  EXPECT_LE(held, tabuWorkspaceBytes(settings, 9, 9));
  GpxWorkspace gpx;
  ColoringSample child = s;
  gpxCrossover(s, s, child, gpx);
  held += 4.0 * (gpx.members[0].capacity() + gpx.members[1].capacity() +
                 gpx.classStart[0].capacity() + gpx.classStart[1].capacity() +
                 gpx.unplaced[0].capacity() + gpx.unplaced[1].capacity() + gpx.ties.capacity()) +
          gpx.placed.capacity();
  held += childrenPerRegrowth(move, 1000) *
          (sizeof(ColoringSample) +
           4.0 * (child.vertexColors.capacity() + child.visitOrder.capacity()));
  RunFootprint gibbs{1000, 1, 0, true, sizeof(ColoringSample)};
  RunFootprint tabu = gibbs;
  addWalkFootprint(tabu, move, 1000);
  EXPECT_GE(residentRunBytes(9, 36, tabu) - residentRunBytes(9, 36, gibbs), held);
}

}  // namespace
}  // namespace tintara
