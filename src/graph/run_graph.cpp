#include "graph/run_graph.h"

#include "graph/graph_reader.h"
#include "graph/self_loop.h"

namespace tintara {

Graph readRunGraph(const std::string& path, const RunFootprint& run) {
  Graph graph = readGraph(path, usableMemoryBytes(), [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, run, usableMemory());
  });
  refuseSelfLoops(graph);
  return graph;
}

}  // namespace tintara
