// Small graphs built in code, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "graph/graph.h"

namespace tintara::testing {

// A Graph with n vertices and the given edges, neighbour lists in edge order (as
// the reader would build it from edge lines in that order).
Graph makeGraph(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges);

// Every vertex's neighbour list, for comparisons in tests.
using NeighbourLists = std::vector<std::vector<int32_t>>;
NeighbourLists neighbourLists(const Graph& graph);

Graph cycleGraph(int32_t n);
Graph completeGraph(int32_t n);
Graph gridGraph(int32_t rows, int32_t cols);
// The side x side torus (a grid whose rows and columns close into cycles),
// its vertices numbered from `first` row by row: one block, and from side
// 8 on too wide for exact elimination at 3 colours.
std::vector<std::pair<int32_t, int32_t>> torusEdges(int32_t side, int32_t first = 0);
Graph petersenGraph();
// Hub 0 joined to every vertex of the cycle 1..spokes.
Graph wheelGraph(int32_t spokes);
// The Groetzsch graph, the Mycielskian of the 5-cycle: cycle 0..4, shadows
// 5..9 joined to their cycle vertex's neighbours, apex 10 joined to every
// shadow. 11 vertices, 20 edges, chromatic number 4.
std::vector<std::pair<int32_t, int32_t>> groetzschEdges();
Graph groetzschGraph();

// Instance-file text for a graph: a p line, then one e line per edge.
std::string instanceText(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges);

// The number of proper k-colourings, by enumerating all k^n colourings.
uint64_t bruteForceProperColorings(const Graph& graph, int32_t k);

// A graph on n vertices with `edges` edges between distinct vertices drawn
// uniformly (repeats possible), from a fixed seed.
Graph randomGraph(int32_t n, int32_t edges, uint32_t seed);

// A Leighton graph: n vertices in k planted colour classes (v in class v
// mod k), every edge inside a planted clique of one vertex from each of j
// distinct classes, the edges shared equally among the sizes j = k down to
// 3 and cliques of 2 topping them up to `edges` distinct edges. So k
// colours suffice, and a clique of k needs them. From a fixed seed.
Graph leightonGraph(int32_t n, int32_t k, int32_t edges, uint32_t seed);

}  // namespace tintara::testing
