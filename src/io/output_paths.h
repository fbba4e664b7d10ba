// The one check of every path a run reads or writes, made before any run:
// no output may land on the instance, on another output or on the file
// that standard output or standard error already writes to, and a file
// the program must not write to never receives the refusal itself.
//
// Paths are compared as the files they name, not as text:
//   - an existing regular file by device and inode, so that a hard link,
//     "./" and symlinks all name the same file;
//   - a name that does not exist yet by its resolved folder (device and
//     inode) and its last component, symlinks followed, a dangling one
//     included: `--journal a.j --save-coloring a.j` names one file before
//     either exists, and a link to a missing file names that file;
//   - anything else (a device, a FIFO, a socket, standard output behind
//     /dev/stdout on a pipe) is never the same as another path: writing to
//     it is what was asked, and no rename can replace it.
// Standard output and standard error may be one file (`> log 2>&1`).
#pragma once

#include <optional>
#include <string>

namespace tintara {

// The paths of one run: empty where the option was not given (or its mode
// does not use it).
struct RunPaths {
  std::string instance;
  std::string journal;
  std::string saveColoring;
};

struct PathRefusal {
  std::string message;  // one line, no line end
  // Standard output is a file the run must not write to (the instance, the
  // journal, the saved colouring): the refusal goes to standard error
  // alone, and nothing is written into that file.
  bool toStandardError = false;
};

// The refusal of the first conflict among `paths` and the standard streams,
// or nothing. Refused: the journal and the saved colouring naming one file;
// either one being the instance, standard output or standard error;
// standard output being the instance; a --save-coloring or --journal name
// whose folder is missing or which is a directory.
std::optional<PathRefusal> checkRunPaths(const RunPaths& paths);

// Whether standard output is a regular file that one of `paths` names (the
// instance, the journal, the saved colouring): what the program has to say
// then goes to standard error alone. Cheap; for failures that come before
// the full check (an option the parser refuses).
bool standardOutputIsOneOf(const RunPaths& paths);

}  // namespace tintara
