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

using testing::makeGraph;
using VertexLists = std::vector<std::vector<int32_t>>;

VertexLists blockLists(const BlockDecomposition& d) {
  VertexLists lists;
  for (int32_t b = 0; b < d.blockCount(); ++b) {
    lists.emplace_back(d.blockVertices(b).begin(), d.blockVertices(b).end());
  }
  return lists;
}

// Whether g minus `removed` (-1 for none) is connected.
bool connectedWithout(const Graph& g, int32_t removed) {
  std::vector<int32_t> todo = {removed == 0 ? 1 : 0};
  std::set<int32_t> seen = {todo[0], removed};
  while (!todo.empty()) {
    const int32_t u = todo.back();
    todo.pop_back();
    for (int32_t w : g.neighbours(u)) {
      if (seen.insert(w).second) todo.push_back(w);
    }
  }
  return static_cast<int32_t>(seen.size()) == g.vertexCount + (removed < 0 ? 1 : 0);
}

// Blocks 2-connected (or bridges), in lexicographic order, each edge in
// exactly one; as many blocks as a forest of blocks needs (sum of |B| - 1
// is n less the components, so no block is split in two); and a join order
// with every block after its parent, sharing its cut vertex with it.
void expectValidDecomposition(const Graph& input) {
  const Graph g = simpleGraph(input);
  const BlockDecomposition d = decomposeBlocks(g);
  const VertexLists lists = blockLists(d);
  EXPECT_TRUE(std::is_sorted(lists.begin(), lists.end()));
  std::set<std::pair<int32_t, int32_t>> edges;
  int64_t sizesLessOne = 0, edgeEnds = 0;
  for (int32_t b = 0; b < d.blockCount(); ++b) {
    const Graph block = blockGraph(d, b);
    for (int32_t v = block.vertexCount > 2 ? 0 : -1; v < block.vertexCount; ++v) {
      EXPECT_TRUE(connectedWithout(block, v)) << "block " << b << " without " << v;
    }
    for (int32_t i = 0; i < block.vertexCount; ++i) {
      for (int32_t j : block.neighbours(i)) edges.insert({lists[b][i], lists[b][j]});
      edgeEnds += static_cast<int64_t>(block.neighbours(i).size());
    }
    sizesLessOne += block.vertexCount - 1;
  }
  EXPECT_EQ(edgeEnds, 2 * g.edgeCount);  // no edge in two blocks
  EXPECT_EQ(edges.size(), 2u * static_cast<std::size_t>(g.edgeCount));
  for (auto [u, w] : edges) EXPECT_TRUE(std::ranges::binary_search(g.neighbours(u), w));
  EXPECT_EQ(sizesLessOne, g.vertexCount - d.componentCount);
  std::vector<bool> joined(d.blockCount(), false);
  for (int32_t b : d.joinOrder) {
    joined[b] = true;
    if (d.parentBlock[b] < 0) continue;
    EXPECT_TRUE(joined[d.parentBlock[b]]) << "block " << b << " before its parent";
    for (int32_t holder : {b, d.parentBlock[b]}) {
      EXPECT_TRUE(std::ranges::binary_search(lists[holder], d.cutVertex[b]));
    }
  }
  EXPECT_EQ(std::count(joined.begin(), joined.end(), true), d.blockCount());
}

TEST(Blocks, KnownDecompositions) {
  struct Case {
    Graph graph;
    VertexLists blocks;
    std::vector<int32_t> parents, cuts;
    int32_t components, isolated;
  };
  const std::vector<Case> cases = {
      {makeGraph(0, {}), {}, {}, {}, 0, 0},
      // Block order is not the tree's order: {1, 2} hangs below {1, 3}.
      {makeGraph(4, {{0, 3}, {3, 1}, {1, 2}}),
       {{0, 3}, {1, 2}, {1, 3}},
       {-1, 2, 0},
       {-1, 1, 3},
       1,
       0},
      // A star: its centre is in every block.
      {makeGraph(4, {{2, 0}, {2, 1}, {2, 3}}),
       {{0, 2}, {1, 2}, {2, 3}},
       {-1, 0, 0},
       {-1, 2, 2},
       1,
       0},
      // A square with a tail, its edges repeated.
      {makeGraph(6, {{4, 5}, {0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 1}, {3, 4}, {5, 4}}),
       {{0, 1, 2, 3}, {3, 4}, {4, 5}},
       {-1, 0, 1},
       {-1, 3, 4},
       1,
       0},
      // A triangle, an edge and an isolated vertex.
      {makeGraph(6, {{5, 3}, {0, 2}, {2, 4}, {4, 0}}),
       {{0, 2, 4}, {3, 5}},
       {-1, -1},
       {-1, -1},
       3,
       1},
  };
  for (const auto& c : cases) {
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
  // From trees with a few cycles to one large block, and many components.
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    expectValidDecomposition(testing::randomGraph(40, 30 + 3 * static_cast<int32_t>(seed), seed));
    expectValidDecomposition(testing::randomGraph(200, 120, seed));
  }
}

TEST(Blocks, MillionDeepSearchNeedsNoCallStack) {
  // A path (10^6 - 1 bridges) and a cycle (one block) take the search 10^6
  // vertices deep.
  constexpr int32_t n = 1'000'000;
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t v = 0; v + 1 < n; ++v) edges.emplace_back(v, v + 1);
  const BlockDecomposition path = decomposeBlocks(simpleGraph(makeGraph(n, edges)));
  ASSERT_EQ(path.blockCount(), n - 1);
  EXPECT_EQ(path.parentBlock[n - 2], n - 3);
  edges.emplace_back(n - 1, 0);
  const BlockDecomposition cycle = decomposeBlocks(simpleGraph(makeGraph(n, edges)));
  ASSERT_EQ(cycle.blockCount(), 1);
  EXPECT_EQ(cycle.edgeCounts[0], n);
}

}  // namespace
}  // namespace tintara
