#include "support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tintara::testing {

ProcessResult runTintaraBinary(const std::vector<std::string>& args) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    std::FILE* devNull = std::fopen("/dev/null", "w");
    if (devNull) dup2(fileno(devNull), STDERR_FILENO);
    std::vector<char*> argv;
    std::string binary = TINTARA_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  ProcessResult result;
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, got);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

TempFile::TempFile(const std::string& contents, const std::string& name) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tintara-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  dirPath = pattern;
  filePath = dirPath + "/" + name;
  std::ofstream out(filePath, std::ios::binary);
  out << contents;
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove_all(dirPath, ignored);
}

Graph makeGraph(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges) {
  Graph g;
  g.vertexCount = n;
  g.edgeCount = static_cast<int32_t>(edges.size());
  g.adjacency.resize(n);
  for (auto [u, v] : edges) {
    g.adjacency[u].push_back(v);
    g.adjacency[v].push_back(u);
  }
  return g;
}

Graph cycleGraph(int32_t n) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < n; ++i) edges.emplace_back(i, (i + 1) % n);
  return makeGraph(n, edges);
}

Graph completeGraph(int32_t n) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = i + 1; j < n; ++j) edges.emplace_back(i, j);
  return makeGraph(n, edges);
}

Graph gridGraph(int32_t rows, int32_t cols) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < cols; ++c) {
      const int32_t v = r * cols + c;
      if (c + 1 < cols) edges.emplace_back(v, v + 1);
      if (r + 1 < rows) edges.emplace_back(v, v + cols);
    }
  }
  return makeGraph(rows * cols, edges);
}

Graph petersenGraph() {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < 5; ++i) {
    edges.emplace_back(i, (i + 1) % 5);          // outer cycle
    edges.emplace_back(i, i + 5);                // spokes
    edges.emplace_back(5 + i, 5 + (i + 2) % 5);  // inner pentagram
  }
  return makeGraph(10, edges);
}

std::string instanceText(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges) {
  std::string text = "p " + std::to_string(n) + "\n";
  for (auto [u, v] : edges) text += "e " + std::to_string(u) + " " + std::to_string(v) + "\n";
  return text;
}

uint64_t bruteForceProperColorings(const Graph& graph, int32_t k) {
  const int32_t n = graph.vertexCount;
  std::vector<int32_t> colors(n, 0);
  uint64_t proper = 0;
  for (;;) {
    bool ok = true;
    for (int32_t v = 0; v < n && ok; ++v)
      for (int32_t w : graph.adjacency[v]) ok = ok && colors[v] != colors[w];
    if (ok) ++proper;
    int32_t i = 0;
    while (i < n && ++colors[i] == k) colors[i++] = 0;
    if (i == n) return proper;
  }
}

}  // namespace tintara::testing
