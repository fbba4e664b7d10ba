#include "graph/graph_reader.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "graph/split_line.h"

namespace tintara {

namespace {

struct EdgeLine {
  int32_t u;
  int32_t v;
  int64_t lineNumber;
};

ReadError lineError(const std::string& sourceName, int64_t lineNumber, const std::string& what) {
  return ReadError{"Error in instance file " + sourceName + ", line " + std::to_string(lineNumber) +
                   ": " + what};
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

ReadResult parseGraph(std::istream& in, const std::string& sourceName) {
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
      if (tokens.size() < 2)
        return lineError(sourceName, lineNumber, "p line without a vertex count");
      const auto count = readInstanceNumber(tokens[1]);
      if (!count) {
        return lineError(sourceName, lineNumber,
                         "vertex count " + tokens[1] + " does not fit in a 32-bit integer");
      }
      graph.vertexCount = *count;
    } else if (kind == "e") {
      if (tokens.size() < 3) {
        return lineError(sourceName, lineNumber, "edge line with fewer than two vertex ids");
      }
      const auto u = readInstanceNumber(tokens[1]);
      const auto v = readInstanceNumber(tokens[2]);
      if (!u || !v) {
        return lineError(sourceName, lineNumber,
                         "vertex id " + tokens[u ? 2 : 1] + " does not fit in a 32-bit integer");
      }
      ++graph.edgeCount;
      edges.push_back({*u, *v, lineNumber});
      distinctIds.insert(*u);
      distinctIds.insert(*v);
    }
  }

  if (graph.vertexCount == 0) graph.vertexCount = static_cast<int32_t>(distinctIds.size());
  if (graph.vertexCount < 0) throw std::length_error("negative vertex count");
  graph.adjacency.resize(static_cast<std::size_t>(graph.vertexCount));

  for (const EdgeLine& edge : edges) {
    for (int32_t id : {edge.u, edge.v}) {
      std::string problem = idProblem(id, graph.vertexCount);
      if (!problem.empty()) return lineError(sourceName, edge.lineNumber, problem);
    }
  }
  for (const EdgeLine& edge : edges) {
    graph.adjacency[edge.u].push_back(edge.v);
    graph.adjacency[edge.v].push_back(edge.u);
  }
  return graph;
}

Graph readGraph(std::string path) {
  std::ifstream file(path);
  // A directory opens but fails on its first read; treat it as unopenable
  // rather than as an empty graph.
  if (!file.is_open() || (file.peek(), file.bad())) {
    std::cout << "Error in openening file" << std::flush;
    std::exit(1);
  }
  ReadResult result = parseGraph(file, path);
  if (auto* error = std::get_if<ReadError>(&result)) {
    std::cout << error->message << std::endl;
    std::exit(1);
  }
  return std::move(std::get<Graph>(result));
}

}  // namespace tintara
