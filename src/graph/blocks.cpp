#include "graph/blocks.h"

#include <algorithm>

namespace tintara {
namespace {

// What the depth-first search leaves behind. Blocks are numbered here in the
// order the search completes them ("found" numbers), which a counting sort
// turns into block order afterwards.
struct Search {
  std::vector<int32_t> discovery;   // discovery time of every vertex
  std::vector<int32_t> owner;       // the found block in which v is not the head; -1 for a root
  std::vector<int32_t> head;        // each found block's vertex nearest the search's root
  std::vector<int32_t> firstFound;  // the first found block of every component with edges
  int32_t componentCount = 0;
  int32_t isolatedVertices = 0;
};

// Hopcroft-Tarjan with an explicit stack. The chain of parent[] links is the
// call stack of the recursive version and next[u] its loop position in u's
// list; `stack` holds the vertices not yet assigned to a block. When the
// search returns from u to its parent p and nothing below u reaches above p
// (low[u] >= disc[p]), the vertices stacked from u onwards together with p
// form a block whose head is p. In a simple graph the one edge back to the
// parent is the tree edge, so skipping w == parent[u] skips exactly it.
Search depthFirstSearch(const Graph& g) {
  const int32_t n = g.vertexCount;
  Search s;
  s.discovery.assign(n, -1);
  s.owner.assign(n, -1);
  std::vector<int32_t> low(n), parent(n, -1);
  std::vector<uint32_t> next(n);
  std::vector<int32_t> stack;
  auto& disc = s.discovery;
  int32_t time = 0;
  for (int32_t root = 0; root < n; ++root) {
    if (disc[root] != -1) continue;
    ++s.componentCount;
    disc[root] = low[root] = time++;
    if (g.neighbours(root).empty()) {
      ++s.isolatedVertices;
      continue;
    }
    s.firstFound.push_back(static_cast<int32_t>(s.head.size()));
    next[root] = g.neighbourStart[root];
    stack.push_back(root);
    int32_t u = root;
    while (u != -1) {
      if (next[u] < g.neighbourStart[u + 1]) {
        const int32_t w = g.neighbourList[next[u]++];
        if (disc[w] == -1) {
          parent[w] = u;
          disc[w] = low[w] = time++;
          next[w] = g.neighbourStart[w];
          stack.push_back(w);
          u = w;
        } else if (w != parent[u]) {
          low[u] = std::min(low[u], disc[w]);
        }
        continue;
      }
      const int32_t p = parent[u];
      if (p != -1) {
        low[p] = std::min(low[p], low[u]);
        if (low[u] >= disc[p]) {
          const auto found = static_cast<int32_t>(s.head.size());
          s.head.push_back(p);
          int32_t x = -1;
          do {
            x = stack.back();
            stack.pop_back();
            s.owner[x] = found;
          } while (x != u);
        }
      }
      u = p;
    }
    stack.pop_back();  // the root, which heads blocks but is owned by none
  }
  return s;
}

// Stable counting sort of `items` by key(item), keys in [0, keyCount).
template <class Key>
std::vector<int32_t> countingSort(const std::vector<int32_t>& items, int32_t keyCount, Key key) {
  std::vector<uint32_t> start(static_cast<std::size_t>(keyCount) + 1, 0);
  for (int32_t item : items) ++start[key(item) + 1];
  for (int32_t k = 0; k < keyCount; ++k) start[k + 1] += start[k];
  std::vector<int32_t> sorted(items.size());
  for (int32_t item : items) sorted[start[key(item)]++] = item;
  return sorted;
}

}  // namespace

namespace {

// How the search's blocks are numbered in the result: each vertex's local
// id in the block that owns it, each block's head's local id, and each
// block's rank in block order.
struct Numbering {
  std::vector<int32_t> local;
  std::vector<int32_t> ownedCount;
  std::vector<int32_t> headLocal;
  std::vector<int32_t> rank;
  const Search* search = nullptr;

  int32_t localOf(int32_t x, int32_t e) const {
    return search->owner[x] == e ? local[x] : headLocal[e];
  }
};

// Local ids and block order. A block's members other than its head are the
// vertices it owns; going through the vertices in ascending order, a
// member's local id is the number of members before it, and the head's is
// the number of owned members below it. The same pass finds each block's
// two smallest owned members, which with the head give its first two
// vertices. Block order is lexicographic in the vertex lists, that is by
// first vertex and then by second (two blocks share at most one vertex), by
// a radix sort of the found numbers on the second vertex and then the first.
Numbering numberBlocks(const Search& s, int32_t n) {
  const auto blockCount = static_cast<int32_t>(s.head.size());
  const auto& owner = s.owner;
  const auto& head = s.head;
  Numbering number;
  number.search = &s;
  number.local.assign(n, 0);
  number.ownedCount.assign(blockCount, 0);
  number.headLocal.assign(blockCount, 0);
  std::vector<int32_t> firstOwned(blockCount, -1), secondOwned(blockCount, -1);
  for (int32_t v = 0; v < n; ++v) {
    const int32_t e = owner[v];
    if (e < 0) continue;
    number.local[v] = number.ownedCount[e]++ + (head[e] < v ? 1 : 0);
    if (v < head[e]) ++number.headLocal[e];
    if (firstOwned[e] < 0) {
      firstOwned[e] = v;
    } else if (secondOwned[e] < 0) {
      secondOwned[e] = v;
    }
  }
  std::vector<int32_t> first(blockCount), second(blockCount), found(blockCount);
  for (int32_t e = 0; e < blockCount; ++e) {
    found[e] = e;
    if (head[e] < firstOwned[e]) {
      first[e] = head[e];
      second[e] = firstOwned[e];
    } else {
      first[e] = firstOwned[e];
      second[e] = secondOwned[e] >= 0 && secondOwned[e] < head[e] ? secondOwned[e] : head[e];
    }
  }
  const auto byFirst = countingSort(countingSort(found, n, [&](int32_t e) { return second[e]; }), n,
                                    [&](int32_t e) { return first[e]; });
  number.rank.resize(blockCount);
  for (int32_t r = 0; r < blockCount; ++r) number.rank[byFirst[r]] = r;
  return number;
}

// The vertex lists, in block order.
void fillVertexLists(const Search& s, const Numbering& number, int32_t n, BlockDecomposition& d) {
  const auto blockCount = static_cast<int32_t>(s.head.size());
  d.vertexStart.assign(static_cast<std::size_t>(blockCount) + 1, 0);
  for (int32_t e = 0; e < blockCount; ++e) {
    d.vertexStart[number.rank[e] + 1] = number.ownedCount[e] + 1;
  }
  for (int32_t r = 0; r < blockCount; ++r) d.vertexStart[r + 1] += d.vertexStart[r];
  d.vertices.resize(d.vertexStart[blockCount]);
  for (int32_t v = 0; v < n; ++v) {
    if (s.owner[v] >= 0) d.vertices[d.vertexStart[number.rank[s.owner[v]]] + number.local[v]] = v;
  }
  for (int32_t e = 0; e < blockCount; ++e) {
    d.vertices[d.vertexStart[number.rank[e]] + number.headLocal[e]] = s.head[e];
  }
}

// The blocks' lists. Every edge lies in the block owned by its end found
// later: a tree edge p-v in v's block, and a back edge from x up to an
// ancestor in x's block, since it closes a cycle with x's tree edge.
// Reading the lists in ascending order of vertex and of neighbour writes
// every local list in ascending order, local ids following original ones.
void fillLocalLists(const Graph& g, const Search& s, const Numbering& number,
                    BlockDecomposition& d) {
  const int32_t n = g.vertexCount;
  auto blockOf = [&](int32_t u, int32_t w) {
    return s.owner[s.discovery[u] > s.discovery[w] ? u : w];
  };
  auto slotOf = [&](int32_t u, int32_t e) {
    return d.vertexStart[number.rank[e]] + number.localOf(u, e);
  };
  d.edgeCounts.assign(s.head.size(), 0);
  d.localStart.assign(d.vertices.size() + 1, 0);
  for (int32_t u = 0; u < n; ++u) {
    for (int32_t w : g.neighbours(u)) {
      const int32_t e = blockOf(u, w);
      ++d.localStart[slotOf(u, e) + 1];
      if (u < w) ++d.edgeCounts[number.rank[e]];
    }
  }
  for (std::size_t slot = 0; slot < d.vertices.size(); ++slot) {
    d.localStart[slot + 1] += d.localStart[slot];
  }
  d.localNeighbours.resize(d.localStart.back());
  std::vector<uint32_t> fill(d.localStart.begin(), d.localStart.end() - 1);
  for (int32_t u = 0; u < n; ++u) {
    for (int32_t w : g.neighbours(u)) {
      const int32_t e = blockOf(u, w);
      d.localNeighbours[fill[slotOf(u, e)]++] = number.localOf(w, e);
    }
  }
}

// The block-cut tree. A block headed by a vertex other than a search root
// hangs below the block owning its head. The blocks headed by a root all
// share it: the first of them in block order is the component's root, the
// others hang below it. The search completes a block after every block
// below it, so completion order reversed puts parents first.
void linkBlocks(const Search& s, const Numbering& number, BlockDecomposition& d) {
  const auto blockCount = static_cast<int32_t>(s.head.size());
  const auto& rank = number.rank;
  d.parentBlock.assign(blockCount, -1);
  d.cutVertex.assign(blockCount, -1);
  d.joinOrder.reserve(blockCount);
  for (std::size_t c = 0; c < s.firstFound.size(); ++c) {
    const int32_t begin = s.firstFound[c];
    const int32_t end = c + 1 < s.firstFound.size() ? s.firstFound[c + 1] : blockCount;
    int32_t root = begin;
    for (int32_t e = begin; e < end; ++e) {
      if (rank[e] < rank[root]) root = e;
    }
    d.joinOrder.push_back(rank[root]);
    for (int32_t e = end; e-- > begin;) {
      if (e == root) continue;
      const int32_t h = s.head[e];
      d.parentBlock[rank[e]] = rank[s.owner[h] >= 0 ? s.owner[h] : root];
      d.cutVertex[rank[e]] = h;
      d.joinOrder.push_back(rank[e]);
    }
  }
}

}  // namespace

BlockDecomposition decomposeBlocks(const Graph& g) {
  const int32_t n = g.vertexCount;
  BlockDecomposition d;
  d.vertexCount = n;
  d.vertexStart.assign(1, 0);
  d.localStart.assign(1, 0);
  if (n == 0) return d;
  const Search s = depthFirstSearch(g);
  d.componentCount = s.componentCount;
  d.isolatedVertices = s.isolatedVertices;
  const Numbering number = numberBlocks(s, n);
  fillVertexLists(s, number, n, d);
  fillLocalLists(g, s, number, d);
  linkBlocks(s, number, d);
  return d;
}

Graph blockGraph(const BlockDecomposition& blocks, int32_t b) {
  Graph g;
  g.vertexCount = blocks.blockSize(b);
  g.edgeCount = blocks.edgeCounts[b];
  const uint32_t firstSlot = blocks.vertexStart[b];
  const uint32_t base = blocks.localStart[firstSlot];
  g.neighbourStart.resize(static_cast<std::size_t>(g.vertexCount) + 1);
  for (int32_t i = 0; i <= g.vertexCount; ++i) {
    g.neighbourStart[i] = blocks.localStart[firstSlot + i] - base;
  }
  g.neighbourList.assign(
      blocks.localNeighbours.begin() + base,
      blocks.localNeighbours.begin() + blocks.localStart[firstSlot + g.vertexCount]);
  return g;
}

}  // namespace tintara
