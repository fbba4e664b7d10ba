// Helpers shared by the tests: running the built executable, temporary
// instance files, and small graphs built in code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "graph/graph.h"
#include "support/graphs.h"

namespace tintara::testing {

struct ProcessResult {
  std::string output;   // standard output, byte for byte
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the terminating signal, if any
};

// Runs the tintara executable with `args` (each passed as one argument) and
// captures its standard output; standard error is discarded.
ProcessResult runTintaraBinary(const std::vector<std::string>& args);

// A file in a fresh temporary directory holding `contents`; removed with the
// directory when the object goes.
class TempFile {
 public:
  explicit TempFile(const std::string& contents, const std::string& name = "instance.txt");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return filePath; }
  const std::string& directory() const { return dirPath; }

 private:
  std::string dirPath;
  std::string filePath;
};

}  // namespace tintara::testing
