// The problem instance: an undirected graph as one neighbour list per vertex.
//
// adjacency[u] lists the other end of every edge line that names u, in file
// order. Nothing is merged or sorted: an edge written twice appears twice at
// both ends, and a self-loop u-u puts u twice into adjacency[u]. So the lists
// hold 2 * edgeCount entries in all. Read once, never changed afterwards.
#pragma once

#include <cstdint>
#include <vector>

namespace tintara {

struct Graph {
  int32_t vertexCount = 0;
  int32_t edgeCount = 0;
  std::vector<std::vector<int32_t>> adjacency;
  // The first vertex id of the instance file: 0, or 1 for a DIMACS file.
  // Messages and saved colourings add it to show the file's own ids.
  int32_t idBase = 0;
};

}  // namespace tintara
