#include "cli/coloring_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <stdexcept>

#include "io/file_output.h"

namespace tintara {

namespace {

void appendNumber(std::string& text, int64_t number) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

// Writes the file's lines to `fd` through a fixed buffer (a whole text of a
// large graph would take ten bytes a vertex more); 0, or the errno of the
// write that failed.
int writeLines(int fd, const Graph& graph, const std::vector<int32_t>& colors, int32_t colorCount,
               const std::string& problem, uint64_t seed) {
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  std::string buffer;
  buffer.reserve(kChunk + 64);
  buffer += "c graph ";
  buffer += printable(problem);
  buffer += "\nc colors ";
  appendNumber(buffer, colorCount);
  buffer += "\nc seed ";
  buffer += std::to_string(seed);
  buffer += '\n';
  for (int32_t v = 0; v < graph.vertexCount; ++v) {
    buffer += "v ";
    appendNumber(buffer, static_cast<int64_t>(v) + graph.idBase);
    buffer += ' ';
    appendNumber(buffer, colors[v]);
    buffer += '\n';
    if (buffer.size() >= kChunk) {
      if (!writeAll(fd, buffer.data(), buffer.size())) return errno;
      buffer.clear();
    }
  }
  return writeAll(fd, buffer.data(), buffer.size()) ? 0 : errno;
}

}  // namespace

void saveColoring(const std::string& path, const Graph& graph, const std::vector<int32_t>& colors,
                  int32_t colorCount, const std::string& problem, uint64_t seed) {
  if (!isProperColoring(graph, colors, colorCount)) {
    throw std::logic_error("the colouring to be saved is not a proper colouring");
  }
  writeFileSafely(path,
                  [&](int fd) { return writeLines(fd, graph, colors, colorCount, problem, seed); });
}

}  // namespace tintara
