#include "coloring/dsatur.h"

#include <algorithm>

#include "graph/simple_graph.h"

namespace tintara {
std::vector<int32_t> dsaturColoring(const Graph& graph) {
  const Graph g = simpleGraph(graph);
  const int32_t n = g.vertexCount;
  std::vector<int32_t> color(static_cast<std::size_t>(n), -1);
  auto degree = [&](int32_t v) { return static_cast<int32_t>(g.neighbours(v).size()); };

  // Each vertex's neighbour colours: an open-addressing hash set in twice
  // as many slots as it has neighbours, enough since it never holds more
  // colours than that. A bitset of all colours per vertex would take
  // n * (maxDegree + 1) bits, quadratic on dense graphs.
  std::vector<int32_t> neighbourColors(2 * g.neighbourList.size(), -1);
  auto addNeighbourColor = [&](int32_t v, int32_t c) {  // true when c is new to v
    const std::size_t first = 2 * std::size_t{g.neighbourStart[v]};
    const std::size_t slots = 2 * std::size_t{g.neighbourStart[v + 1]} - first;
    std::size_t i = (static_cast<uint32_t>(c) * std::size_t{2654435761u}) % slots;
    for (;; i = i + 1 == slots ? 0 : i + 1) {
      int32_t& slot = neighbourColors[first + i];
      if (slot == c) return false;
      if (slot < 0) {
        slot = c;
        return true;
      }
    }
  };

  // The static part of the order: rank 0 is the vertex of highest degree,
  // smallest id first among equals (a counting sort by degree).
  int32_t maxDegree = 0;
  for (int32_t v = 0; v < n; ++v) maxDegree = std::max(maxDegree, degree(v));
  std::vector<int32_t> byRank(static_cast<std::size_t>(n));
  {
    std::vector<int32_t> next(static_cast<std::size_t>(maxDegree) + 2, 0);
    for (int32_t v = 0; v < n; ++v) ++next[maxDegree - degree(v) + 1];
    for (int32_t d = 0; d <= maxDegree; ++d) next[d + 1] += next[d];
    for (int32_t v = 0; v < n; ++v) byRank[next[maxDegree - degree(v)]++] = v;
  }

  // A max-heap of keys saturation * 2^32 + (2^32 - 1 - rank): one integer
  // comparison orders by saturation, then rank. Entries go stale when their
  // vertex is coloured or its saturation grows past theirs, and are skipped
  // when they surface: lazy deletion instead of a decrease-key structure.
  // At most n + 2m entries.
  std::vector<int32_t> saturation(static_cast<std::size_t>(n), 0);
  std::vector<int32_t> rank(static_cast<std::size_t>(n));
  std::vector<uint64_t> heap(static_cast<std::size_t>(n));
  for (int32_t r = 0; r < n; ++r) {
    rank[byRank[r]] = r;
    heap[r] = UINT32_MAX - static_cast<uint32_t>(r);  // descending: a heap already
  }
  auto key = [&](int32_t v) {
    return uint64_t{static_cast<uint32_t>(saturation[v])} << 32 |
           (UINT32_MAX - static_cast<uint32_t>(rank[v]));
  };

  // usedBy[c] == u marks colour c as taken by a neighbour of u.
  std::vector<int32_t> usedBy(static_cast<std::size_t>(maxDegree) + 1, -1);
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end());
    const uint64_t top = heap.back();
    heap.pop_back();
    const int32_t u = byRank[UINT32_MAX - static_cast<uint32_t>(top)];
    if (color[u] >= 0 || top != key(u)) continue;
    for (int32_t w : g.neighbours(u)) {
      if (color[w] >= 0) usedBy[color[w]] = u;
    }
    int32_t c = 0;
    while (usedBy[c] == u) ++c;
    color[u] = c;
    for (int32_t w : g.neighbours(u)) {
      if (color[w] >= 0 || !addNeighbourColor(w, c)) continue;
      ++saturation[w];
      heap.push_back(key(w));
      std::push_heap(heap.begin(), heap.end());
    }
  }
  return color;
}

}  // namespace tintara
