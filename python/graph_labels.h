// A graph given from Python, as the module's functions take it: a networkx
// Graph or MultiGraph with any hashable node labels, or a pair (n, edges)
// of a vertex count and an iterable of (u, v) pairs of ids 0..n-1.
//
// Node i is the i-th of G.nodes() and the edges are taken in G.edges()
// order, each parallel edge of a MultiGraph once: the Graph is the one the
// program reads from an instance file written in that order (a "p n" line,
// then one "e u v" line per edge), so a seed gives the module the figures it
// gives the program on that file.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <pybind11/pybind11.h>

#include "graph/graph.h"

namespace tintara::python {

struct LabelledGraph {
  Graph graph;
  // Vertex i's label: the node of G.nodes(), or the integer i.
  std::vector<pybind11::object> labels;

  // The vertices' labels, in the order of `vertices`.
  pybind11::list labelsOf(const std::vector<int32_t>& vertices) const;
};

// Told the vertex and edge counts before the Graph's lists are built: the
// run's memory check, which throws to refuse it.
using GraphSizeCheck = std::function<void(int32_t vertexCount, int64_t edgeCount)>;

// Reads `graph`. Throws InputError, with the program's wording, for a
// directed graph, an id that is not a whole number or not in 0..n-1, a
// negative count and a self-loop (naming its vertex by label), and
// pybind11::type_error for anything that is neither form. Needs the GIL.
LabelledGraph graphFromPython(pybind11::handle graph, const GraphSizeCheck& check);

}  // namespace tintara::python
