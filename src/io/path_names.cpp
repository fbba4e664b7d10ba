#include "io/path_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <utility>

namespace tintara {

std::string printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown;
}

int standardStreamNamed(const std::string& path) {
  static const std::array<std::pair<const char*, int>, 6> kNames{
      {{"/dev/stdout", STDOUT_FILENO},
       {"/dev/stderr", STDERR_FILENO},
       {"/dev/fd/1", STDOUT_FILENO},
       {"/dev/fd/2", STDERR_FILENO},
       {"/proc/self/fd/1", STDOUT_FILENO},
       {"/proc/self/fd/2", STDERR_FILENO}}};
  for (const auto& [name, fd] : kNames) {
    if (path == name) return fd;
  }
  return -1;
}

CreatedName createdName(const std::string& path) {
  std::filesystem::path current(path);
  for (int hop = 0;; ++hop) {
    struct stat link {};
    if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) break;
    if (hop == 40) return {current.string(), ELOOP};
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(current, error);
    if (error) return {current.string(), error.value()};
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return {current.string(), 0};
}

}  // namespace tintara
