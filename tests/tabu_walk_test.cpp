// The tabu walk one step at a time against recounts from scratch: its
// neighbour colour counts, conflicting list and score; the move it makes
// (a best admissible one); the level it never leaves; the tabu rule; and the
// draws it makes. Then regenerate with the walk, and the memory it counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <set>

#include "coloring/tabu_walk.h"
#include "splitting/population.h"
#include "process/run_memory.h"
#include "support/graphs.h"

namespace tintara {
namespace {

constexpr double kNoLevel = -std::numeric_limits<double>::infinity();

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

TabuSettings oneStep(int32_t base, int32_t spread, double perConflict) {
  return TabuSettings{1, base, spread, perConflict};
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
// vertex brings while keeping the score at or above the level, tabu or not.
int32_t smallestRise(const ColoringSample& s, double level) {
  int32_t best = std::numeric_limits<int32_t>::max();
  for (int32_t v = 0; v < s.vertexCount; ++v) {
    const int32_t own = recount(s, v, s.vertexColors[v]);
    if (own == 0) continue;
    for (int32_t c = 0; c < s.colorCount; ++c) {
      const int32_t rise = recount(s, v, c) - own;
      if (c != s.vertexColors[v] && s.score - 2.0 * rise >= level) best = std::min(best, rise);
    }
  }
  return best;
}

TEST(TabuWalk, KeepsItsTablesAndTheLevelAndMakesABestMoveAtEveryStep) {
  struct Case {
    const char* name;
    Graph graph;
    int32_t k;
    bool atStartingScore;  // level = the starting score, else no level
  };
  const Case cases[] = {
      {"awkward, k = 4, no level", awkwardGraph(), 4, false},
      {"awkward, k = 3, at its score", awkwardGraph(), 3, true},
      {"grid 5x5, k = 2, no level", testing::gridGraph(5, 5), 2, false},
      {"complete 6, k = 5, at its score", testing::completeGraph(6), 5, true},
  };
  for (const Case& c : cases) {
    RandomSource random(7, 8);
    ColoringSample s(c.graph, random, c.k);
    const double level = c.atStartingScore ? s.score : kNoLevel;
    // Tenure 0: nothing is ever tabu, so each step must take the best rise.
    const TabuSettings settings = oneStep(0, 0, 0.0);
    TabuWorkspace w;
    startTabuWalk(s, settings, w);
    expectTablesMatch(s, w, std::string(c.name) + " at the start");
    for (int step = 0; step < 60 && !w.conflicting.empty(); ++step) {
      const std::string at = std::string(c.name) + " step " + std::to_string(step);
      const double before = s.score;
      const int32_t rise = smallestRise(s, level);
      tabuWalk(s, level, settings, w);
      expectTablesMatch(s, w, at);
      EXPECT_GE(s.score, level) << at;
      if (rise == std::numeric_limits<int32_t>::max()) {
        EXPECT_EQ(s.score, before) << at << ": no admissible move, yet it moved";
      } else {
        EXPECT_EQ(s.score, before - 2.0 * rise) << at << ": not a best move";
      }
    }
  }
}

TEST(TabuWalk, AMoveBackIsTabuForTheTenureUnlessItBeatsTheBest) {
  RandomSource random(3, 4);
  const Graph g = awkwardGraph();
  ColoringSample s(g, random, 3);
  constexpr int32_t kTenure = 5;
  const TabuSettings settings = oneStep(kTenure, 0, 0.0);
  TabuWorkspace w;
  startTabuWalk(s, settings, w);
  // (vertex, colour left) -> the step it was left at.
  std::map<std::pair<int32_t, int32_t>, int> left;
  double best = s.score;
  for (int step = 0; step < 400 && !w.conflicting.empty(); ++step) {
    const std::vector<int32_t> before = s.vertexColors;
    tabuWalk(s, kNoLevel, settings, w);
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
    EXPECT_LE(moved, 1);
    best = std::max(best, s.score);
  }
  EXPECT_GT(left.size(), 50u);  // the walk went somewhere
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
    // Make one conflict: a proper 2-colouring with one vertex flipped, so
    // that the first step repairs it.
    for (int32_t v = 0; v < 36; ++v) s.vertexColors[v] = (v / 6 + v % 6) % 2;
    s.vertexColors[14] ^= 1;
    s.computeScore();
    const TabuSettings settings{5, 0, c.spread, 0.6};
    TabuWorkspace w;
    startTabuWalk(s, settings, w);
    RandomSource twin(5, 6);
    for (int32_t v = 0; v < 36; ++v) twin.uniform01();  // the sample's colours
    tabuWalk(s, kNoLevel, settings, w);
    EXPECT_EQ(s.score, 0.0) << "spread " << c.spread;
    for (int i = 0; i < c.drawsPerStep; ++i) twin.uniform01();
    EXPECT_EQ(random.uniform01(), twin.uniform01()) << "spread " << c.spread;
  }
}

TEST(RegenerateWithTabu, EveryOffspringStaysAtTheLevelWithItsScore) {
  const Graph g = testing::randomGraph(60, 400, 9);
  RandomSource random(11, 12);
  Population p;
  createPopulation(p, g, random, 30, 5);
  sortByScore(p);
  const double level = p[5].score;
  ChainWorkspace workspace;
  regenerate(p, 4, {10, 0, 12, 8}, level, ChainMove{MoveKind::Tabu, TabuSettings{20, 0, 10, 0.6}},
             workspace);
  ASSERT_EQ(p.size(), 30u);
  std::set<std::vector<int32_t>> distinct;
  for (const ColoringSample& s : p) {
    ColoringSample fresh = s;
    fresh.computeScore();
    EXPECT_EQ(s.score, fresh.score);
    EXPECT_GE(s.score, level);
    distinct.insert(s.vertexColors);
  }
  EXPECT_GT(distinct.size(), 3u);  // the walks moved the chains
}

// The memory check counts at least what a walk's workspace holds, at the
// largest k a greedy start can test (d(d - 1) / 2 <= edges: K_9 has 36).
TEST(TabuWalk, TheMemoryCheckCoversTheWorkspaceAtTheLargestColourCount) {
  const Graph g = testing::completeGraph(9);
  RandomSource random(1, 2);
  ColoringSample s(g, random, 9);
  TabuWorkspace w;
  const TabuSettings settings = defaultTabuSettings();
  startTabuWalk(s, settings, w);
  tabuWalk(s, kNoLevel, settings, w);
  const double held = 4.0 * w.neighbourColors.capacity() + 8.0 * w.tabuUntil.capacity() +
                      8.0 * w.ties.capacity() +
                      4.0 * (w.conflicting.capacity() + w.conflictIndex.capacity());
  RunFootprint gibbs{1000, 1, 0, true, sizeof(ColoringSample)};
  RunFootprint tabu = gibbs;
  tabu.walkCellBytes = kTabuCellBytes;
  tabu.walkVertexBytes = kTabuVertexBytes;
  EXPECT_GE(residentRunBytes(9, 36, tabu) - residentRunBytes(9, 36, gibbs), held);
}

}  // namespace
}  // namespace tintara
