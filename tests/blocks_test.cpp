// The block decomposition: blocks, their order and graphs, the block-cut
// tree, and a search depth far beyond any call stack.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "graph/blocks.h"
#include "graph/simple_graph.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using testing::completeGraph;
using testing::cycleGraph;
using testing::gridGraph;
using testing::makeGraph;
using testing::neighbourLists;
using testing::randomGraph;
using VertexLists = std::vector<std::vector<int32_t>>;

VertexLists blockLists(const BlockDecomposition& d) {
  VertexLists lists;
  for (int32_t b = 0; b < d.blockCount(); ++b) {
    const auto v = d.blockVertices(b);
    lists.emplace_back(v.begin(), v.end());
  }
  return lists;
}

// Whether the graph stays connected without `removed` (-1: remove nothing).
bool connectedWithout(const Graph& g, int32_t removed) {
  const int32_t start = removed == 0 ? 1 : 0;
  if (start >= g.vertexCount) return true;
  std::vector<bool> seen(g.vertexCount, false);
  std::vector<int32_t> todo = {start};
  seen[start] = true;
  int32_t reached = 1;
  while (!todo.empty()) {
    const int32_t u = todo.back();
    todo.pop_back();
    for (int32_t w : g.neighbours(u)) {
      if (w == removed || seen[w]) continue;
      seen[w] = true;
      ++reached;
      todo.push_back(w);
    }
  }
  return reached == g.vertexCount - (removed >= 0 ? 1 : 0);
}

// Everything the decomposition promises, checked against the graph:
// blocks 2-connected (or bridges) with their induced edges, each edge in
// exactly one block, block order, and a block-cut tree whose join order puts
// parents first.
void expectValidDecomposition(const Graph& input) {
  const Graph g = simpleGraph(input);
  const BlockDecomposition d = decomposeBlocks(g);
  const VertexLists lists = blockLists(d);
  EXPECT_TRUE(std::is_sorted(lists.begin(), lists.end()));
  std::set<std::pair<int32_t, int32_t>> covered;
  int64_t edgesInBlocks = 0;
  for (int32_t b = 0; b < d.blockCount(); ++b) {
    const auto vertices = d.blockVertices(b);
    const Graph block = blockGraph(d, b);
    ASSERT_GE(block.vertexCount, 2);
    ASSERT_TRUE(std::is_sorted(vertices.begin(), vertices.end()));
    EXPECT_TRUE(connectedWithout(block, -1));
    if (block.vertexCount > 2) {
      for (int32_t v = 0; v < block.vertexCount; ++v) EXPECT_TRUE(connectedWithout(block, v));
    }
    // The block's graph is the induced subgraph, in local ids.
    int32_t induced = 0;
    for (int32_t i = 0; i < block.vertexCount; ++i) {
      for (int32_t j : block.neighbours(i)) {
        EXPECT_TRUE(covered.insert({vertices[i], vertices[j]}).second) << "edge in two blocks";
      }
      for (int32_t w : g.neighbours(vertices[i])) {
        induced += std::binary_search(vertices.begin(), vertices.end(), w) ? 1 : 0;
      }
    }
    EXPECT_EQ(induced, 2 * block.edgeCount);
    edgesInBlocks += block.edgeCount;
  }
  EXPECT_EQ(edgesInBlocks, g.edgeCount);
  // Blocks and cut vertices form a forest: per component, the blocks'
  // sizes less one add up to its vertices less one, so over the graph
  // sum(|B| - 1) = n - components.
  int64_t sizesLessOne = 0;
  for (int32_t b = 0; b < d.blockCount(); ++b) sizesLessOne += d.blockSize(b) - 1;
  EXPECT_EQ(sizesLessOne, g.vertexCount - d.componentCount);
  std::vector<bool> joined(d.blockCount(), false);
  ASSERT_EQ(static_cast<int32_t>(d.joinOrder.size()), d.blockCount());
  for (int32_t b : d.joinOrder) {
    ASSERT_FALSE(joined[b]);
    joined[b] = true;
    const int32_t parent = d.parentBlock[b];
    if (parent < 0) {
      EXPECT_EQ(d.cutVertex[b], -1);
      continue;
    }
    EXPECT_TRUE(joined[parent]) << "block " << b << " before its parent";
    for (int32_t owner : {b, parent}) {
      const auto v = d.blockVertices(owner);
      EXPECT_TRUE(std::binary_search(v.begin(), v.end(), d.cutVertex[b]));
    }
  }
}

TEST(Blocks, KnownDecompositions) {
  struct Case {
    std::string name;
    Graph graph;
    VertexLists blocks;
    std::vector<int32_t> parents;
    std::vector<int32_t> cuts;
    int32_t components;
    int32_t isolated;
  };
  const std::vector<Case> cases = {
      {"no vertices", makeGraph(0, {}), {}, {}, {}, 0, 0},
      {"isolated vertices", makeGraph(3, {}), {}, {}, {}, 3, 3},
      {"one edge", makeGraph(2, {{1, 0}}), {{0, 1}}, {-1}, {-1}, 1, 0},
      // Lexicographic block order is not the tree's order: {1, 2} hangs
      // below {1, 3}, which comes after it.
      {"path 0-3-1-2",
       makeGraph(4, {{0, 3}, {3, 1}, {1, 2}}),
       {{0, 3}, {1, 2}, {1, 3}},
       {-1, 2, 0},
       {-1, 1, 3},
       1,
       0},
      {"bowtie at 2",
       makeGraph(5, {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 4}, {4, 2}}),
       {{0, 1, 2}, {2, 3, 4}},
       {-1, 0},
       {-1, 2},
       1,
       0},
      {"star, centre 2",
       makeGraph(4, {{2, 0}, {2, 1}, {2, 3}}),
       {{0, 2}, {1, 2}, {2, 3}},
       {-1, 0, 0},
       {-1, 2, 2},
       1,
       0},
      {"square with a tail, repeated edges",
       makeGraph(6, {{4, 5}, {0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 1}, {3, 4}, {5, 4}}),
       {{0, 1, 2, 3}, {3, 4}, {4, 5}},
       {-1, 0, 1},
       {-1, 3, 4},
       1,
       0},
      {"two components and an isolated vertex",
       makeGraph(6, {{5, 3}, {0, 2}, {2, 4}, {4, 0}}),
       {{0, 2, 4}, {3, 5}},
       {-1, -1},
       {-1, -1},
       3,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const BlockDecomposition d = decomposeBlocks(simpleGraph(c.graph));
    EXPECT_EQ(blockLists(d), c.blocks);
    EXPECT_EQ(d.parentBlock, c.parents);
    EXPECT_EQ(d.cutVertex, c.cuts);
    EXPECT_EQ(d.componentCount, c.components);
    EXPECT_EQ(d.isolatedVertices, c.isolated);
    expectValidDecomposition(c.graph);
  }
}

TEST(Blocks, RandomGraphsDecomposeValidly) {
  // Sparse graphs with many bridges and cut vertices, denser ones with a
  // few large blocks, and many components.
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    expectValidDecomposition(randomGraph(40, 30 + 3 * static_cast<int32_t>(seed), seed));
    expectValidDecomposition(randomGraph(200, 120, seed));
  }
}

TEST(Blocks, OneBlockGraphComesBackAsItself) {
  for (const Graph& g : {gridGraph(4, 6), cycleGraph(7), completeGraph(5), testing::petersenGraph(),
                         makeGraph(3, {{0, 1}, {1, 2}, {2, 0}, {1, 0}, {2, 1}})}) {
    const Graph simple = simpleGraph(g);
    const BlockDecomposition d = decomposeBlocks(simple);
    ASSERT_EQ(d.blockCount(), 1);
    const Graph block = blockGraph(d, 0);
    EXPECT_EQ(neighbourLists(block), neighbourLists(simple));
    EXPECT_EQ(block.edgeCount, simple.edgeCount);
  }
}

TEST(Blocks, MillionDeepSearchNeedsNoCallStack) {
  // A path (10^6 - 1 bridges) and a cycle (one block): both make the
  // search go 10^6 vertices deep.
  constexpr int32_t n = 1'000'000;
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t v = 0; v + 1 < n; ++v) edges.emplace_back(v, v + 1);
  const BlockDecomposition path = decomposeBlocks(simpleGraph(makeGraph(n, edges)));
  ASSERT_EQ(path.blockCount(), n - 1);
  EXPECT_EQ(path.parentBlock[n - 2], n - 3);
  EXPECT_EQ(path.cutVertex[n - 2], n - 2);
  edges.emplace_back(n - 1, 0);
  const BlockDecomposition cycle = decomposeBlocks(simpleGraph(makeGraph(n, edges)));
  ASSERT_EQ(cycle.blockCount(), 1);
  EXPECT_EQ(cycle.edgeCounts[0], n);
}

}  // namespace
}  // namespace tintara
