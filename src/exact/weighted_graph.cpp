#include "exact/weighted_graph.h"

namespace tintara {

WeightedGraph plainWeighted(const Graph& simple) {
  WeightedGraph weighted;
  weighted.vertexCount = simple.vertexCount;
  for (int32_t u = 0; u < simple.vertexCount; ++u) {
    for (int32_t v : simple.neighbours(u)) {
      if (u < v) weighted.edges.push_back(WeightedEdge{u, v, EdgeFactor{}});
    }
  }
  return weighted;
}

}  // namespace tintara
