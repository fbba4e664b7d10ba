// Files the program writes are never left half-written, and a failure names
// the failing call's reason.
//
// writeFileSafely replaces a regular file (or creates one where no file
// exists yet) whole or not at all: the content goes to a temporary file in
// the same folder, which is synced and then renamed over the target. A
// symlink is followed, so the file it names is replaced, or created when
// it names none yet, and the link stays. The new file keeps an
// existing target's permission bits, or gets 0666 less the umask like any
// file the program creates; an existing target that may not be written is
// refused (EACCES), as opening it for writing would be. Anything else (a
// FIFO, a terminal, /dev/null, a pipe behind /dev/stdout) is written
// directly: no rename can replace it, and writing to it is what was asked.
// The standard streams' own names (/dev/stdout, /dev/fd/2, ...) are written
// through the open descriptor, at its position: a report already written
// to the file behind it stays, where renaming over that file or opening it
// afresh would lose it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "io/path_names.h"
#include "process/failures.h"

namespace tintara {

// Writes all of `size` bytes to `fd`, retrying after EINTR; false, with
// errno from the failed call, when a write fails.
bool writeAll(int fd, const char* data, std::size_t size);

// Writes what `content` writes to a descriptor into `path` as above.
// `content` returns 0, or the errno of the write that failed. Throws
// WriteError; an existing file is then left as it was and no temporary
// file remains.
void writeFileSafely(const std::string& path, const std::function<int(int fd)>& content);

}  // namespace tintara
