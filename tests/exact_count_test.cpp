#include "exact_count/exact_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <stdexcept>

#include "support/test_support.h"

namespace tintara::testing {
namespace {

using namespace tintara::exact;

using Edges = std::vector<std::pair<int32_t, int32_t>>;

ExactCount power(ExactCount base, int32_t e) {
  ExactCount p = 1;
  for (int32_t i = 0; i < e; ++i) p *= base;
  return p;
}

ExactCount fallingFactorial(int32_t k, int32_t n) {
  ExactCount p = 1;
  for (int32_t i = 0; i < n; ++i) p *= static_cast<ExactCount>(std::max(k - i, 0));
  return p;
}

// (k-1)^n + (-1)^n (k-1), kept in unsigned arithmetic.
ExactCount cyclePolynomial(int32_t n, int32_t k) {
  if (k == 0) return 0;
  const ExactCount a = power(k - 1, n);
  return n % 2 == 0 ? a + (k - 1) : a - (k - 1);
}

Edges edgesOf(const Graph& g) {
  Edges edges;
  for (int32_t u = 0; u < g.vertexCount; ++u)
    for (int32_t w : g.neighbours(u))
      if (u <= w) edges.emplace_back(u, w);
  return edges;
}

// Proper colourings of a rows x cols grid by a transfer matrix over the
// proper colourings of one row: a method that shares nothing with
// elimination.
ExactCount gridCountByRows(int32_t rows, int32_t cols, int32_t k) {
  std::vector<std::vector<int32_t>> states;
  std::vector<int32_t> row(cols, 0);
  for (;;) {
    bool ok = true;
    for (int32_t c = 0; c + 1 < cols; ++c) ok = ok && row[c] != row[c + 1];
    if (ok) states.push_back(row);
    int32_t i = 0;
    while (i < cols && ++row[i] == k) row[i++] = 0;
    if (i == cols) break;
  }
  std::vector<ExactCount> ways(states.size(), 1);
  for (int32_t r = 1; r < rows; ++r) {
    std::vector<ExactCount> next(states.size(), 0);
    for (std::size_t t = 0; t < states.size(); ++t)
      for (std::size_t s = 0; s < states.size(); ++s) {
        bool ok = true;
        for (int32_t c = 0; c < cols && ok; ++c) ok = states[s][c] != states[t][c];
        if (ok) next[t] += ways[s];
      }
    ways = std::move(next);
  }
  return std::accumulate(ways.begin(), ways.end(), ExactCount{0});
}

TEST(ExactCount, MatchesChromaticPolynomialsOfCompleteGraphsAndCycles) {
  for (int32_t n = 1; n <= 7; ++n) {
    for (int32_t k = 0; k <= 8; ++k) {
      const Graph g = completeGraph(n);
      EXPECT_EQ(countProperColorings(g, k), fallingFactorial(k, n)) << "K" << n << " k=" << k;
      EXPECT_EQ(countProperColoringsBySearch(g, k), fallingFactorial(k, n)) << "K" << n;
    }
  }
  for (int32_t n = 3; n <= 40; ++n) {
    for (int32_t k = 1; k <= 5; ++k) {
      EXPECT_EQ(countProperColorings(cycleGraph(n), k), cyclePolynomial(n, k)) << "C" << n;
      if (n <= 12) {
        EXPECT_EQ(countProperColoringsBySearch(cycleGraph(n), k), cyclePolynomial(n, k));
      }
    }
  }
}

TEST(ExactCount, MatchesTreePolynomialOnRandomTrees) {
  std::mt19937 gen(11);
  for (int32_t n : {1, 2, 5, 30, 60}) {
    Edges edges;
    for (int32_t v = 1; v < n; ++v)
      edges.emplace_back(std::uniform_int_distribution<int32_t>(0, v - 1)(gen), v);
    const Graph tree = makeGraph(n, edges);
    for (int32_t k = 1; k <= 4; ++k)
      EXPECT_EQ(countProperColorings(tree, k), k * power(k - 1, n - 1)) << "n=" << n;
  }
}

TEST(ExactCount, AgreesWithBruteForceOnSmallMultigraphs) {
  // Random graphs on up to 8 vertices, with repeated edges, both edge
  // directions and, now and then, a self-loop (which leaves no colouring).
  std::mt19937 gen(5);
  for (int trial = 0; trial < 150; ++trial) {
    const int32_t n = std::uniform_int_distribution<int32_t>(1, 8)(gen);
    const int32_t m = std::uniform_int_distribution<int32_t>(0, 2 * n)(gen);
    Edges edges;
    std::uniform_int_distribution<int32_t> vertex(0, n - 1);
    for (int32_t i = 0; i < m; ++i) {
      const int32_t u = vertex(gen);
      int32_t v = vertex(gen);
      if (u == v && trial % 10 != 0) v = (v + 1) % n;
      edges.emplace_back(u, v);
    }
    const Graph g = makeGraph(n, edges);
    for (int32_t k = 1; k <= 4; ++k) {
      const ExactCount expected = bruteForceProperColorings(g, k);
      EXPECT_EQ(countProperColorings(g, k), expected) << "trial " << trial << " k=" << k;
      EXPECT_EQ(countProperColoringsBySearch(g, k), expected) << "trial " << trial << " k=" << k;
      EXPECT_EQ(hasProperColoring(g, k), expected != 0) << "trial " << trial << " k=" << k;
    }
  }
}

TEST(ExactCount, GridsUpToEightByEightMatchTransferMatrix) {
  for (int32_t rows = 1; rows <= 8; ++rows) {
    for (int32_t cols = 1; cols <= 8; ++cols) {
      EliminationStats stats;
      EXPECT_EQ(countProperColorings(gridGraph(rows, cols), 3, &stats),
                gridCountByRows(rows, cols, 3))
          << rows << "x" << cols;
      // Greedy min-fill is not optimal on grids (treewidth min(rows, cols)),
      // but it must stay close for 8x8 to take well under a second.
      EXPECT_LE(stats.width, std::min(rows, cols) + 2) << rows << "x" << cols;
    }
  }
  EXPECT_EQ(countProperColorings(gridGraph(6, 6), 4), gridCountByRows(6, 6, 4));
  EXPECT_EQ(countProperColorings(gridGraph(3, 3), 3), ExactCount{246});
}

// A connected graph glued from blocks at cut vertices has P(G) = P(B1) times
// P(Bi)/k over the other blocks. Random cycles, K4s and Petersen graphs are
// glued into graphs of about 60 vertices, with the ids shuffled.
TEST(ExactCount, SparseSixtyVertexBlockGraphsMatchTheBlockFormula) {
  std::mt19937 gen(23);
  for (int trial = 0; trial < 6; ++trial) {
    for (int32_t k : {3, 4}) {
      Edges edges;
      int32_t n = 1;
      ExactCount expected = k;
      while (n < 58) {
        const int32_t attach = std::uniform_int_distribution<int32_t>(0, n - 1)(gen);
        const int kind = std::uniform_int_distribution<int>(0, 2)(gen);
        Graph block = kind == 0   ? cycleGraph(std::uniform_int_distribution<int32_t>(3, 8)(gen))
                      : kind == 1 ? completeGraph(4)
                                  : petersenGraph();
        const ExactCount blockCount = kind == 0   ? cyclePolynomial(block.vertexCount, k)
                                      : kind == 1 ? fallingFactorial(k, 4)
                                                  : bruteForceProperColorings(block, k);
        expected = expected * (blockCount / k);
        // Vertex 0 of the block becomes `attach`; the others are new.
        auto id = [&](int32_t b) { return b == 0 ? attach : n + b - 1; };
        for (auto [a, b] : edgesOf(block)) edges.emplace_back(id(a), id(b));
        n += block.vertexCount - 1;
      }
      std::vector<int32_t> relabel(n);
      std::iota(relabel.begin(), relabel.end(), 0);
      std::shuffle(relabel.begin(), relabel.end(), gen);
      for (auto& [a, b] : edges) a = relabel[a], b = relabel[b];
      EliminationStats stats;
      EXPECT_EQ(countProperColorings(makeGraph(n, edges), k, &stats), expected)
          << "trial " << trial << " k=" << k << " n=" << n;
      EXPECT_LE(stats.width, 5);  // Petersen blocks have treewidth 4
    }
  }
}

TEST(ExactCount, SearchAgreesWithEliminationOnDenserGraphs) {
  std::mt19937 gen(8);
  for (int trial = 0; trial < 12; ++trial) {
    const int32_t n = 14;
    Edges edges;
    for (int32_t u = 0; u < n; ++u)
      for (int32_t v = u + 1; v < n; ++v)
        if (std::bernoulli_distribution(0.45)(gen)) edges.emplace_back(u, v);
    const Graph g = makeGraph(n, edges);
    for (int32_t k = 3; k <= 6; ++k)
      EXPECT_EQ(countProperColoringsBySearch(g, k), countProperColorings(g, k))
          << "trial " << trial << " k=" << k;
  }
}

TEST(ExactCount, RefusesRatherThanReturnsAWrongCount) {
  // 2^130 colourings of 130 isolated vertices do not fit in 128 bits.
  EXPECT_THROW(countProperColorings(makeGraph(130, {}), 2), std::overflow_error);
  EXPECT_EQ(countProperColorings(makeGraph(127, {}), 2), ExactCount{1} << 127);
  // K30 needs a table of 3^29 entries.
  EXPECT_THROW(countProperColorings(completeGraph(30), 3), std::length_error);
  EXPECT_THROW(countProperColoringsBySearch(cycleGraph(30), 3, 1000), std::length_error);
}

TEST(ExactCount, ProbabilityAndDecimalForm) {
  EXPECT_EQ(toDecimal(0), "0");
  EXPECT_EQ(toDecimal(ExactCount{1} << 127), "170141183460469231731687303715884105728");
  EXPECT_DOUBLE_EQ(static_cast<double>(properProbability(246, 9, 3)), 246.0 / 19683.0);
  // 3^60 does not fit in a double's mantissa; the quotient is still right.
  const ExactCount c = power(3, 60) - 1;
  EXPECT_NEAR(static_cast<double>(properProbability(c, 60, 3)), 1.0, 1e-15);
}

}  // namespace
}  // namespace tintara::testing
