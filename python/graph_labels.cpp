#include "graph_labels.h"

#include <climits>
#include <string>
#include <utility>

#include "graph/self_loop.h"
#include "process/failures.h"

namespace py = pybind11;

namespace tintara::python {

py::list LabelledGraph::labelsOf(const std::vector<int32_t>& vertices) const {
  py::list list;
  for (int32_t v : vertices) list.append(labels[static_cast<std::size_t>(v)]);
  return list;
}

namespace {

using Edges = std::vector<std::pair<int32_t, int32_t>>;

// A whole number as the reader takes one (an int, or anything with
// __index__, such as numpy's integers), in the reader's words otherwise.
int64_t wholeNumber(py::handle value, const std::string& what) {
  PyObject* index = PyNumber_Index(value.ptr());
  if (!index) {
    PyErr_Clear();
    throw InputError(what + " " + py::repr(value).cast<std::string>() + " is not a whole number");
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(index, &overflow);
  Py_DECREF(index);
  if (overflow != 0 || number < INT32_MIN || number > INT32_MAX) {
    throw InputError(what + " " + py::repr(value).cast<std::string>() +
                     " does not fit in a 32-bit integer");
  }
  if (number < 0) throw InputError(what + " " + std::to_string(number) + " is negative");
  return number;
}

// An edge's two ends, as given.
std::pair<py::object, py::object> ends(py::handle edge) {
  const py::tuple pair(py::reinterpret_borrow<py::object>(edge));
  if (pair.size() != 2) {
    throw InputError("edge " + py::repr(edge).cast<std::string>() + " is not a pair of vertex ids");
  }
  return {pair[0], pair[1]};
}

Edges edgesOfNetworkx(py::handle graph, std::vector<py::object>& labels) {
  if (graph.attr("is_directed")().cast<bool>()) {
    throw InputError(
        "The graph is directed, and colorings are of undirected graphs: pass "
        "G.to_undirected()");
  }
  py::dict index;
  for (py::handle node : graph.attr("nodes")()) {
    if (labels.size() == INT32_MAX) throw InputError("more than 2147483647 vertices");
    index[node] = py::int_(labels.size());
    labels.push_back(py::reinterpret_borrow<py::object>(node));
  }
  Edges edges;
  for (py::handle edge : graph.attr("edges")()) {
    const auto [u, v] = ends(edge);
    const auto id = [&index](const py::object& label) {
      if (!index.contains(label)) {
        throw InputError("vertex " + py::repr(label).cast<std::string>() +
                         " of an edge is not a node of the graph");
      }
      return index[label].cast<int32_t>();
    };
    if (edges.size() == INT32_MAX) throw InputError("more than 2147483647 edges");
    edges.emplace_back(id(u), id(v));
  }
  return edges;
}

Edges edgesOfPair(py::handle countAndEdges, std::vector<py::object>& labels) {
  const py::tuple pair(py::reinterpret_borrow<py::object>(countAndEdges));
  const int64_t n = wholeNumber(pair[0], "vertex count");
  Edges edges;
  for (py::handle edge : pair[1]) {
    const auto [u, v] = ends(edge);
    int32_t id[2];
    int side = 0;
    for (const py::object& end : {u, v}) {
      const int64_t value = wholeNumber(end, "vertex id");
      if (value >= n) {
        throw InputError("vertex id " + std::to_string(value) + " is not below the vertex count " +
                         std::to_string(n));
      }
      id[side++] = static_cast<int32_t>(value);
    }
    if (edges.size() == INT32_MAX) throw InputError("more than 2147483647 edges");
    edges.emplace_back(id[0], id[1]);
  }
  labels.reserve(static_cast<std::size_t>(n));
  for (int64_t i = 0; i < n; ++i) labels.push_back(py::int_(i));
  return edges;
}

bool isNetworkxGraph(py::handle graph) {
  return py::hasattr(graph, "is_directed") && py::hasattr(graph, "nodes") &&
         py::hasattr(graph, "edges");
}

bool isCountAndEdges(py::handle graph) {
  return (py::isinstance<py::tuple>(graph) || py::isinstance<py::list>(graph)) &&
         py::len(graph) == 2;
}

}  // namespace

LabelledGraph graphFromPython(py::handle graph, const GraphSizeCheck& check) {
  LabelledGraph result;
  Edges edges;
  if (isNetworkxGraph(graph)) {
    edges = edgesOfNetworkx(graph, result.labels);
  } else if (isCountAndEdges(graph)) {
    edges = edgesOfPair(graph, result.labels);
  } else {
    throw py::type_error("a graph is a networkx Graph or MultiGraph, or a pair (n, edges), not " +
                         py::repr(py::type::handle_of(graph)).cast<std::string>());
  }
  Graph& g = result.graph;
  g.vertexCount = static_cast<int32_t>(result.labels.size());
  g.edgeCount = static_cast<int32_t>(edges.size());
  if (check) check(g.vertexCount, g.edgeCount);
  setNeighbours(g, edges, [](const std::pair<int32_t, int32_t>& edge) { return edge; });
  if (auto v = selfLoopVertex(g)) {
    throw InputError(
        selfLoopMessage(py::str(result.labels[static_cast<std::size_t>(*v)]).cast<std::string>()));
  }
  return result;
}

}  // namespace tintara::python
