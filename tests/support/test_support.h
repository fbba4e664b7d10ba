// Helpers shared by the tests: running the built executable, temporary
// instance files, and small graphs built in code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "coloring/coloring_sample.h"
#include "graph/graph.h"
#include "support/graphs.h"

namespace tintara::testing {

struct ProcessResult {
  std::string output;   // standard output, byte for byte
  std::string errors;   // standard error, byte for byte
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the terminating signal, if any
};

// Where the child's standard output goes.
enum class StandardOutput {
  Captured,    // a pipe read into ProcessResult::output
  FullDevice,  // /dev/full: every write fails with ENOSPC
  Closed,      // no descriptor 1 at all
  BrokenPipe,  // a pipe without a reader, SIGPIPE ignored: writes fail with EPIPE
};

// The options listing, as help and a parse error print it.
extern const std::string kListing;
// What help prints: the listing, an empty line and the two usage lines.
extern const std::string kHelp;
// What follows a parse error's line: the listing and an empty line.
extern const std::string kAfterParseError;
// The bundled 3x3 grid instance.
extern const std::string kGrid;

// In a child process: replaces it with the tintara executable run with
// `args` (each passed as one argument); exits with 127 if that fails.
[[noreturn]] void execTintara(const std::vector<std::string>& args);
// The same for any program.
[[noreturn]] void execProgram(const std::string& program, const std::vector<std::string>& args);

// Runs the tintara executable with `args` (each passed as one argument) and
// captures its standard output and standard error.
ProcessResult runTintaraBinary(const std::vector<std::string>& args,
                               StandardOutput out = StandardOutput::Captured);

// Runs `program` (a path) with `args`, capturing as runTintaraBinary does.
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args);

// Runs `program` like runProgram, its standard input a pipe fed `input` and
// then held open, and once its standard output holds `marker` sends it each
// of `signals` in turn, 0.3 s apart. A process still running 60 s after
// the start or the last signal is killed (SIGKILL) and so reported.
ProcessResult runAndSignal(const std::string& program, const std::vector<std::string>& args,
                           const std::string& marker, const std::vector<int>& signals,
                           const std::string& input = "");

// A report with its CPU figures taken out: the last number of every line
// that starts with a digit (counting mode), or the third number after the
// opening (chromatic mode).
std::string withoutCpu(const std::string& report);

// Standard input made of `head`, then `repeated` written `repeats` times
// (without end when negative, until the program stops reading), then `tail`.
struct StreamedInput {
  std::string head;
  std::string repeated;
  int64_t repeats = 0;
  std::string tail;
};

// Like runTintaraBinary, with the child's address space capped at
// `addressSpaceBytes` (RLIMIT_AS), so that what a test of memory limits sees
// does not depend on the machine; and its standard input, which
// "--problem /dev/stdin" reads, fed from `input` by a writer process.
// AddressSanitizer cannot start under such a cap: skip these in that build.
ProcessResult runTintaraBinaryCapped(const std::vector<std::string>& args,
                                     uint64_t addressSpaceBytes, const StreamedInput& input = {});

// Like runTintaraBinary, with the child's address space capped part way
// through: once its standard output first holds `marker`, its RLIMIT_AS
// becomes `addressSpaceBytes` (prlimit), and a cap below what it holds then
// makes every later allocation that needs new address space fail, as a
// limit the program cannot foresee would. Skip these in the
// AddressSanitizer build too.
ProcessResult runTintaraBinaryCappedAfter(const std::vector<std::string>& args,
                                          const std::string& marker, uint64_t addressSpaceBytes);

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

// A sample of `graph` with the given colours and their score.
ColoringSample coloredSample(const Graph& graph, RandomSource& random, int32_t k,
                             std::vector<int32_t> colors);

}  // namespace tintara::testing
