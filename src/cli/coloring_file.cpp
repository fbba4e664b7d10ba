#include "cli/coloring_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "cli/output_check.h"

namespace tintara {

namespace {

// A path may hold any byte; a line end in it would break a line of the file
// or of a message.
std::string printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown;
}

[[noreturn]] void fail(const std::string& path, int error) {
  throw WriteError(printable(path) + ": " + std::strerror(error));
}

// Writes all of `size` bytes; false, with errno from the failed call, when
// a write fails.
bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t wrote = ::write(fd, data, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = EIO;
      return false;
    }
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

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

// A FIFO, a terminal or a device: no rename can replace it, and writing to
// it is what the user asked for.
void writeDirectly(const std::string& path, const Graph& graph, const std::vector<int32_t>& colors,
                   int32_t colorCount, const std::string& problem, uint64_t seed) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) fail(path, errno);
  const int error = writeLines(fd, graph, colors, colorCount, problem, seed);
  if (error != 0) {
    ::close(fd);
    fail(path, error);
  }
  if (::close(fd) != 0) fail(path, errno);
}

// Creates a file that did not exist, named after `base` in `folder`, with
// mode 0666 so that the umask and the folder's default ACL apply as to any
// new file (mkstemp would fix 0600). Returns its descriptor, or -1 with
// errno set.
int createTemporary(const std::string& folder, const std::string& base, std::string& name) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  std::mt19937_64 pick((static_cast<uint64_t>(device()) << 32) ^ device() ^
                       static_cast<uint64_t>(::getpid()));
  // The name stays within the 255 bytes a file name may have.
  const std::string stem = folder + "/." + base.substr(0, 200) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = stem;
    for (int i = 0; i < 8; ++i) name += kLetters[pick() % (sizeof kLetters - 1)];
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;  // errno is EEXIST
}

// Writes a temporary file beside the file `path` names and renames it over
// that file. `existing` is the target's status, or null when there is none.
void replaceFile(const std::string& path, const struct stat* existing, const Graph& graph,
                 const std::vector<int32_t>& colors, int32_t colorCount, const std::string& problem,
                 uint64_t seed) {
  std::string destination = path;
  if (existing) {
    // Renaming over a write-protected file would get round its protection.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) fail(path, errno);
    // Through a symlink the file it names is replaced, and the link stays.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) fail(path, errno);
    destination = resolved;
    std::free(resolved);
  }
  const std::filesystem::path target(destination);
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  std::string temporary;
  const int fd = createTemporary(folder, target.filename().string(), temporary);
  if (fd < 0) fail(path, errno);
  // The reason is taken from the failed call before close and unlink can
  // change errno.
  const auto abandon = [&](int error, bool open) {
    if (open) ::close(fd);
    ::unlink(temporary.c_str());
    fail(path, error);
  };
  if (existing && ::fchmod(fd, existing->st_mode & 0777) != 0) abandon(errno, true);
  if (const int error = writeLines(fd, graph, colors, colorCount, problem, seed)) {
    abandon(error, true);
  }
  if (::fsync(fd) != 0) abandon(errno, true);
  if (::close(fd) != 0) abandon(errno, false);
  if (::rename(temporary.c_str(), destination.c_str()) != 0) abandon(errno, false);
  // The rename itself reaches the disk with the folder; a folder that
  // cannot be synced leaves the file written all the same.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
}

}  // namespace

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

std::optional<std::string> saveTargetRefusal(const std::string& target,
                                             const std::string& problem) {
  if (target.empty()) return "--save-coloring needs a file name";
  // A target that does not exist yet, or is no regular file, is written
  // without harm to anything the program reads or writes.
  struct stat saved;
  if (::stat(target.c_str(), &saved) != 0 || !S_ISREG(saved.st_mode)) return std::nullopt;
  const auto same = [&](const struct stat& other) {
    return S_ISREG(other.st_mode) && other.st_dev == saved.st_dev && other.st_ino == saved.st_ino;
  };
  const std::string refusal = "--save-coloring " + printable(target) + " would overwrite ";
  struct stat other;
  if (::stat(problem.c_str(), &other) == 0 && same(other)) return refusal + "the instance file";
  if (::fstat(STDOUT_FILENO, &other) == 0 && same(other)) return refusal + "standard output";
  if (::fstat(STDERR_FILENO, &other) == 0 && same(other)) return refusal + "standard error";
  return std::nullopt;
}

void saveColoring(const std::string& path, const Graph& graph, const std::vector<int32_t>& colors,
                  int32_t colorCount, const std::string& problem, uint64_t seed) {
  if (!isProperColoring(graph, colors, colorCount)) {
    throw std::logic_error("the colouring to be saved is not a proper colouring");
  }
  struct stat existing;
  if (::stat(path.c_str(), &existing) != 0) {
    // A loop of links or an unreadable folder is no name for a new file.
    if (errno != ENOENT) fail(path, errno);
    replaceFile(path, nullptr, graph, colors, colorCount, problem, seed);
  } else if (S_ISREG(existing.st_mode)) {
    replaceFile(path, &existing, graph, colors, colorCount, problem, seed);
  } else {
    writeDirectly(path, graph, colors, colorCount, problem, seed);
  }
}

}  // namespace tintara
