// The proper colouring a run found, written for the user (--save-coloring):
//
//   c graph <instance path>
//   c colors <K>
//   c seed <S>
//   v <vertex> <colour>      one line a vertex, in vertex order
//
// Vertex ids are the instance file's own (0-based, or 1-based for a DIMACS
// file); colours are 0 to K-1. The colouring is checked before anything is
// written, and the file is opened only once the report is complete, so a
// run that ends without a number never creates or changes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/graph.h"

namespace tintara {

// True when every vertex has a colour in [0, colorCount) and no edge joins
// two vertices of the same colour.
bool isProperColoring(const Graph& graph, const std::vector<int32_t>& colors, int32_t colorCount);

// Writes `colors` to `path` in the format above. Throws std::logic_error
// when the colouring is not proper (a fault of the program, never of the
// input), and WriteError ("PATH: reason") when the file cannot be written.
void saveColoring(const std::string& path, const Graph& graph, const std::vector<int32_t>& colors,
                  int32_t colorCount, const std::string& problem, uint64_t seed);

}  // namespace tintara
