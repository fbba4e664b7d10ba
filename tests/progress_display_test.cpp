// The progress display: drawn on standard error only when it is a terminal,
// and erased before the run ends, so that the report reads as without it.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tintara::testing {
namespace {

// Runs the executable with standard error on a pseudo-terminal of `columns`
// columns and standard output on a pipe; returns what reached the terminal.
std::string terminalOutput(const std::vector<std::string>& args, unsigned short columns = 80) {
  int master = -1;
  int slave = -1;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = columns;
  if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return "openpty failed";
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
  for (ssize_t got; (got = read(outEnds[0], buffer, sizeof buffer)) > 0;)
    report.append(buffer, got);
  close(outEnds[0]);
  waitpid(pid, nullptr, 0);
  // The child has ended: what it wrote waits in the terminal's buffer.
  for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) terminal.append(buffer, got);
  close(master);
  // Counting mode's plain mean follows the summary on standard error: a
  // line of the report's, not of the display.
  return std::regex_replace(terminal, std::regex("plain mean of the [^\r\n]*\r\n"), "");
}

TEST(ProgressDisplay, DrawnOnATerminalAndErasedBeforeTheEnd) {
  const std::string grid = std::string(TINTARA_SOURCE_DIR "/examples/grid_6x6.txt");
  for (const auto& [args, text] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--problem", grid, "--seed", "1", "--terr", "0.3", "--decompose", "0"},
            " of the pilot run (from "},
           {{"--problem", grid, "--seed", "1", "--chrom", "1", "--bounds", "trivial"},
            ": bisection step"},
       }) {
    const std::string terminal = terminalOutput(args);
    EXPECT_NE(terminal.find(text), std::string::npos) << terminal;
    const std::string erase = "\033[K";
    ASSERT_GE(terminal.size(), erase.size());
    EXPECT_EQ(terminal.substr(terminal.size() - erase.size()), erase) << terminal;
  }
}

TEST(ProgressDisplay, EachTextFitsTheTerminalAndStartsWithItsChangingFigure) {
  const std::string grid = std::string(TINTARA_SOURCE_DIR "/examples/grid_6x6.txt");
  const std::vector<std::string> counting = {"--problem", grid,  "--seed",      "1",
                                             "--terr",    "0.1", "--decompose", "0"};
  const std::vector<std::string> chromatic = {"--problem", grid, "--seed",   "1",
                                              "--chrom",   "1",  "--bounds", "trivial"};
  for (const auto& args : {counting, chromatic}) {
    const std::string terminal = terminalOutput(args, 24);
    // Each text is followed by the backspaces and the clearing that erase it.
    int texts = 0;
    std::istringstream drawn(terminal);
    for (std::string text; std::getline(drawn, text, '\033');) {
      text.erase(0, text.find_first_not_of("[K"));
      text.erase(std::remove(text.begin(), text.end(), '\b'), text.end());
      if (text.empty()) continue;
      ++texts;
      EXPECT_LE(text.size(), 23u) << text;
      EXPECT_TRUE(std::regex_search(text, std::regex("^(level -?[0-9]+|RE [0-9.]+|k = [0-9]+)")))
          << text;
    }
    EXPECT_GT(texts, 0) << terminal;
  }
}

TEST(ProgressDisplay, NothingOffATerminal) {
  // Standard error holds what accompanies the report, counting mode's plain
  // mean, and no display.
  ProcessResult counting = runTintaraBinary(
      {"--problem", kGrid, "--seed", "1", "--terr", "0.3", "--workers", "2", "--decompose", "0"});
  EXPECT_EQ(counting.exitStatus, 0);
  EXPECT_TRUE(std::regex_match(counting.errors, std::regex("plain mean of the [^\n]*\n")))
      << counting.errors;
  ProcessResult chromatic = runTintaraBinary(
      {"--problem", kGrid, "--seed", "1", "--chrom", "1", "--workers", "2", "--bounds", "trivial"});
  EXPECT_EQ(chromatic.exitStatus, 0);
  EXPECT_EQ(chromatic.errors, "");
}

}  // namespace
}  // namespace tintara::testing
