// Instance file reader.
//
// File format, one record per line, tokens separated by single blanks:
//   c ...        comment
//   p <n> ...    vertex count (optional, anywhere, the last one counts;
//                0 or a non-number means "count the distinct ids")
//   e <u> <v>    an edge between 0-based vertex ids u and v
// Any other line is ignored. Numbers are read the way atoi reads them.
//
// parseGraph reads from a stream and hands back either the Graph or an error
// naming the line at fault; it never prints or exits. readGraph is the
// program's entry to it: it opens the file and turns an error into a message
// on standard output and exit status 1.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <variant>

#include "graph/graph.h"

namespace tintara {

struct ReadError {
  std::string message;  // one line, without a line end
};

using ReadResult = std::variant<Graph, ReadError>;

// Reads a Graph from `in`; `sourceName` names the input in error messages.
// A negative vertex count throws std::length_error, as sizing the adjacency
// would; a count whose lists would not fit in usableMemoryBytes() throws
// std::bad_alloc before anything is allocated.
ReadResult parseGraph(std::istream& in, const std::string& sourceName);

// Reads the instance file at `path`. When it cannot be opened or read (a
// directory, a device or a socket counts as such), writes
// "Error in openening file" (no line end) to standard output and exits with
// status 1; a malformed line gives its error message, a line end, and exit 1.
Graph readGraph(std::string path);

// atoi's value of `token`: leading white space, an optional sign, the digits
// up to the first other character; 0 without digits. Empty when the digits
// do not fit in a 32-bit int (where atoi itself is undefined).
std::optional<int32_t> readInstanceNumber(const std::string& token);

}  // namespace tintara
