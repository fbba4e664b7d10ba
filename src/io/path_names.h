// What a path names, for the checks of the run's paths (io/output_paths.h)
// and the writers of its files (io/file_output.h, the journal) alike: the
// standard streams' own names, the file a symlink to nothing would create,
// and a path shown safely in a message.
#pragma once

#include <string>

namespace tintara {

// `text` with every control character shown as '?': a path may hold any
// byte, and a line end in it would break a line of a file or a message.
std::string printable(const std::string& text);

// The descriptor that `path` names when it is one of the standard streams'
// own names (/dev/stdout, /dev/stderr, /dev/fd/1 and 2, /proc/self/fd/1 and
// 2), or -1. Such a target is written through the open descriptor, at its
// current position, so that a report already written there stays.
int standardStreamNamed(const std::string& path);

// The name a file created at `path` gets: `path` itself, unless it is a
// symlink, whose target (resolved against the link's folder) is followed
// in turn, up to the first name that is not a link, as open() with O_CREAT
// would follow them. So a link to a file not yet made creates that file and
// stays a link. `error` is ELOOP past 40 links (the kernel's limit), or the
// errno of a link that cannot be read; 0 otherwise.
struct CreatedName {
  std::string path;
  int error = 0;
};
CreatedName createdName(const std::string& path);

}  // namespace tintara
