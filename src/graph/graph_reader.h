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
#include <functional>

#include "graph/graph.h"
#include "graph/input_error.h"

namespace tintara {

// Called once the whole file is read, before the adjacency is built, with
// the vertex count and the number of edge lines; throws InputError to refuse
// the graph (a run on it would not fit in memory, say).
using SizeCheck = std::function<void(int32_t vertexCount, int64_t edgeCount)>;

// Reads a Graph from `in`; `sourceName` names the input in error messages.
// Every fault throws InputError (graph/input_error.h) with one line naming
// the input and, where there is one, the line; so does a graph that would not
// fit in `usableBytes`, checked before anything large is allocated.
Graph parseGraph(std::istream& in, const std::string& sourceName, uint64_t usableBytes,
                 const SizeCheck& check = {});

// Reads the instance file at `path` like parseGraph. A file that cannot be
// opened or read (a directory, a device or a socket counts as such) throws
// InputError("Error in openening file PATH: REASON").
Graph readGraph(const std::string& path, uint64_t usableBytes, const SizeCheck& check = {});

// atoi's value of `token`: leading white space, an optional sign, the digits
// up to the first other character; 0 without digits. Empty when the digits
// do not fit in a 32-bit int (where atoi itself is undefined).
std::optional<int32_t> readInstanceNumber(const std::string& token);

}  // namespace tintara
