// Standard output that cannot be written (a full disk, a closed descriptor,
// a pipe whose reader has gone while SIGPIPE is ignored) is an error, never a
// silent success: the report is checked after each run's line and after the
// last write, and a failure ends the program with "write error: REASON" on
// standard error and exit status 1.
#pragma once

#include <ostream>

#include "io/file_output.h"

namespace tintara {

// Flushes `out` and throws WriteError when it has failed.
void ensureWritten(std::ostream& out);

// When standard output is a closed descriptor, puts a read-only descriptor
// in its place: writes then fail (and are reported) instead of landing in
// the next file the program opens, which would take the free number.
void guardClosedStandardOutput();

}  // namespace tintara
