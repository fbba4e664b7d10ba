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
// not at all: the lines go to a temporary file in the same folder, which is
// synced and then renamed over the target. A symlink is followed, so the
// file it names is replaced and the link stays (a link to nothing is itself
// replaced by the file). The new file keeps an existing target's permission
// bits, or gets 0666 less the umask like any file the program creates; an
// existing target that may not be written is refused (EACCES), as opening
// it for writing would be. Anything else (a FIFO, a terminal, /dev/null, a
// pipe behind /dev/stdout) is written directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "graph/graph.h"

namespace tintara {

// True when every vertex has a colour in [0, colorCount) and no edge joins
// two vertices of the same colour.
bool isProperColoring(const Graph& graph, const std::vector<int32_t>& colors, int32_t colorCount);

// The one-line message refusing `target` as the place to save to, or
// nothing: an empty name, or the regular file (same device and inode, by
// any name) that is the instance `problem`, standard output or standard
// error. Checked before any run, so that no report is lost to the save.
std::optional<std::string> saveTargetRefusal(const std::string& target, const std::string& problem);

// Writes `colors` to `path` in the format above. Throws std::logic_error
// when the colouring is not proper (a fault of the program, never of the
// input), and WriteError ("PATH: reason", the reason of the call that
// failed) when the file cannot be written; an existing file is then left as
// it was and no temporary file remains.
void saveColoring(const std::string& path, const Graph& graph, const std::vector<int32_t>& colors,
                  int32_t colorCount, const std::string& problem, uint64_t seed);

}  // namespace tintara
