#include "io/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace tintara {

namespace {

[[noreturn]] void fail(const std::string& path, int error) {
  throw WriteError(printable(path) + ": " + std::strerror(error));
}

// A FIFO, a terminal or a device.
void writeDirectly(const std::string& path, const std::function<int(int fd)>& content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) fail(path, errno);
  if (const int error = content(fd)) {
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
// that file. `existing` is the target's status, or null when there is none
// (and `path` may be a symlink to a name not yet made: the file gets that
// name, and the link stays).
void replaceFile(const std::string& path, const struct stat* existing,
                 const std::function<int(int fd)>& content) {
  std::string destination = path;
  if (!existing) {
    const CreatedName created = createdName(path);
    if (created.error != 0) fail(path, created.error);
    destination = created.path;
  } else {
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
  if (const int error = content(fd)) abandon(error, true);
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

void writeFileSafely(const std::string& path, const std::function<int(int fd)>& content) {
  if (const int stream = standardStreamNamed(path); stream >= 0) {
    if (const int error = content(stream)) fail(path, error);
    return;
  }
  struct stat existing;
  if (::stat(path.c_str(), &existing) != 0) {
    // A loop of links or an unreadable folder is no name for a new file.
    if (errno != ENOENT) fail(path, errno);
    replaceFile(path, nullptr, content);
  } else if (S_ISREG(existing.st_mode)) {
    replaceFile(path, &existing, content);
  } else {
    writeDirectly(path, content);
  }
}

}  // namespace tintara
