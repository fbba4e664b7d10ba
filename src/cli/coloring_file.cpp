#include "cli/coloring_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "cli/output_check.h"

namespace tintara {

bool isProperColoring(const Graph& graph, const std::vector<int32_t>& colors, int32_t colorCount) {
  if (colors.size() != static_cast<std::size_t>(graph.vertexCount)) return false;
  for (int32_t v = 0; v < graph.vertexCount; ++v) {
    if (colors[v] < 0 || colors[v] >= colorCount) return false;
    for (int32_t w : graph.neighbours(v)) {
      if (colors[w] == colors[v]) return false;
    }
  }
  return true;
}

void saveColoring(const std::string& path, const Graph& graph, const std::vector<int32_t>& colors,
                  int32_t colorCount, const std::string& problem, uint64_t seed) {
  if (!isProperColoring(graph, colors, colorCount)) {
    throw std::logic_error("the colouring to be saved is not a proper colouring");
  }
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto fail = [&] {
    const int error = errno;
    throw WriteError(path + ": " + (error != 0 ? std::strerror(error) : "cannot be written"));
  };
  if (!out) fail();
  // A path may hold any byte; a line end in it would break the format.
  std::string shownProblem = problem;
  for (char& c : shownProblem) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  out << "c graph " << shownProblem << "\n";
  out << "c colors " << colorCount << "\n";
  out << "c seed " << seed << "\n";
  for (int32_t v = 0; v < graph.vertexCount; ++v) {
    out << "v " << static_cast<int64_t>(v) + graph.idBase << " " << colors[v] << "\n";
  }
  errno = 0;
  out.flush();
  if (!out) fail();
  out.close();
  if (out.fail()) fail();
}

}  // namespace tintara
