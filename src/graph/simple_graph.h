// The simple graph underlying a Graph: the same vertices, each neighbour
// list sorted ascending with repeated edges merged and self-loops dropped.
//
// The colouring bounds (a large clique, a DSATUR colouring) need "is w a
// neighbour of u" and "how many distinct neighbours", which repeats and
// self-loops would falsify. The result is again a Graph (edgeCount is the
// number of distinct edges between distinct vertices, idBase is kept), so
// it costs O(n + m) memory, where an adjacency matrix would cost O(n^2).
#pragma once

#include "graph/graph.h"

namespace tintara {

Graph simpleGraph(const Graph& graph);

}  // namespace tintara
