// Helpers shared by the tests: running the built executable, temporary
// instance files, and small graphs built in code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "graph/graph.h"

namespace tintara::testing {

struct ProcessResult {
  std::string output;   // standard output, byte for byte
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the terminating signal, if any
};

// Runs the tintara executable with `args` (each passed as one argument) and
// captures its standard output; standard error is discarded.
ProcessResult runTintaraBinary(const std::vector<std::string>& args);

// A file in a fresh temporary directory holding `contents`; removed with the
// directory when the object goes.
class TempFile {
 public:
  explicit TempFile(const std::string& contents, const std::string& name = "instance.txt");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return filePath; }
  const std::string& directory() const { return dirPath; }

 private:
  std::string dirPath;
  std::string filePath;
};

// A Graph with n vertices and the given edges, adjacency in edge order (as
// the reader would build it from edge lines in that order).
Graph makeGraph(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges);

Graph cycleGraph(int32_t n);
Graph completeGraph(int32_t n);
Graph gridGraph(int32_t rows, int32_t cols);
Graph petersenGraph();

// Instance-file text for a graph: a p line, then one e line per edge.
std::string instanceText(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges);

// The number of proper k-colourings, by enumerating all k^n colourings.
uint64_t bruteForceProperColorings(const Graph& graph, int32_t k);

}  // namespace tintara::testing
