#include "graph/graph_reader.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "graph/memory_limit.h"
#include "graph/split_line.h"

namespace tintara {

namespace {

struct EdgeLine {
  int32_t u;
  int32_t v;
  int64_t lineNumber;
};

InputError lineError(const std::string& sourceName, int64_t lineNumber, const std::string& what) {
  return InputError("Error in instance file " + sourceName + ", line " +
                    std::to_string(lineNumber) + ": " + what);
}

// A token as an error message shows it: control characters written as
// escapes (a carriage return would send the terminal's cursor back over the
// message) and a long token cut short, so that the message stays one
// readable line whatever the file holds.
std::string shown(const std::string& token) {
  constexpr std::size_t kShownLength = 24;
  std::string text;
  for (std::size_t i = 0; i < token.size() && i < kShownLength; ++i) {
    const auto c = static_cast<unsigned char>(token[i]);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      const char* digits = "0123456789abcdef";
      text += {'\\', 'x', digits[c >> 4], digits[c & 15]};
    } else {
      text += static_cast<char>(c);
    }
  }
  if (token.size() > kShownLength) {
    text += "... (" + std::to_string(token.size()) + " characters)";
  }
  return text;
}

// Why `id` cannot name a vertex of a graph with `count` vertices, or empty.
std::string idProblem(int32_t id, int32_t count) {
  if (id < 0) return "vertex id " + std::to_string(id) + " is negative";
  if (id < count) return {};
  std::string what =
      "vertex id " + std::to_string(id) + " is not below the vertex count " + std::to_string(count);
  if (id == count) {
    what +=
        " (vertex ids are 0-based; scripts/dimacs-to-instance converts 1-based DIMACS "
        "files)";
  }
  return what;
}

}  // namespace

std::optional<int32_t> readInstanceNumber(const std::string& token) {
  std::size_t i = 0;
  while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i]))) ++i;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  int64_t magnitude = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (token[i] - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

Graph parseGraph(std::istream& in, const std::string& sourceName, uint64_t usableBytes,
                 const SizeCheck& check) {
  Graph graph;
  std::unordered_set<int32_t> distinctIds;
  std::vector<EdgeLine> edges;

  std::string line;
  std::vector<std::string> tokens;
  int64_t lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    tokens.clear();
    splitLine(line, " ", tokens);
    const std::string& kind = tokens[0];
    if (kind == "p") {
      if (tokens.size() < 2) {
        throw lineError(sourceName, lineNumber, "p line without a vertex count");
      }
      const auto count = readInstanceNumber(tokens[1]);
      if (!count) {
        throw lineError(sourceName, lineNumber,
                        "vertex count " + shown(tokens[1]) + " does not fit in a 32-bit integer");
      }
      graph.vertexCount = *count;
    } else if (kind == "e") {
      if (tokens.size() < 3) {
        throw lineError(sourceName, lineNumber, "edge line with fewer than two vertex ids");
      }
      const auto u = readInstanceNumber(tokens[1]);
      const auto v = readInstanceNumber(tokens[2]);
      if (!u || !v) {
        throw lineError(
            sourceName, lineNumber,
            "vertex id " + shown(tokens[u ? 2 : 1]) + " does not fit in a 32-bit integer");
      }
      // edgeCount is a 32-bit count, like every count of the Graph.
      if (graph.edgeCount == INT32_MAX) {
        throw lineError(sourceName, lineNumber, "more than 2147483647 edge lines");
      }
      ++graph.edgeCount;
      edges.push_back({*u, *v, lineNumber});
      distinctIds.insert(*u);
      distinctIds.insert(*v);
    }
  }

  if (graph.vertexCount == 0) graph.vertexCount = static_cast<int32_t>(distinctIds.size());
  if (graph.vertexCount < 0) throw std::length_error("negative vertex count");
  // A count whose empty lists alone exceed the memory this process can use is
  // unallocatable; say so before trying, since the system would grant the
  // request and then kill the program (or swap for minutes) filling it.
  if (static_cast<uint64_t>(graph.vertexCount) * sizeof(std::vector<int32_t>) > usableBytes) {
    throw std::bad_alloc();
  }
  if (check) check(graph.vertexCount, graph.edgeCount);

  for (const EdgeLine& edge : edges) {
    for (int32_t id : {edge.u, edge.v}) {
      std::string problem = idProblem(id, graph.vertexCount);
      if (!problem.empty()) throw lineError(sourceName, edge.lineNumber, problem);
    }
  }
  setNeighbours(graph, edges, [](const EdgeLine& edge) { return std::pair{edge.u, edge.v}; });
  return graph;
}

namespace {

// Devices (a terminal, /dev/zero, a disk) and sockets are never instance
// files, and reading one may not end or may fill the memory with one endless
// line. Regular files and pipes (a shell's process substitution) are read.
bool isDeviceOrSocket(const std::string& path) {
  std::error_code error;
  const auto type = std::filesystem::status(path, error).type();
  return type == std::filesystem::file_type::character ||
         type == std::filesystem::file_type::block || type == std::filesystem::file_type::socket;
}

}  // namespace

Graph readGraph(const std::string& path, uint64_t usableBytes, const SizeCheck& check) {
  std::ifstream file(path);
  // A directory opens but fails on its first read, and a device may never
  // end; treat both as unopenable rather than as a graph.
  if (!file.is_open() || isDeviceOrSocket(path) || (file.peek(), file.bad())) {
    throw InputError("Error in openening file " + path);
  }
  return parseGraph(file, path, usableBytes, check);
}

}  // namespace tintara
