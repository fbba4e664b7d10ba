// Instance file reader.
//
// File format, one record per line, tokens separated by runs of blanks and
// tabs (see graph/split_line.h for lines and tokens):
//   c ...        comment
//   p <n> ...    vertex count (optional, anywhere, the last one counts; 0, or
//                a format word edge/edges/col in its place, means "count the
//                distinct ids")
//   e <u> <v>    an edge between 0-based vertex ids u and v
// Lines of any other kind are ignored, and so are tokens after those a line
// needs. Counts and ids are whole decimal integers with an optional sign.
//
// A DIMACS file is read as such: when the last p line is "p edge|edges|col
// N ..." and no edge line uses id 0, the ids are 1..N, shifted down by one,
// and the Graph's idBase is 1. With edge lines, such files are malformed in
// the 0-based reading (its largest id is never below the count of distinct
// ids), so this reading changes no file that reads otherwise. Without any,
// the file is a DIMACS header alone: N vertices and no edge (the 0-based
// reading would have counted 0 distinct ids and lost the N vertices).
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>

#include "graph/graph.h"
#include "process/failures.h"

namespace tintara {

// Called once the whole file is read, before the adjacency is built, with
// the vertex count and the number of edge lines; throws InputError to refuse
// the graph (a run on it would not fit in memory, say).
using SizeCheck = std::function<void(int32_t vertexCount, int64_t edgeCount)>;

// Reads a Graph from `in`; `sourceName` names the input in error messages.
// Every fault throws InputError (process/failures.h) with one line naming
// the input and, where there is one, the line: malformed lines, input with
// content but no p or e line, a read that fails part way. So does a graph
// that would not fit in `usableBytes`, checked as the edge list grows and
// before the adjacency is allocated. The whole input is read or nothing is
// returned.
Graph parseGraph(std::istream& in, const std::string& sourceName, uint64_t usableBytes,
                 const SizeCheck& check = {});

// Reads the instance file at `path` like parseGraph. A file that cannot be
// opened, a directory, a device and a socket throw
// InputError("Error in openening file PATH: REASON").
Graph readGraph(const std::string& path, uint64_t usableBytes, const SizeCheck& check = {});

}  // namespace tintara
