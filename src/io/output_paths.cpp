#include "io/output_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "io/path_names.h"

namespace tintara {

namespace {

// What a path names, for comparing it with other paths.
struct Identity {
  enum class Kind {
    None,       // no path given
    Regular,    // an existing regular file: device and inode
    NewName,    // nothing yet: the folder's device and inode, and the name
    Directory,  // an existing directory
    Other,      // a device, a FIFO, a socket: never the same as another path
    Unusable,   // no file can be made there (`error`: a missing folder, say)
  };
  Kind kind = Kind::None;
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;
  std::string folder;  // NewName: where the new file would be made
  int error = 0;
};

bool same(const Identity& a, const Identity& b) {
  if (a.kind != b.kind || a.device != b.device || a.inode != b.inode) return false;
  if (a.kind == Identity::Kind::Regular) return true;
  return a.kind == Identity::Kind::NewName && a.name == b.name;
}

Identity ofStatus(const struct stat& status) {
  Identity id;
  if (S_ISREG(status.st_mode)) {
    id.kind = Identity::Kind::Regular;
    id.device = status.st_dev;
    id.inode = status.st_ino;
  } else {
    id.kind = S_ISDIR(status.st_mode) ? Identity::Kind::Directory : Identity::Kind::Other;
  }
  return id;
}

Identity unusable(int error) {
  Identity id;
  id.kind = Identity::Kind::Unusable;
  id.error = error;
  return id;
}

// A name that does not exist: follows symlinks by hand (stat cannot, the
// last one dangling) to the name a new file would get, then identifies its
// folder.
Identity ofMissingName(const std::string& path) {
  const CreatedName created = createdName(path);
  if (created.error != 0) return unusable(created.error);
  const std::filesystem::path current(created.path);
  const std::string name = current.filename().string();
  if (name.empty() || name == "." || name == "..") return unusable(EISDIR);
  const std::filesystem::path folder =
      current.has_parent_path() ? current.parent_path() : std::filesystem::path(".");
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) return unusable(errno);
  if (!S_ISDIR(status.st_mode)) return unusable(ENOTDIR);
  Identity id;
  id.kind = Identity::Kind::NewName;
  id.device = status.st_dev;
  id.inode = status.st_ino;
  id.name = name;
  id.folder = folder.string();
  return id;
}

Identity identify(const std::string& path) {
  if (path.empty()) return {};
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) return ofStatus(status);
  if (errno != ENOENT) return unusable(errno);
  return ofMissingName(path);
}

Identity ofDescriptor(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return {};
  return ofStatus(status);
}

// Why no file could be renamed into place at `path` (`id` a regular file
// or a new name): the file or its folder may not be written. 0 otherwise.
int replacementRefused(const std::string& path, const Identity& id) {
  std::string folder = id.folder;
  if (id.kind == Identity::Kind::Regular) {
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return errno;
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error) return error.value();
    folder = target.parent_path().string();
  }
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return errno;
  return 0;
}

// An output option and what its path names.
struct Output {
  const char* option;
  const std::string& path;
  Identity id;
};

}  // namespace

bool standardOutputIsOneOf(const RunPaths& paths) {
  const Identity out = ofDescriptor(STDOUT_FILENO);
  if (out.kind != Identity::Kind::Regular) return false;
  for (const std::string* path : {&paths.instance, &paths.journal, &paths.saveColoring}) {
    if (same(out, identify(*path))) return true;
  }
  return false;
}

std::optional<PathRefusal> checkRunPaths(const RunPaths& paths) {
  const Identity instance = identify(paths.instance);
  const Identity out = ofDescriptor(STDOUT_FILENO);
  const Identity err = ofDescriptor(STDERR_FILENO);
  std::vector<Output> outputs;
  if (!paths.journal.empty())
    outputs.push_back({"--journal", paths.journal, identify(paths.journal)});
  if (!paths.saveColoring.empty()) {
    // A standard stream's own name writes through its descriptor, after
    // what the report put there: never refused.
    Identity id;
    if (standardStreamNamed(paths.saveColoring) >= 0) {
      id.kind = Identity::Kind::Other;
    } else {
      id = identify(paths.saveColoring);
    }
    outputs.push_back({"--save-coloring", paths.saveColoring, id});
  }

  bool outputIsProtected = same(out, instance);
  for (const Output& output : outputs)
    outputIsProtected = outputIsProtected || same(out, output.id);
  const auto refuse = [&](const std::string& message) {
    return PathRefusal{message, outputIsProtected};
  };

  for (const Output& output : outputs) {
    const std::string named = std::string(output.option) + " " + printable(output.path);
    if (output.id.kind == Identity::Kind::Directory) {
      return refuse(named + " cannot be written: " + std::strerror(EISDIR));
    }
    if (output.id.kind == Identity::Kind::Unusable) {
      return refuse(named + " cannot be written: " + std::strerror(output.id.error));
    }
  }
  // The saved colouring is written at the end of the run, into a new file
  // beside its target: a folder or a file it may not write would fail only
  // then, after the whole run. (A journal that may only be read can still
  // report a finished experiment, and is judged when it is opened.)
  if (!paths.saveColoring.empty() && outputs.back().id.kind != Identity::Kind::Other) {
    if (const int error = replacementRefused(paths.saveColoring, outputs.back().id)) {
      return refuse("--save-coloring " + printable(paths.saveColoring) +
                    " cannot be written: " + std::strerror(error));
    }
  }
  if (outputs.size() == 2 && same(outputs[0].id, outputs[1].id)) {
    return refuse("--journal " + printable(paths.journal) + " and --save-coloring " +
                  printable(paths.saveColoring) + " name the same file");
  }
  for (const Output& output : outputs) {
    const std::string overwrites =
        std::string(output.option) + " " + printable(output.path) + " would overwrite ";
    if (same(output.id, instance)) return refuse(overwrites + "the instance file");
    if (same(output.id, out)) return refuse(overwrites + "standard output");
    if (same(output.id, err)) return refuse(overwrites + "standard error");
  }
  if (same(out, instance)) {
    return refuse("standard output is the instance file " + printable(paths.instance));
  }
  return std::nullopt;
}

}  // namespace tintara
