// Files the program writes are never left half-written, and a failure names
// the failing call's reason.
//
// writeFileSafely replaces a regular file (or creates one where no file
// exists yet) whole or not at all: the content goes to a temporary file in
// the same folder, which is synced and then renamed over the target. A
// symlink is followed, so the file it names is replaced and the link stays
// (a link to nothing is itself replaced by the file). The new file keeps an
// existing target's permission bits, or gets 0666 less the umask like any
// file the program creates; an existing target that may not be written is
// refused (EACCES), as opening it for writing would be. Anything else (a
// FIFO, a terminal, /dev/null, a pipe behind /dev/stdout) is written
// directly: no rename can replace it, and writing to it is what was asked.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tintara {

// A file or stream that could not be written; what() is "PATH: reason", or
// the reason alone for standard output.
struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// `text` with every control character shown as '?': a path may hold any
// byte, and a line end in it would break a line of a file or a message.
std::string printable(const std::string& text);

// Writes all of `size` bytes to `fd`, retrying after EINTR; false, with
// errno from the failed call, when a write fails.
bool writeAll(int fd, const char* data, std::size_t size);

// The one-line message refusing `target` as the file that `option` (such as
// "--save-coloring") writes, or nothing: an empty name, or the regular file
// (same device and inode, by any name) that is one of `inputs` (named as
// given: "the instance file") or standard output or standard error.
// Checked before any run, so that no report or instance is lost to it.
std::optional<std::string> overwriteRefusal(
    const std::string& option, const std::string& target,
    const std::vector<std::pair<std::string, std::string>>& inputs);

// Writes what `content` writes to a descriptor into `path` as above.
// `content` returns 0, or the errno of the write that failed. Throws
// WriteError; an existing file is then left as it was and no temporary
// file remains.
void writeFileSafely(const std::string& path, const std::function<int(int fd)>& content);

}  // namespace tintara
