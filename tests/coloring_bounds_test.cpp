// The colouring bounds: a large clique below the chromatic number, a DSATUR
// colouring above it, and the renumbering of a colouring's colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "coloring/clique.h"
#include "coloring/compact_colors.h"
#include "coloring/dsatur.h"
#include "graph/graph_reader.h"
#include "graph/simple_graph.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using testing::completeGraph;
using testing::cycleGraph;
using testing::gridGraph;
using testing::makeGraph;
using testing::petersenGraph;
using testing::randomGraph;

// Distinct neighbours other than the vertex itself, from the raw lists.
std::vector<std::set<int32_t>> adjacency(const Graph& g) {
  std::vector<std::set<int32_t>> sets(g.vertexCount);
  for (int32_t u = 0; u < g.vertexCount; ++u) {
    for (int32_t w : g.neighbours(u)) {
      if (w != u) sets[u].insert(w);
    }
  }
  return sets;
}

bool isClique(const Graph& g, const std::vector<int32_t>& clique) {
  const auto adj = adjacency(g);
  for (std::size_t i = 0; i < clique.size(); ++i) {
    if (clique[i] < 0 || clique[i] >= g.vertexCount) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (!adj[clique[i]].count(clique[j])) return false;  // also catches a repeated vertex
    }
  }
  return true;
}

// Proper on every edge between distinct vertices, with colours 0..d-1, all
// used, d at most the largest number of distinct neighbours plus one.
void expectProperWithinDegreeBound(const Graph& g, const std::vector<int32_t>& colors) {
  ASSERT_EQ(static_cast<int32_t>(colors.size()), g.vertexCount);
  const auto adj = adjacency(g);
  std::size_t maxDegree = 0;
  for (int32_t u = 0; u < g.vertexCount; ++u) {
    maxDegree = std::max(maxDegree, adj[u].size());
    ASSERT_GE(colors[u], 0);
    for (int32_t w : adj[u]) ASSERT_NE(colors[u], colors[w]) << "edge " << u << "-" << w;
  }
  const int32_t used = colors.empty() ? 0 : *std::max_element(colors.begin(), colors.end()) + 1;
  EXPECT_LE(used, static_cast<int32_t>(maxDegree) + 1);
  EXPECT_EQ(std::set<int32_t>(colors.begin(), colors.end()).size(), static_cast<std::size_t>(used))
      << "colours must be 0..d-1 without gaps";
}

// The clique number by Bron-Kerbosch with pivoting, for up to 64 vertices.
int32_t cliqueNumber(const Graph& g) {
  std::vector<uint64_t> adj(g.vertexCount, 0);
  for (int32_t u = 0; u < g.vertexCount; ++u)
    for (int32_t w : g.neighbours(u))
      if (w != u) adj[u] |= uint64_t{1} << w;
  int32_t best = 0;
  auto extend = [&](auto&& self, int32_t size, uint64_t p, uint64_t x) -> void {
    if (p == 0 && x == 0) best = std::max(best, size);
    if (p == 0) return;
    const int pivot = std::countr_zero(p | x);
    for (uint64_t rest = p & ~adj[pivot]; rest != 0; rest &= rest - 1) {
      const int v = std::countr_zero(rest);
      self(self, size + 1, p & adj[v], x & adj[v]);
      p &= ~(uint64_t{1} << v);
      x |= uint64_t{1} << v;
    }
  };
  const uint64_t all = g.vertexCount == 64 ? ~uint64_t{0} : (uint64_t{1} << g.vertexCount) - 1;
  extend(extend, 0, all, 0);
  return best;
}

// Random edges with repeats (each edge twice with probability 1/4, reversed)
// and self-loops (one edge in ten).
Graph randomMultigraph(int32_t n, int32_t edges, uint32_t seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int32_t> pick(0, n - 1);
  std::vector<std::pair<int32_t, int32_t>> list;
  for (int32_t e = 0; e < edges; ++e) {
    const int32_t u = pick(engine);
    const int32_t v = engine() % 10 == 0 ? u : pick(engine);
    list.emplace_back(u, v);
    if (engine() % 4 == 0) list.emplace_back(v, u);
  }
  return makeGraph(n, list);
}

struct Case {
  std::string name;
  Graph graph;
};

std::vector<Case> smallGraphs() {
  std::vector<Case> cases = {
      {"no vertices", makeGraph(0, {})},
      {"isolated vertices", makeGraph(5, {})},
      {"only self-loops", makeGraph(3, {{0, 0}, {1, 1}, {1, 1}})},
      {"edge with loops and repeats", makeGraph(3, {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}})},
      {"K7", completeGraph(7)},
      {"odd cycle", cycleGraph(9)},
      {"grid", gridGraph(4, 5)},
      {"Petersen", petersenGraph()},
  };
  // Random graphs on which the greedy stage alone misses the clique number.
  cases.push_back({"greedy misses 1", randomGraph(48, 1152, 4)});
  cases.push_back({"greedy misses 2", randomGraph(40, 800, 10)});
  cases.push_back({"greedy misses 3", randomGraph(64, 1365, 8)});
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    const int32_t n = 16 + 8 * static_cast<int32_t>(seed);  // up to 64, for cliqueNumber
    cases.push_back({"random " + std::to_string(seed), randomGraph(n, n * n / 4, seed)});
    cases.push_back({"multigraph " + std::to_string(seed), randomMultigraph(n, n * n / 3, seed)});
  }
  return cases;
}

TEST(LargeClique, IsACliqueAndTheSearchFindsTheCliqueNumberOnSmallGraphs) {
  int32_t improved = 0;
  for (const Case& c : smallGraphs()) {
    SCOPED_TRACE(c.name);
    const int32_t omega = cliqueNumber(c.graph);
    const auto greedy = largeClique(c.graph, {.searchWork = 0});
    const auto searched = largeClique(c.graph);
    EXPECT_TRUE(isClique(c.graph, greedy));
    EXPECT_TRUE(isClique(c.graph, searched));
    EXPECT_TRUE(std::is_sorted(searched.begin(), searched.end()));
    EXPECT_EQ(static_cast<int32_t>(searched.size()), omega);
    EXPECT_LE(greedy.size(), searched.size());
    EXPECT_GE(greedy.size(), std::size_t{c.graph.vertexCount > 0});
    improved += greedy.size() < searched.size();
  }
  EXPECT_GT(improved, 0) << "no case exercises the branch and bound";
}

TEST(LargeClique, ExhaustedBudgetsStillGiveAClique) {
  const Graph g = randomMultigraph(3000, 60000, 7);
  for (CliqueBudget budget : {CliqueBudget{0, 0}, CliqueBudget{1, 1}, CliqueBudget{5000, 50}}) {
    const auto clique = largeClique(g, budget);
    EXPECT_GE(clique.size(), 2u);
    EXPECT_TRUE(isClique(g, clique));
  }
}

TEST(Dsatur, IsProperWithinMaxDegreePlusOneAndExactOnSimpleFamilies) {
  struct Family {
    Case c;
    int32_t colors;  // -1: only the bounds are known
  };
  std::vector<Family> families = {
      {{"no vertices", makeGraph(0, {})}, 0},
      {{"isolated vertices", makeGraph(4, {})}, 1},
      {{"K8", completeGraph(8)}, 8},
      {{"even cycle", cycleGraph(10)}, 2},
      {{"odd cycle", cycleGraph(11)}, 3},
      {{"grid", gridGraph(6, 7)}, 2},
      {{"bipartite components", makeGraph(7, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}})}, 2},
  };
  for (const Case& c : smallGraphs()) families.push_back({c, -1});
  families.push_back({{"large sparse", randomMultigraph(20000, 100000, 3)}, -1});
  for (const auto& [c, colors] : families) {
    SCOPED_TRACE(c.name);
    const auto coloring = dsaturColoring(c.graph);
    expectProperWithinDegreeBound(c.graph, coloring);
    const auto used = std::set<int32_t>(coloring.begin(), coloring.end()).size();
    if (colors >= 0) {
      EXPECT_EQ(used, static_cast<std::size_t>(colors));
    }
  }
}

TEST(CompactColors, RenumbersByFirstAppearanceWithoutGaps) {
  struct Row {
    std::vector<int32_t> in, out;
    int32_t count;
  };
  const std::vector<Row> rows = {
      {{}, {}, 0},
      {{7}, {0}, 1},
      {{0, 1, 2}, {0, 1, 2}, 3},
      {{5, 2, 5, 9, 2}, {0, 1, 0, 2, 1}, 3},
      {{3, 3, 0, 1000, 0}, {0, 0, 1, 2, 1}, 3},
  };
  for (Row row : rows) {
    auto colors = row.in;
    EXPECT_EQ(compactColors(colors), row.count);
    EXPECT_EQ(colors, row.out);
  }
}

TEST(CompactColors, KeepsAProperColouringProper) {
  const Graph g = randomGraph(300, 3000, 11);
  auto coloring = dsaturColoring(g);
  const int32_t used = *std::max_element(coloring.begin(), coloring.end()) + 1;
  for (int32_t& c : coloring) c = 3 * (used - c) + 1;  // gaps, and the order reversed
  EXPECT_EQ(compactColors(coloring), used);
  expectProperWithinDegreeBound(g, coloring);
}

TEST(SimpleGraph, SortsMergesRepeatsAndDropsSelfLoops) {
  const Graph g = makeGraph(4, {{2, 0}, {0, 0}, {0, 2}, {1, 0}, {3, 3}, {2, 1}, {0, 2}});
  const Graph s = simpleGraph(g);
  EXPECT_EQ(s.vertexCount, 4);
  EXPECT_EQ(s.edgeCount, 3);
  EXPECT_EQ(testing::neighbourLists(s), (testing::NeighbourLists{{1, 2}, {0, 2}, {0, 1}, {}}));
}

// The DIMACS benchmarks and the bundled examples: the clique never exceeds
// the chromatic number and DSATUR never goes below it; where the clique
// meets it the bisection starts at its answer.
TEST(ColoringBounds, BracketTheChromaticNumberOfTheExamples) {
  const std::string dir = std::string(TINTARA_SOURCE_DIR "/examples/");
  std::map<std::string, int32_t> chromatic = {
      {"petersen.txt", 3}, {"groetzsch.txt", 4}, {"mycielski5.txt", 5},
      {"queen5_5.col", 5}, {"grid_8x8.txt", 2},
  };
  std::ifstream table(dir + "dimacs/best-known.tsv");
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string file;
    int32_t n = 0, edges = 0, best = 0;
    fields >> file >> n >> edges >> best;
    chromatic["dimacs/" + file] = best;
  }
  ASSERT_EQ(chromatic.size(), 17u);
  const std::set<std::string> cliqueMeetsIt = {
      "dimacs/fpsol2.i.1.col", "dimacs/le450_15a.col", "dimacs/le450_25a.col",
      "dimacs/miles1000.col",  "dimacs/miles500.col",  "dimacs/mulsol.i.1.col",
      "dimacs/school1.col",    "queen5_5.col",         "grid_8x8.txt"};
  for (const auto& [file, chi] : chromatic) {
    SCOPED_TRACE(file);
    const Graph g = readGraph(dir + file, UINT64_MAX);
    const auto clique = largeClique(g);
    const auto coloring = dsaturColoring(g);
    EXPECT_TRUE(isClique(g, clique));
    expectProperWithinDegreeBound(g, coloring);
    const int32_t used = *std::max_element(coloring.begin(), coloring.end()) + 1;
    EXPECT_LE(static_cast<int32_t>(clique.size()), chi);
    EXPECT_GE(used, chi);
    if (cliqueMeetsIt.count(file)) {
      EXPECT_EQ(static_cast<int32_t>(clique.size()), chi);
    }
  }
}

}  // namespace
}  // namespace tintara
