// The proper colouring a run found, written for the user (--save-coloring):
//
//   c graph <instance path>
//   c colors <K>
//   c seed <S>
//   v <vertex> <colour>      one line a vertex, in vertex order
//
// Vertex ids are the instance file's own (0-based, or 1-based for a DIMACS
// file); colours are 0 to K-1. The colouring is checked before anything is
// written, and the file is written only once the report is complete, so a
// run that ends without a number never creates or changes it.
//
// A regular file (or a name that does not exist yet) is replaced whole or
// not at all; anything else (a FIFO, a terminal, /dev/null, a pipe behind
// /dev/stdout) is written directly (writeFileSafely, io/file_output.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "coloring/proper_coloring.h"
#include "graph/graph.h"

namespace tintara {

// Writes `colors` to `path` in the format above. Throws std::logic_error
// when the colouring is not proper (a fault of the program, never of the
// input), and WriteError ("PATH: reason", the reason of the call that
// failed) when the file cannot be written; an existing file is then left as
// it was and no temporary file remains.
void saveColoring(const std::string& path, const Graph& graph, const std::vector<int32_t>& colors,
                  int32_t colorCount, const std::string& problem, uint64_t seed);

}  // namespace tintara
