#include "graph/self_loop.h"

#include <string>

#include "process/failures.h"

namespace tintara {

std::optional<int32_t> selfLoopVertex(const Graph& graph) {
  for (int32_t v = 0; v < graph.vertexCount; ++v) {
    for (int32_t w : graph.neighbours(v)) {
      if (w == v) return v;
    }
  }
  return std::nullopt;
}

void refuseSelfLoops(const Graph& graph) {
  if (auto v = selfLoopVertex(graph)) {
    throw InputError(selfLoopMessage(std::to_string(static_cast<int64_t>(*v) + graph.idBase)));
  }
}

std::string selfLoopMessage(const std::string& vertex) {
  return "Vertex " + vertex + " has a self-loop, so no proper coloring exists";
}

}  // namespace tintara
