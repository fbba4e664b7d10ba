// The problem instance: an undirected graph as one neighbour list per vertex.
//
// neighbours(u) lists the other end of every edge line that names u, in file
// order. Nothing is merged or sorted: an edge written twice appears twice at
// both ends, and a self-loop u-u puts u twice into u's list. So the lists
// hold 2 * edgeCount entries in all. Read once, never changed afterwards.
//
// The lists are stored end to end in one array, u's from neighbourStart[u]
// up to neighbourStart[u + 1]: a sweep over the vertices in random order then
// finds a list with one lookup instead of two, and large graphs keep their
// lists together in memory rather than in one heap block per vertex.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tintara {

struct Graph {
  int32_t vertexCount = 0;
  int32_t edgeCount = 0;
  // vertexCount + 1 offsets into neighbourList (none for a default Graph).
  // 32 bits suffice: there are at most 2 * INT32_MAX entries.
  std::vector<uint32_t> neighbourStart;
  std::vector<int32_t> neighbourList;
  // The first vertex id of the instance file: 0, or 1 for a DIMACS file.
  // Messages and saved colourings add it to show the file's own ids.
  int32_t idBase = 0;

  std::span<const int32_t> neighbours(int32_t u) const {
    return {neighbourList.data() + neighbourStart[u], neighbourList.data() + neighbourStart[u + 1]};
  }
};

// Builds graph's neighbour lists for graph.vertexCount vertices from `edges`
// in order: each edge, whose ends (u, v) are given by ends(edge), appends v
// to u's list and u to v's. Every end must lie in [0, vertexCount). Throws
// std::length_error when the lists would outgrow 32-bit offsets.
template <class Edges, class Ends>
void setNeighbours(Graph& graph, const Edges& edges, Ends ends) {
  const auto n = static_cast<std::size_t>(graph.vertexCount);
  if (edges.size() > UINT32_MAX / 2) throw std::length_error("too many edges for the graph");
  auto& start = graph.neighbourStart;
  start.assign(n + 1, 0);
  for (const auto& edge : edges) {
    const auto [u, v] = ends(edge);
    ++start[u + 1];
    ++start[v + 1];
  }
  for (std::size_t u = 0; u < n; ++u) start[u + 1] += start[u];
  graph.neighbourList.resize(start[n]);
  // start[u] serves as u's fill position, which ends at u + 1's start;
  // shifting the array by one afterwards restores every start.
  for (const auto& edge : edges) {
    const auto [u, v] = ends(edge);
    graph.neighbourList[start[u]++] = v;
    graph.neighbourList[start[v]++] = u;
  }
  for (std::size_t u = n; u-- > 1;) start[u] = start[u - 1];
  start[0] = 0;
}

}  // namespace tintara
