// A proper colouring by Brelaz's DSATUR: an upper bound on the chromatic
// number.
//
// Repeatedly colours the uncoloured vertex with the most distinct colours
// among its neighbours (its saturation), ties going to the most distinct
// neighbours, then to the smallest id, with the smallest colour none of its
// neighbours has. Deterministic. Repeated edges count once and self-loops
// are ignored: the colouring is proper on every edge between two distinct
// vertices (a graph with a self-loop has no proper colouring at all).
//
// The colours are 0..d-1, each used, with d <= maximum degree + 1; d is 2
// for a bipartite graph with an edge, and the size of the clique for a
// complete graph. O((n + m) log(n + m)) time and O(n + m) memory.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph.h"

namespace tintara {

std::vector<int32_t> dsaturColoring(const Graph& graph);

}  // namespace tintara
