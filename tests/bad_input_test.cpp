// The catalogue of bad input: every kind of malformed option, malformed or
// unreadable instance file, run too large for the machine and graph without a
// proper colouring, run through the built executable. Each case checks the
// exact output and exit status, that no signal ended the process, and that it
// ended within a few seconds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <limits>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/settings.h"
#include "graph/input_error.h"
#include "graph/memory_limit.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

// Generous for the sanitizer build; every case here takes well under a second
// in the release build.
constexpr double kSecondsPerRun = 5.0;

std::string joined(const std::vector<std::string>& args) {
  std::string text;
  for (const auto& a : args) text += "[" + a + "] ";
  return text;
}

// Runs the binary and checks what every bad input must satisfy: an ordinary
// exit, no signal, and a bounded wall time.
ProcessResult runChecked(const std::vector<std::string>& args) {
  const auto start = std::chrono::steady_clock::now();
  ProcessResult r = runTintaraBinary(args);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.signal, 0) << joined(args);
  EXPECT_NE(r.exitStatus, -1) << joined(args);
  EXPECT_LT(took.count(), kSecondsPerRun) << joined(args);
  return r;
}

std::string countingHeader(const std::string& path, const std::string& N = "1000") {
  const std::string stars(79, '*');
  return stars + "\nStarting  experiments for " + path + " using N=" + N +
         ", rho=0.2 and target relative error=0.03\n" + stars + "\n" + stars +
         "\nIteration #  |  iteration estimator | average estimator   |  RE  |  CPU\n" + stars +
         "\n";
}

std::string chromaticPrefix(const std::string& path) {
  return path + " #bin E(T) CPU Chrom# ";
}

// Runs `args` in counting mode and in chromatic mode and expects `message`
// right after each mode's opening output, then exit status 1.
void expectInBothModes(const std::vector<std::string>& args, const std::string& path,
                       const std::string& message) {
  ProcessResult counting = runChecked(args);
  EXPECT_EQ(counting.output, countingHeader(path) + message) << joined(args);
  EXPECT_EQ(counting.exitStatus, 1) << joined(args);
  std::vector<std::string> chromaticArgs = args;
  chromaticArgs.insert(chromaticArgs.end(), {"--chrom", "1"});
  ProcessResult chromatic = runChecked(chromaticArgs);
  EXPECT_EQ(chromatic.output, chromaticPrefix(path) + message) << joined(chromaticArgs);
  EXPECT_EQ(chromatic.exitStatus, 1) << joined(chromaticArgs);
}

// --- Options -----------------------------------------------------------------

TEST(BadOptions, IntegerOptionsRefuseAnythingButA32BitInteger) {
  for (const char* option : {"--colors", "--N", "--chrom"}) {
    for (const char* value :
         {"abc", "", "nan", "inf", "-inf", "1.5", "1e3", "0x10", "2147483648", "-2147483649"}) {
      ProcessResult r = runChecked({"--problem", kGrid, option, value});
      EXPECT_EQ(r.output, kFailure) << option << " " << value;
      EXPECT_EQ(r.exitStatus, 1) << option << " " << value;
    }
  }
}

TEST(BadOptions, RealOptionsRefuseNonNumbersAndOverflow) {
  for (const char* option : {"--rho", "--terr"}) {
    for (const char* value : {"abc", "", "0.5x", "1e999", "-1e999", "--"}) {
      ProcessResult r = runChecked({"--problem", kGrid, option, value});
      EXPECT_EQ(r.output, kFailure) << option << " " << value;
      EXPECT_EQ(r.exitStatus, 1) << option << " " << value;
    }
  }
}

TEST(BadOptions, RealValuesOutsideTheirRangeAreNamedOnOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string rhoRange = " (allowed: 0 <= rho < 1)\n";
  const std::string terrRange = " (allowed: a finite number above 0)\n";
  const std::vector<Case> cases = {
      {{"--rho", "inf"}, "Invalid value for option rho: inf" + rhoRange},
      {{"--rho", "-inf", "--chrom", "1"}, "Invalid value for option rho: -inf" + rhoRange},
      {{"--rho", "nan", "--chrom", "1"}, "Invalid value for option rho: nan" + rhoRange},
      {{"--rho", "-nan"}, "Invalid value for option rho: -nan" + rhoRange},
      {{"--rho", "7"}, "Invalid value for option rho: 7" + rhoRange},
      {{"--terr", "nan"}, "Invalid value for option terr: nan" + terrRange},
      {{"--terr", "-inf"}, "Invalid value for option terr: -inf" + terrRange},
      {{"--terr", "-0.5"}, "Invalid value for option terr: -0.5" + terrRange},
      // Below the smallest double: read as 0.
      {{"--terr", "1e-400"}, "Invalid value for option terr: 0" + terrRange},
      {{"--colors", "-2147483648"},
       "Invalid value for option colors: -2147483648 (allowed: colors >= 1)\n"},
      {{"--N", "-2147483648", "--chrom", "1"},
       "Invalid value for option N: -2147483648 (allowed: N >= 1)\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--problem", kGrid});
    ProcessResult r = runChecked(args);
    EXPECT_EQ(r.output, c.message) << joined(c.args);
    EXPECT_EQ(r.exitStatus, 1) << joined(c.args);
  }
}

TEST(BadOptions, TargetTooSmallToEverBeMetIsRefused) {
  // After m runs the relative error is at least 1 / sqrt(m (m + 1)); no
  // run count the counter holds reaches a target below about 4.66e-10.
  ProcessResult r = runChecked({"--problem", kGrid, "--terr", "1e-12"});
  EXPECT_EQ(r.output,
            "Invalid value for option terr: 1e-12 (allowed: at least 4.65661e-10; a smaller "
            "target needs more than 2147483647 runs)\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(checkCountingSettings(3, 1000, 0.2, 4.6567e-10), std::nullopt);
  EXPECT_NE(checkCountingSettings(3, 1000, 0.2, 4.6565e-10), std::nullopt);
  EXPECT_NE(checkCountingSettings(3, 1000, 0.2, std::numeric_limits<double>::denorm_min()),
            std::nullopt);
}

TEST(BadOptions, RepeatedOrValuelessOptionsGiveTheListing) {
  const std::vector<std::vector<std::string>> cases = {
      {"--problem", kGrid, "--problem", kGrid},
      {"--problem", kGrid, "--colors", "3", "--colors", "3"},
      {"--problem", kGrid, "--col", "3", "--colors=4"},  // one option, two spellings
      {"--problem", kGrid, "--rho", "0.2", "--rho", "0.2"},
      {"--problem", kGrid, "--terr", "0.1", "--terr=0.1"},
      {"--problem", kGrid, "--chrom", "1", "--chrom", "1"},
      {"--help", "--help"},
      {"--problem", kGrid, "--colors"},
      {"--problem", kGrid, "--rho="},
      {"--problem"},
      {"--problem="},
      {"--problem", kGrid, "--chrom=", "1"},
  };
  for (const auto& args : cases) {
    ProcessResult r = runChecked(args);
    EXPECT_EQ(r.output, kFailure) << joined(args);
    EXPECT_EQ(r.exitStatus, 1) << joined(args);
  }
}

TEST(BadOptions, EmptyProblemPathIsAFileThatCannotBeOpened) {
  ProcessResult counting = runChecked({"--problem", ""});
  EXPECT_EQ(counting.output, countingHeader("") + "Error in openening file");
  EXPECT_EQ(counting.exitStatus, 1);
  ProcessResult chromatic = runChecked({"--problem", "", "--chrom", "1"});
  EXPECT_EQ(chromatic.output, chromaticPrefix("") + "Error in openening file");
  EXPECT_EQ(chromatic.exitStatus, 1);
}

// --- Instance files ----------------------------------------------------------

TEST(BadInstanceFiles, MalformedLinesEndEitherModeWithOneLine) {
  struct Case {
    std::string contents;
    std::string fault;  // the message after "Error in instance file PATH, "
  };
  const std::string zeroBased =
      " (vertex ids are 0-based; scripts/dimacs-to-instance converts 1-based DIMACS files)";
  const std::vector<Case> cases = {
      {"p\ne 0 1\n", "line 1: p line without a vertex count"},
      {"c x\ne 0 1\np", "line 3: p line without a vertex count"},
      {"p 3\ne 2\n", "line 2: edge line with fewer than two vertex ids"},
      {"e 0 1\ne\n", "line 2: edge line with fewer than two vertex ids"},
      {"p 3\ne 0 -1\n", "line 2: vertex id -1 is negative"},
      {"e -2147483648 0\n", "line 1: vertex id -2147483648 is negative"},
      {"p 2\ne 0 1\ne 1 2\n", "line 3: vertex id 2 is not below the vertex count 2" + zeroBased},
      // A 1-based file without a p line: ids 1..3 count 3 vertices.
      {"e 1 2\ne 2 3\ne 3 1\n", "line 2: vertex id 3 is not below the vertex count 3" + zeroBased},
      {"p 3\ne 0 2147483647\n", "line 2: vertex id 2147483647 is not below the vertex count 3"},
      {"p 2147483648\n", "line 1: vertex count 2147483648 does not fit in a 32-bit integer"},
      {"p 3\ne 4294967296 0\n", "line 2: vertex id 4294967296 does not fit in a 32-bit integer"},
      {"p 3\ne 0 -2147483649\n", "line 2: vertex id -2147483649 does not fit in a 32-bit integer"},
  };
  for (const Case& c : cases) {
    TempFile file(c.contents);
    expectInBothModes({"--problem", file.path()}, file.path(),
                      "Error in instance file " + file.path() + ", " + c.fault + "\n");
  }
}

TEST(BadInstanceFiles, FaultyTokensAreShownEscapedAndCutShort) {
  // A number of a million digits, and a Windows line end after an
  // overflowing count: the message stays one short, printable line.
  TempFile longNumber("p 3\ne 0 " + std::string(1'000'000, '7') + "\n");
  expectInBothModes({"--problem", longNumber.path()}, longNumber.path(),
                    "Error in instance file " + longNumber.path() +
                        ", line 2: vertex id 777777777777777777777777... (1000000 characters) "
                        "does not fit in a 32-bit integer\n");
  TempFile crlf("p 99999999999\r\ne 0 1\r\n");
  expectInBothModes({"--problem", crlf.path()}, crlf.path(),
                    "Error in instance file " + crlf.path() +
                        ", line 1: vertex count 99999999999\\r does not fit in a 32-bit integer\n");
}

TEST(BadInstanceFiles, PathsThatCannotBeReadInCountingMode) {
  // Chromatic mode is covered with the command-line tests.
  TempFile file("e 0 1\n");
  for (const std::string& path : {file.directory(), file.directory() + "/missing.txt"}) {
    ProcessResult r = runChecked({"--problem", path});
    EXPECT_EQ(r.output, countingHeader(path) + "Error in openening file");
    EXPECT_EQ(r.exitStatus, 1);
  }
}

TEST(BadInstanceFiles, DevicesAreFilesThatCannotBeOpened) {
  // /dev/zero is one endless line and /dev/urandom endless lines: read as
  // files they would fill the memory or never end.
  for (const std::string device : {"/dev/zero", "/dev/urandom", "/dev/null"}) {
    expectInBothModes({"--problem", device}, device, "Error in openening file");
  }
}

TEST(BadInstanceFiles, PipesAreStillRead) {
  TempFile file("");
  const std::string fifo = file.directory() + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Writes once the program opens the pipe for reading; gives up after a
  // few seconds if it never does.
  std::thread writer([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int fd = -1;
    while ((fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (fd < 0) return;
    const std::string text = "e 0 1\ne 1 2\n";
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
  });
  ProcessResult r = runChecked({"--problem", fifo, "--chrom", "1"});
  writer.join();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(
      std::regex_match(r.output, std::regex(".* #bin E\\(T\\) CPU Chrom# 3 [0-9.]+ [0-9.]+ 2\n")))
      << r.output;
}

TEST(BadInstanceFiles, ContentWithoutInstanceLinesIsAnEmptyGraph) {
  // Bytes of an executable's header and other binary noise: no line starts
  // with a "p" or "e" token, so every line is ignored.
  const char bytes[] =
      "\x7f"
      "ELF\x02\x01\x01\0\0\0\xff\xfe\r\n\x1b[2J\t\xe2\x82\xac\nP 3\nE 0 1\n\0e 0 1\n pe\n";
  const std::string garbage(bytes, sizeof bytes - 1);
  for (const std::string& contents : {std::string(), garbage}) {
    TempFile file(contents);
    ProcessResult r = runChecked({"--problem", file.path(), "--chrom", "1"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_TRUE(std::regex_match(r.output, std::regex(".* #bin E\\(T\\) CPU Chrom# 0 -?nan "
                                                      "[0-9.]+ 0\n")))
        << r.output;
  }
}

TEST(BadInstanceFiles, VeryLongLinesAreReadQuickly) {
  // Five million blanks after an edge, and a comment line of five million
  // characters: one edge on two vertices, whose chromatic number is 2.
  TempFile file("e 0 1" + std::string(5'000'000, ' ') + "\nc " + std::string(5'000'000, 'x') +
                "\n");
  ProcessResult r = runChecked({"--problem", file.path(), "--chrom", "1"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(
      std::regex_match(r.output, std::regex(".* #bin E\\(T\\) CPU Chrom# 2 [0-9.]+ [0-9.]+ 2\n")))
      << r.output;
}

// --- Runs too large for the machine ------------------------------------------

TEST(OversizedRuns, VertexCountBeyondMemoryEndsThroughTheFailureGuard) {
  // The lists alone would take 48 GB or more: refused before allocating.
  // (On a machine with more memory than that, the run check below refuses
  // the run instead, after a slow read.)
  for (const char* count : {"2147483647", "2000000000"}) {
    TempFile file("p " + std::string(count) + "\ne 0 1\n");
    ProcessResult counting = runChecked({"--problem", file.path()});
    EXPECT_EQ(counting.output, countingHeader(file.path()) + kFailure) << count;
    EXPECT_EQ(counting.exitStatus, 1);
    ProcessResult chromatic = runChecked({"--problem", file.path(), "--chrom", "1"});
    EXPECT_EQ(chromatic.output, chromaticPrefix(file.path()) + kFailure) << count;
    EXPECT_EQ(chromatic.exitStatus, 1);
  }
}

TEST(OversizedRuns, PopulationsBeyondMemoryAreRefusedOnOneLine) {
  // 20 million vertices read in a moment, but 1000 samples of them need
  // about 300 GiB; and N near 2^31 samples of the 3x3 grid need hundreds.
  TempFile manyVertices("p 20000000\ne 0 1\n");
  struct Case {
    std::vector<std::string> args;
    std::string path;
    std::string N;
    std::string vertices;
  };
  const std::vector<Case> cases = {
      {{"--problem", manyVertices.path()}, manyVertices.path(), "1000", "20000000"},
      {{"--problem", kGrid, "--N", "2147483647"}, kGrid, "2147483647", "9"},
  };
  const std::string number = "[0-9]+\\.[0-9]";
  for (const Case& c : cases) {
    for (bool chromatic : {false, true}) {
      std::vector<std::string> args = c.args;
      if (chromatic) args.insert(args.end(), {"--chrom", "1"});
      ProcessResult r = runChecked(args);
      const std::string opening = chromatic ? chromaticPrefix(c.path) : countingHeader(c.path, c.N);
      ASSERT_EQ(r.output.substr(0, opening.size()), opening) << joined(args);
      const std::string line = r.output.substr(opening.size());
      EXPECT_TRUE(
          std::regex_match(line, std::regex("Not enough memory for this run: about " + number +
                                            " GiB needed for N=" + c.N + " colorings of " +
                                            c.vertices + " vertices, " + number + " GiB usable\n")))
          << line;
      EXPECT_EQ(r.exitStatus, 1);
    }
  }
}

TEST(OversizedRuns, EnormousColourCountsCostNoMoreThanFewColours) {
  // Random colourings of the grid are almost surely proper: the pilot run
  // reaches 0 at once.
  ProcessResult grid = runChecked({"--problem", kGrid, "--colors", "2147483647", "--terr", "0.5"});
  EXPECT_EQ(grid.exitStatus, 0);
  EXPECT_NE(grid.output.find("# LEVELS = 2\n"), std::string::npos) << grid.output;
  // A self-loop keeps every sample below 0, so every iteration moves all
  // samples with 2^31 - 1 colours to choose from, until the pilot stagnates.
  TempFile loop("p 2\ne 0 1\ne 1 1\n");
  ProcessResult counting = runChecked({"--problem", loop.path(), "--colors", "2147483647"});
  EXPECT_EQ(counting.output, countingHeader(loop.path()) +
                                 "The pilot run stagnated at level -2 without reaching a proper "
                                 "coloring with 2147483647 colors, so no estimate is made\n");
  EXPECT_EQ(counting.exitStatus, 1);
}

TEST(RunMemoryCheck, RefusesExactlyTheRunsAboveTheUsableMemory) {
  // Only the counts matter to the check.
  const double needed = splittingRunBytes(100'000'000, 5, 1000, 1);
  // Two lists of 4e8 bytes per sample, N samples: the population regrows in
  // its own storage, so no second copy of it is held.
  EXPECT_GT(needed, 1000 * 2 * 4e8);
  EXPECT_LT(needed, 1.01 * (1000 * 2 * 4e8));
  const auto fits = static_cast<uint64_t>(needed) + 1;
  EXPECT_NO_THROW(checkRunMemory(100'000'000, 5, 1000, 1, fits));
  try {
    checkRunMemory(100'000'000, 5, 1000, 1, 1ull << 30);
    ADD_FAILURE() << "not refused";
  } catch (const InputError& error) {
    EXPECT_TRUE(std::regex_match(
        error.what(), std::regex("Not enough memory for this run: about 74[0-9]\\.[0-9] GiB "
                                 "needed for N=1000 colorings of 100000000 vertices, "
                                 "1\\.0 GiB usable")))
        << error.what();
  }
  // Halving N halves the population, which is nearly all of it; each thread
  // holds a population of its own.
  EXPECT_NEAR(splittingRunBytes(100'000'000, 5, 500, 1) / needed, 0.5, 0.01);
  EXPECT_NEAR(splittingRunBytes(100'000'000, 5, 1000, 3) / needed, 3.0, 0.01);
}

TEST(RunMemoryCheck, UsableMemoryIsSomeButNoMoreThanTheMachineHas) {
  const uint64_t usable = usableMemoryBytes();
  const auto physical =
      static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  EXPECT_LE(usable, physical);
  EXPECT_GE(usable, uint64_t{256} << 20);  // any machine that runs the suite has this
}

// --- Graphs without a proper colouring ---------------------------------------

TEST(NoProperColouring, ChromaticModeStillReportsANumber) {
  // Counting mode's single line for these graphs is covered with its report.
  struct Case {
    std::string contents;
    std::string stepsAndNumber;  // k = 2 and 3 fail: lo climbs to the vertex count
  };
  const std::vector<Case> cases = {
      {"p 3\ne 0 1\ne 1 1\n", "2 3"},                         // a self-loop: no k works
      {"e 0 0\n", "1 1"},                                     // one vertex, its own neighbour
      {"e 0 1\ne 0 2\ne 0 3\ne 1 2\ne 1 3\ne 2 3\n", "3 4"},  // K4 with 2, 3 failing, 4 passing
  };
  for (const Case& c : cases) {
    TempFile file(c.contents);
    ProcessResult r = runChecked({"--problem", file.path(), "--chrom", "1"});
    EXPECT_EQ(r.exitStatus, 0);
    const std::string steps = c.stepsAndNumber.substr(0, c.stepsAndNumber.find(' '));
    const std::string number = c.stepsAndNumber.substr(c.stepsAndNumber.find(' ') + 1);
    EXPECT_TRUE(std::regex_match(r.output, std::regex(".* #bin E\\(T\\) CPU Chrom# " + steps +
                                                      " [0-9.]+ [0-9.]+ " + number + "\n")))
        << c.contents << " gave " << r.output;
  }
}

}  // namespace
}  // namespace tintara::testing
