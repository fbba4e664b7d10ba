#include "graph/simple_graph.h"

#include <algorithm>

namespace tintara {

Graph simpleGraph(const Graph& graph) {
  const int32_t n = graph.vertexCount;
  Graph simple;
  simple.vertexCount = n;
  simple.idBase = graph.idBase;
  if (graph.neighbourStart.empty()) return simple;
  // Sort every list in a copy, then keep each list's distinct entries other
  // than its own vertex, packed to the front; the starts shrink to match.
  simple.neighbourList = graph.neighbourList;
  simple.neighbourStart.assign(static_cast<std::size_t>(n) + 1, 0);
  auto& list = simple.neighbourList;
  uint32_t out = 0;
  for (int32_t u = 0; u < n; ++u) {
    const auto first = list.begin() + graph.neighbourStart[u];
    const auto last = list.begin() + graph.neighbourStart[u + 1];
    std::sort(first, last);
    int32_t previous = -1;  // the last entry read; writes never overtake the reads
    for (auto it = first; it != last; ++it) {
      const int32_t w = *it;
      if (w != u && w != previous) list[out++] = w;
      previous = w;
    }
    simple.neighbourStart[u + 1] = out;
  }
  list.resize(out);
  list.shrink_to_fit();
  simple.edgeCount = static_cast<int32_t>(out / 2);
  return simple;
}

}  // namespace tintara
