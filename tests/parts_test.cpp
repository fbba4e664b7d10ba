// Counting by parts: the product over blocks against exact counts of whole
// graphs, the plan's hard parts and summary, and colourings joined from the
// blocks' colourings.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "coloring/proper_coloring.h"
#include "exact_count/exact_count.h"
#include "graph/simple_graph.h"
#include "splitting/exact_block.h"
#include "splitting/parts.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using testing::makeGraph;
using testing::randomGraph;
using Edges = std::vector<std::pair<int32_t, int32_t>>;

// Limits under which every block that needs elimination is hard.
const EliminationLimits kNoElimination{.maxTableEntries = 1};

// The wheel: hub 0 joined to every vertex of the cycle 1..spokes.
Graph wheelGraph(int32_t spokes) {
  Edges edges;
  for (int32_t i = 1; i <= spokes; ++i) {
    edges.emplace_back(0, i);
    edges.emplace_back(i, i % spokes + 1);
  }
  return makeGraph(spokes + 1, edges);
}

long double exactProbability(const Graph& g, int32_t k) {
  return exact::properProbability(exact::countProperColorings(g, k), g.vertexCount, k);
}

// Edges of `g` shifted by `offset`, appended to `edges`.
void addShifted(Edges& edges, const Graph& g, int32_t offset) {
  for (int32_t u = 0; u < g.vertexCount; ++u) {
    for (int32_t w : g.neighbours(u)) {
      if (u < w) edges.emplace_back(u + offset, w + offset);
    }
  }
}

struct Case {
  std::string name;
  Graph graph;
  // Exact blocks by shape with k = 5 (no zero block): bridges, cycles,
  // complete graphs, eliminated.
  std::vector<int32_t> shapes;
};

std::vector<Case> productCases() {
  Edges chained;  // a 3x4 grid, a bridge, a 5-wheel, a bridge, Petersen
  addShifted(chained, testing::gridGraph(3, 4), 0);
  chained.emplace_back(11, 12);
  for (int32_t i = 1; i <= 5; ++i) {
    chained.emplace_back(12, 12 + i);
    chained.emplace_back(12 + i, 12 + i % 5 + 1);
  }
  chained.emplace_back(17, 18);
  addShifted(chained, testing::petersenGraph(), 18);
  return {
      {"bowtie with a tail",
       makeGraph(6, {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 4}, {4, 2}, {4, 5}}),
       {1, 2, 0, 0}},
      // A doubled edge must not stop a triangle or a square being a cycle,
      // nor K4 being complete.
      {"repeated edges",
       makeGraph(9, {{0, 1},
                     {1, 0},
                     {1, 2},
                     {2, 0},
                     {0, 1},
                     {2, 3},
                     {3, 4},
                     {4, 5},
                     {5, 6},
                     {6, 3},
                     {4, 3},
                     {6, 7},
                     {7, 8},
                     {8, 6},
                     {6, 8}}),
       {1, 3, 0, 0}},
      {"odd and even cycles joined by a bridge",
       makeGraph(9,
                 {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 5}}),
       {1, 2, 0, 0}},
      {"K4 and K5 sharing a vertex",
       [] {
         Edges edges;
         addShifted(edges, testing::completeGraph(4), 0);
         addShifted(edges, testing::completeGraph(5), 3);
         return makeGraph(8, edges);
       }(),
       {0, 0, 2, 0}},
      {"isolated vertices and three components",
       makeGraph(12, {{1, 2}, {2, 3}, {3, 1}, {5, 6}, {8, 9}, {9, 10}, {10, 11}, {11, 8}, {8, 10}}),
       {1, 1, 0, 1}},
      {"grid, wheel and Petersen chained by bridges", makeGraph(28, chained), {2, 0, 0, 3}},
      {"random sparse, seed 1", randomGraph(30, 36, 1), {}},
      {"random sparse, seed 2", randomGraph(30, 40, 2), {}},
      {"random, seed 3", randomGraph(24, 40, 3), {}},
  };
}

TEST(Parts, ProductOfBlocksIsTheWholeGraphsProbability) {
  for (const auto& c : productCases()) {
    for (int32_t k : {2, 3, 4, 5}) {
      SCOPED_TRACE(c.name + ", k = " + std::to_string(k));
      const long double expected = exactProbability(c.graph, k);
      const PartsPlan plan = planParts(c.graph, k);
      ASSERT_TRUE(plan.hardParts.empty());
      EXPECT_EQ(plan.zeroBlock >= 0, expected == 0);
      EXPECT_NEAR(toDouble(plan.exactFactor), static_cast<double>(expected), 1e-13 * expected);
      // With elimination refused, the hard parts' own probabilities (their
      // graphs and vertex lists) make up the rest.
      const PartsPlan split = planParts(c.graph, k, {.limits = kNoElimination});
      long double product = toDouble(split.exactFactor);
      for (const HardPart& part : split.hardParts) {
        EXPECT_EQ(part.vertices.size(), static_cast<std::size_t>(part.graph.vertexCount));
        product *= exactProbability(part.graph, k);
      }
      EXPECT_NEAR(static_cast<double>(product), static_cast<double>(expected), 1e-13 * expected);
    }
  }
}

TEST(Parts, BlocksAreValuedByTheirShape) {
  for (const auto& c : productCases()) {
    if (c.shapes.empty()) continue;
    SCOPED_TRACE(c.name);
    const PartsPlan plan = planParts(c.graph, 5);
    EXPECT_EQ(
        (std::vector<int32_t>{plan.bridges, plan.cycles, plan.completeGraphs, plan.eliminated}),
        c.shapes);
    EXPECT_EQ(plan.exactBlocks(), plan.blocks.blockCount());
    EXPECT_EQ(plan.eliminationPeakBytes > 0, plan.eliminated > 0);
  }
}

TEST(Parts, HardPartsAndSummary) {
  // Blocks in order: {0,1}, the 3x3 grid on 1..9, {9,10}, {10,11,12},
  // K4-minus-an-edge on 12..15.
  Edges edges = {{0, 1},   {9, 10},  {10, 11}, {11, 12}, {12, 10},
                 {12, 13}, {13, 14}, {14, 15}, {15, 12}, {13, 15}};
  addShifted(edges, testing::gridGraph(3, 3), 1);
  const Graph g = makeGraph(16, edges);
  const PartsPlan plan = planParts(g, 3, {.limits = kNoElimination});
  ASSERT_EQ(plan.hardParts.size(), 2u);
  EXPECT_EQ(plan.hardParts[0].vertices, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(plan.hardParts[1].vertices, (std::vector<int32_t>{12, 13, 14, 15}));
  // (2/3)^2 for the bridges, 2/9 for the triangle.
  EXPECT_EQ(partsSummary(plan, 0),
            "decomposed: 5 blocks; 3 exact (factor 0.099), 2 split (9, 4 vertices)");

  // A graph that is one block comes back as itself.
  const Graph grid = testing::gridGraph(4, 5);
  const PartsPlan whole = planParts(grid, 3, {.limits = kNoElimination});
  ASSERT_EQ(whole.hardParts.size(), 1u);
  EXPECT_EQ(testing::neighbourLists(whole.hardParts[0].graph),
            testing::neighbourLists(simpleGraph(grid)));
  EXPECT_EQ(partsSummary(whole, 1),
            "decomposed: 1 block; 0 exact (factor 1), 1 split (20 vertices)");

  // A factor beyond a double's range, and no blocks at all.
  Edges path;
  for (int32_t v = 0; v < 1999; ++v) path.emplace_back(v, v + 1);
  EXPECT_EQ(partsSummary(planParts(makeGraph(2000, path), 3), 0),
            "decomposed: 1999 blocks; 1999 exact (factor 9.9e-353), 0 split");
  EXPECT_EQ(partsSummary(planParts(makeGraph(3, {}), 3), 0),
            "decomposed: 0 blocks; 0 exact (factor 1), 0 split");

  // More than ten hard parts: a chain of 12 squares with chords.
  Edges chords;
  for (int32_t i = 0; i < 12; ++i) {
    const int32_t v = 3 * i;
    chords.insert(chords.end(),
                  {{v, v + 1}, {v + 1, v + 2}, {v + 2, v + 3}, {v + 3, v}, {v, v + 2}});
  }
  EXPECT_EQ(partsSummary(planParts(makeGraph(37, chords), 3, {.limits = kNoElimination}), 0),
            "decomposed: 12 blocks; 0 exact (factor 1), 12 split "
            "(4, 4, 4, 4, 4, 4, 4, 4, 4, 4, ... vertices)");
}

TEST(Parts, ZeroBlockIsNamed) {
  struct ZeroCase {
    Graph graph;
    int32_t k;
    int32_t zeroBlock;
    std::string summary;  // idBase 1
  };
  const std::vector<ZeroCase> cases = {
      // Blocks {0,1}, K4 on 1..4, the 5-cycle on 4..8: K4 has no 3-colouring.
      {makeGraph(9, {{0, 1},
                     {1, 2},
                     {1, 3},
                     {1, 4},
                     {2, 3},
                     {2, 4},
                     {3, 4},
                     {4, 5},
                     {5, 6},
                     {6, 7},
                     {7, 8},
                     {8, 4}}),
       3, 1,
       "decomposed: 3 blocks; the block of 4 vertices from vertex 2 has no proper 3-coloring"},
      // An odd cycle with k = 2.
      {testing::cycleGraph(5), 2, 0,
       "decomposed: 1 block; the block of 5 vertices from vertex 1 has no proper 2-coloring"},
  };
  for (const auto& c : cases) {
    const PartsPlan plan = planParts(c.graph, c.k);
    EXPECT_EQ(plan.zeroBlock, c.zeroBlock);
    EXPECT_EQ(plan.exactFactor, 0);
    EXPECT_EQ(partsSummary(plan, 1), c.summary);
  }
}

// Small graphs glued one after another at a vertex drawn from those
// already there: bridges, cycles, K4, wheels, grids and random graphs (not
// all 2-connected themselves), so hundreds of blocks of every shape.
Graph gluedGraph(int32_t pieces, uint32_t seed) {
  std::mt19937 engine(seed);
  Edges edges;
  int32_t n = 1;
  for (int32_t p = 0; p < pieces; ++p) {
    Graph piece;
    switch (engine() % 6) {
      case 0:
        piece = makeGraph(2, {{0, 1}});
        break;
      case 1:
        piece = testing::cycleGraph(3 + static_cast<int32_t>(engine() % 5));
        break;
      case 2:
        piece = testing::completeGraph(4);
        break;
      case 3:
        piece = wheelGraph(4 + static_cast<int32_t>(engine() % 3));
        break;
      case 4:
        piece = testing::gridGraph(2 + static_cast<int32_t>(engine() % 2), 3);
        break;
      default:
        piece = randomGraph(8, 14, engine());
        break;
    }
    // The piece's vertex 0 is an existing vertex, the rest are new.
    const auto glue = static_cast<int32_t>(engine() % static_cast<uint32_t>(n));
    auto id = [&](int32_t v) { return v == 0 ? glue : n + v - 1; };
    for (int32_t u = 0; u < piece.vertexCount; ++u) {
      for (int32_t w : piece.neighbours(u)) {
        if (u < w) edges.emplace_back(id(u), id(w));
      }
    }
    n += piece.vertexCount - 1;
  }
  return makeGraph(n + 3, edges);  // and three isolated vertices
}

TEST(Parts, JoinedColoringsAreProper) {
  // The small work limit leaves the wheels, grids and random pieces hard;
  // each hard part is coloured through its own elimination, from colour 0
  // at its first vertex, as a splitting run would colour it on its own.
  const PartsOptions options{.limits = {.maxWork = 200}, .withColorings = true};
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    const Graph g = gluedGraph(150, seed);
    for (int32_t k : {4, 5}) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << ", k = " << k);
      const PartsPlan plan = planParts(g, k, options);
      ASSERT_EQ(plan.zeroBlock, -1);
      ASSERT_FALSE(plan.hardParts.empty());
      std::vector<std::vector<int32_t>> hard;
      for (const HardPart& part : plan.hardParts) {
        hard.push_back(valueBlock(part.graph, k, {}, true).coloring);
      }
      const std::vector<int32_t> colors = joinPartColorings(g, plan, hard);
      EXPECT_TRUE(isProperColoring(g, colors, k));
      // A hard part's colouring that is not proper cannot be joined.
      hard[0].assign(hard[0].size(), 0);
      EXPECT_THROW(joinPartColorings(g, plan, hard), std::logic_error);
    }
  }
}

}  // namespace
}  // namespace tintara
