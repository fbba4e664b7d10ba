// The progress display: drawn on standard error only when it is a terminal,
// and erased before the run ends, so that the report reads as without it.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tintara::testing {
namespace {

// Runs the executable with standard error on a pseudo-terminal and standard
// output on a pipe; returns what reached the terminal.
std::string terminalOutput(const std::vector<std::string>& args) {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
  int outEnds[2];
  if (pipe(outEnds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(slave, STDERR_FILENO);
    dup2(outEnds[1], STDOUT_FILENO);
    close(master);
    close(slave);
    close(outEnds[0]);
    close(outEnds[1]);
    execTintara(args);
  }
  close(slave);
  close(outEnds[1]);
  std::string report;
  std::string terminal;
  char buffer[4096];
  for (ssize_t got; (got = read(outEnds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
  close(outEnds[0]);
  waitpid(pid, nullptr, 0);
  // The child has ended: what it wrote waits in the terminal's buffer.
  for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) terminal.append(buffer, got);
  close(master);
  return terminal;
}

TEST(ProgressDisplay, DrawnOnATerminalAndErasedBeforeTheEnd) {
  const std::string grid = std::string(TINTARA_SOURCE_DIR) + "/examples/grid_6x6.txt";
  for (const auto& [args, text] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--problem", grid, "--seed", "1", "--terr", "0.3"}, " of the pilot run (from "},
           {{"--problem", grid, "--seed", "1", "--chrom", "1"}, ": bisection step"},
       }) {
    const std::string terminal = terminalOutput(args);
    EXPECT_NE(terminal.find(text), std::string::npos) << terminal;
    const std::string erase = "\033[K";
    ASSERT_GE(terminal.size(), erase.size());
    EXPECT_EQ(terminal.substr(terminal.size() - erase.size()), erase) << terminal;
  }
}

TEST(ProgressDisplay, NothingOffATerminal) {
  for (const char* chrom : {"0", "1"}) {
    ProcessResult r = runTintaraBinary(
        {"--problem", kGrid, "--seed", "1", "--chrom", chrom, "--terr", "0.3", "--workers", "2"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.errors, "") << "chrom " << chrom;
  }
}

}  // namespace
}  // namespace tintara::testing
