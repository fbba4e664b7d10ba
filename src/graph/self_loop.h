// A graph with a self-loop (an edge from a vertex to itself) has no proper
// colouring with any number of colours: the vertex always shares its own
// colour. Both modes look for one before any run, so that they can say so
// instead of searching in vain.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "graph/graph.h"

namespace tintara {

// The smallest vertex that is its own neighbour, or nothing.
std::optional<int32_t> selfLoopVertex(const Graph& graph);

// Throws InputError naming that vertex by its id in the instance file.
void refuseSelfLoops(const Graph& graph);

// The refusal's message for the vertex named `vertex`: "Vertex 7 has a
// self-loop, so no proper coloring exists".
std::string selfLoopMessage(const std::string& vertex);

}  // namespace tintara
