// Whether a colouring is proper: the one check every colouring the program
// hands out (a saved file, a joined colouring of the blocks) or reads back
// from a journal passes first.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph.h"

namespace tintara {

// True when `colors` gives every vertex of `graph` a colour in
// [0, colorCount) and no edge joins two vertices of the same colour (a
// self-loop is never proper).
bool isProperColoring(const Graph& graph, const std::vector<int32_t>& colors, int32_t colorCount);

}  // namespace tintara
