// Seeded pilot and fixed-level runs recorded bit for bit. Any change to the
// Gibbs move, the population code or the data layout that alters a single
// draw or a single score shows up here as a different level list or estimate.
#include <gtest/gtest.h>

#include "splitting/adaptive_splitting.h"
#include "splitting/estimation.h"
#include "support/graphs.h"
#include "support/plain_runs.h"

namespace tintara {
namespace {

using testing::buildLevels;
using testing::estimateAtLevels;

// The one place that compares an estimate with its recorded value. The
// recorded estimates lie well within a double's range, where the estimate's
// conversion to double is exact.
void expectSameEstimate(const WideDouble& estimate, double recorded, const char* graph) {
  const double actual = toDouble(estimate);
  EXPECT_EQ(actual, recorded) << graph << ": " << std::hexfloat << actual << " recorded as "
                              << recorded;
}

// 30 vertices on a cycle with chords i - (7i + 3) mod 30, a repeated edge
// and a self-loop: the pilot stagnates below 0.
Graph chordedCycleWithLoop() {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < 30; ++i) {
    edges.emplace_back(i, (i * 7 + 3) % 30);
    edges.emplace_back(i, (i + 1) % 30);
  }
  edges.emplace_back(0, 1);
  edges.emplace_back(4, 4);
  return testing::makeGraph(30, edges);
}

TEST(GoldenRuns, PilotLevelsAndEstimatesAreUnchanged) {
  struct Case {
    const char* name;
    Graph graph;
    int32_t k;
    uint32_t seed;
    LevelList levels;
    double estimates[2];
  };
  // k = 3 and 4 use the colour-count table at every position; k = 40 on a
  // graph of average degree 10 mixes it with the sorted-neighbour path.
  const Case cases[] = {
      {"grid 6x6, k = 3",
       testing::gridGraph(6, 6),
       3,
       1,
       {-36, -34, -28, -24, -20, -18, -16, -14, -12, -10, -8, -7, -6, -5, -4, -3, -2, -1, 0},
       {0x1.37e5133649fcdp-31, 0x1.21cc969081fcap-30}},
      {"chorded cycle with loop, k = 4",
       chordedCycleWithLoop(),
       4,
       2,
       {-30, -26, -20, -16, -14, -12, -10, -8, -7, -6, -5, -4, -3, -2, -2, -2, -2, -2, -2, -2},
       {0x1.06babb122ea1cp-22, 0x1.e3afb0326461fp-23}},
      {"random 50 vertices 250 edges, k = 40",
       testing::randomGraph(50, 250, 5),
       40,
       3,
       {-50, -8, -4, -2, -1, 0},
       {0x1.ee19de707cb3p-9, 0x1.853c6f2f2e45ap-9}},
  };
  constexpr int32_t kN = 300;
  for (const Case& c : cases) {
    // As counting mode does: the pilot, then the runs, from one source.
    RandomSource random(c.seed, c.seed + 100);
    const LevelList levels = buildLevels(c.graph, random, kN, 0.2, c.k);
    EXPECT_EQ(levels, c.levels) << c.name;
    for (double recorded : c.estimates) {
      expectSameEstimate(estimateAtLevels(c.levels, c.graph, random, kN, c.k), recorded, c.name);
    }
  }
}

}  // namespace
}  // namespace tintara
