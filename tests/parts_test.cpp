// Counting by parts: the product over blocks against exact counts of whole
// graphs, the plan's hard parts and summary, and colourings joined from the
// blocks' colourings.
#include <gtest/gtest.h>

#include <random>

#include "coloring/proper_coloring.h"
#include "exact/exact_block.h"
#include "exact/parts.h"
#include "exact_count/exact_count.h"
#include "graph/simple_graph.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using namespace tintara::testing;
using Edges = std::vector<std::pair<int32_t, int32_t>>;

// Limits under which every block that needs elimination is hard.
const PartsOptions kNoElimination{.limits = {.maxTableEntries = 1}};

double exactProbability(const Graph& g, int32_t k) {
  return static_cast<double>(
      exact::properProbability(exact::countProperColorings(g, k), g.vertexCount, k));
}

// `piece`'s edges with its vertex 0 at `glue` and the others from `first` on.
void glue(Edges& edges, const Graph& piece, int32_t glue, int32_t first) {
  auto id = [&](int32_t v) { return v == 0 ? glue : first + v - 1; };
  for (int32_t u = 0; u < piece.vertexCount; ++u) {
    for (int32_t w : piece.neighbours(u)) {
      if (u < w) edges.emplace_back(id(u), id(w));
    }
  }
}

TEST(Parts, ProductOfBlocksIsTheWholeGraphsProbability) {
  Edges chained;  // a 3x4 grid, a 5-wheel at its corner 11, Petersen at a rim vertex
  glue(chained, gridGraph(3, 4), 0, 1);
  glue(chained, wheelGraph(5), 11, 12);
  glue(chained, petersenGraph(), 16, 17);
  Edges cliques;  // K4 and K5 sharing vertex 3, one edge repeated
  glue(cliques, completeGraph(4), 0, 1);
  glue(cliques, completeGraph(5), 3, 4);
  cliques.emplace_back(4, 3);
  struct Case {
    Graph graph;
    // Blocks by how each plan valued them with k = 5 (none is 0 then):
    // bridges, cycles, complete graphs, eliminated, series-parallel (plan 2);
    // empty: not checked.
    std::vector<int32_t> firstPlan;
    std::vector<int32_t> secondPlan;
  };
  const std::vector<Case> cases = {
      // Doubled edges must not stop a triangle or a square being a cycle.
      {makeGraph(9, {{0, 1},
                     {1, 0},
                     {1, 2},
                     {2, 0},
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
       {1, 3, 0, 0, 0},
       {1, 3, 0, 0, 0}},
      {makeGraph(9,
                 {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 5}}),
       {1, 2, 0, 0, 0},
       {1, 2, 0, 0, 0}},
      {makeGraph(8, cliques), {0, 0, 2, 0, 0}, {0, 0, 2, 0, 0}},
      // Isolated vertices and three components; a square with a chord is
      // series-parallel.
      {makeGraph(12, {{1, 2}, {2, 3}, {3, 1}, {5, 6}, {8, 9}, {9, 10}, {10, 11}, {11, 8}, {8, 10}}),
       {1, 1, 0, 1, 0},
       {1, 1, 0, 0, 1}},
      // The wheel and Petersen are left to elimination, and so is the grid:
      // its corners reduce, its kernel is eliminated whole.
      {makeGraph(26, chained), {0, 0, 0, 3, 0}, {0, 0, 0, 3, 0}},
      {randomGraph(30, 36, 1), {}, {}},
      {randomGraph(30, 40, 2), {}, {}},
      {randomGraph(24, 40, 3), {}, {}},
  };
  for (const auto& c : cases) {
    for (int32_t version : {1, 2}) {
      for (int32_t k : {2, 3, 4, 5}) {
        SCOPED_TRACE(::testing::Message()
                     << c.graph.vertexCount << " vertices, k = " << k << ", plan " << version);
        const double expected = exactProbability(c.graph, k);
        const PartsPlan plan = planParts(c.graph, k, {.version = version});
        ASSERT_TRUE(plan.hardParts.empty());
        EXPECT_EQ(plan.zeroBlock >= 0, expected == 0);
        EXPECT_NEAR(toDouble(plan.exactFactor), expected, 1e-13 * expected);
        const std::vector<int32_t>& shapes = version == 1 ? c.firstPlan : c.secondPlan;
        if (k == 5 && !shapes.empty()) {
          EXPECT_EQ((std::vector{plan.bridges, plan.cycles, plan.completeGraphs, plan.eliminated,
                                 plan.seriesParallel}),
                    shapes);
          EXPECT_EQ(plan.eliminationPeakBytes > 0, plan.eliminated > 0);
        }
        // With elimination refused, the hard parts make up the rest: each
        // part's value over its share in the exact factor.
        PartsOptions refused = kNoElimination;
        refused.version = version;
        const PartsPlan split = planParts(c.graph, k, refused);
        double product = toDouble(split.exactFactor);
        for (const HardPart& part : split.hardParts) {
          product *= exactProbability(part.graph, k) / toDouble(part.share);
        }
        EXPECT_NEAR(product, expected, 1e-12 * expected);
      }
    }
  }
}

TEST(Parts, HardPartsAndSummary) {
  // Blocks in order: {0,1}, the 3x3 grid on 1..9, {9,10}, the triangle
  // {10,11,12}, K4 less an edge on 12..15.
  Edges edges = {{0, 1},   {9, 10},  {10, 11}, {11, 12}, {12, 10},
                 {12, 13}, {13, 14}, {14, 15}, {15, 12}, {13, 15}};
  glue(edges, gridGraph(3, 3), 1, 2);
  PartsOptions firstPlan = kNoElimination;
  firstPlan.version = 1;
  const PartsPlan plan = planParts(makeGraph(16, edges), 3, firstPlan);
  ASSERT_EQ(plan.hardParts.size(), 2u);
  EXPECT_EQ(plan.hardParts[0].vertices, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(plan.hardParts[1].vertices, (std::vector<int32_t>{12, 13, 14, 15}));
  EXPECT_FALSE(plan.multipliesMeans());
  // (2/3)^2 for the bridges, 2/9 for the triangle.
  EXPECT_EQ(partsSummary(plan, 0),
            "decomposed: 5 blocks; 3 exact (factor 0.099), 2 split (9, 4 vertices); the runs "
            "averaged with an entry 0.0 first");
  // Today's plan reduces K4 less an edge to nothing, and the grid's corners
  // to four weighted edges about its centre.
  const PartsPlan reduced = planParts(makeGraph(16, edges), 3, kNoElimination);
  ASSERT_EQ(reduced.hardParts.size(), 1u);
  EXPECT_TRUE(reduced.hardParts[0].byKernel());
  EXPECT_EQ(partsSummary(reduced, 0),
            "decomposed: 5 blocks; 4 exact (factor 0.0014), 1 split (9 vertices, kernel 5 + 4 "
            "weighted); the runs averaged with an entry 0.0 first");

  // A graph that is one block, which nothing reduces, comes back as
  // itself, numbering included.
  const Graph torus = makeGraph(16, torusEdges(4));
  const PartsPlan whole = planParts(torus, 3, kNoElimination);
  ASSERT_EQ(whole.hardParts.size(), 1u);
  EXPECT_FALSE(whole.hardParts[0].byKernel());
  EXPECT_EQ(neighbourLists(whole.hardParts[0].graph), neighbourLists(simpleGraph(torus)));
  EXPECT_EQ(partsSummary(whole, 1),
            "decomposed: 1 block; 0 exact (factor 1), 1 split (16 vertices); the runs averaged "
            "with an entry 0.0 first");

  // A factor beyond a double's range; no blocks at all; more than ten
  // hard parts (a chain of 12 squares with a chord each, in the first
  // plan; today's reduces each, and a chain of 11 K4s each with a
  // subdivided edge to K4 kernels).
  Edges path, chords, subdivided;
  for (int32_t v = 0; v < 1999; ++v) path.emplace_back(v, v + 1);
  for (int32_t v = 0; v < 36; v += 3) {
    chords.insert(chords.end(),
                  {{v, v + 1}, {v + 1, v + 2}, {v + 2, v + 3}, {v + 3, v}, {v, v + 2}});
  }
  for (int32_t v = 0; v < 44; v += 4) {
    // K4 on v, v + 1, v + 2, v + 4, its edge v - (v + 4) through v + 3.
    subdivided.insert(subdivided.end(), {{v, v + 1},
                                         {v, v + 2},
                                         {v + 1, v + 2},
                                         {v + 1, v + 4},
                                         {v + 2, v + 4},
                                         {v, v + 3},
                                         {v + 3, v + 4}});
  }
  const std::vector<std::pair<PartsPlan, std::string>> summaries = {
      {planParts(makeGraph(2000, path), 3),
       "decomposed: 1999 blocks; 1999 exact (factor 9.9e-353), 0 split"},
      {planParts(makeGraph(3, {}), 3), "decomposed: 0 blocks; 0 exact (factor 1), 0 split"},
      {planParts(makeGraph(37, chords), 3, firstPlan),
       "decomposed: 12 blocks; 0 exact (factor 1), 12 split (4, 4, 4, 4, 4, 4, 4, 4, 4, 4, ... "
       "vertices); the runs averaged with an entry 0.0 first"},
      {planParts(makeGraph(37, chords), 3, kNoElimination),
       "decomposed: 12 blocks; 12 exact (factor 2.7e-14), 0 split"},
      {planParts(makeGraph(45, subdivided), 3, kNoElimination),
       "decomposed: 11 blocks; 0 exact (factor 0.012), 11 split (5 vertices, kernel 4 + 1 "
       "weighted; 5 vertices, kernel 4 + 1 weighted; 5 vertices, kernel 4 + 1 weighted; 5 "
       "vertices, kernel 4 + 1 weighted; 5 vertices, kernel 4 + 1 weighted; 5 vertices, kernel "
       "4 + 1 weighted; 5 vertices, kernel 4 + 1 weighted; 5 vertices, kernel 4 + 1 weighted; 5 "
       "vertices, kernel 4 + 1 weighted; 5 vertices, kernel 4 + 1 weighted; ...); the average is "
       "the product of the parts' means"},
  };
  for (const auto& [parts, line] : summaries) EXPECT_EQ(partsSummary(parts, 0), line);
}

TEST(Parts, ZeroBlockIsNamed) {
  // Blocks {0,1}, K4 on 1..4, the 5-cycle on 4..8: K4 has no 3-colouring.
  const Graph g = makeGraph(9, {{0, 1},
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
                                {8, 4}});
  const PartsPlan plan = planParts(g, 3);
  EXPECT_EQ(plan.zeroBlock, 1);
  EXPECT_EQ(plan.exactFactor, 0);
  EXPECT_EQ(partsSummary(plan, 1),
            "decomposed: 3 blocks; the block of 4 vertices from vertex 2 has no proper 3-coloring");
  EXPECT_EQ(planParts(cycleGraph(5), 2).zeroBlock, 0);  // an odd cycle
}

TEST(Parts, JoinedColoringsAreProper) {
  // 150 small graphs glued one after another at a vertex drawn from those
  // already there: hundreds of blocks of every shape, three isolated
  // vertices. The table cap leaves the wheels, grids and random pieces hard
  // (the grids on their kernels); each is coloured by its own elimination,
  // from colour 0 at its first vertex, as a splitting run would colour it
  // on its own.
  const PartsOptions options{.limits = {.maxTableEntries = 1}, .withColorings = true};
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 engine(seed);
    auto below = [&](int32_t n) {
      return static_cast<int32_t>(engine() % static_cast<uint32_t>(n));
    };
    const std::vector<Graph> pieces = {makeGraph(2, {{0, 1}}), cycleGraph(5),
                                       completeGraph(4),       wheelGraph(6),
                                       gridGraph(3, 3),        randomGraph(8, 14, seed)};
    Edges edges;
    int32_t n = 1;
    for (int32_t p = 0; p < 150; ++p) {
      const Graph& piece = pieces[below(6)];
      glue(edges, piece, below(n), n);
      n += piece.vertexCount - 1;
    }
    const Graph g = makeGraph(n + 3, edges);
    for (int32_t k : {4, 5}) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << ", k = " << k);
      const PartsPlan plan = planParts(g, k, options);
      ASSERT_EQ(plan.zeroBlock, -1);
      ASSERT_FALSE(plan.hardParts.empty());
      std::vector<std::vector<int32_t>> hard;
      for (const HardPart& part : plan.hardParts) {
        hard.push_back(valueBlock(part.graph, k, {}, true).coloring);
      }
      EXPECT_TRUE(isProperColoring(g, joinPartColorings(g, plan, hard), k));
      // A hard part's colouring that is not proper cannot be joined.
      hard[0].assign(hard[0].size(), 0);
      EXPECT_THROW(joinPartColorings(g, plan, hard), std::logic_error);
    }
  }
}

}  // namespace
}  // namespace tintara
