// The catalogue of bad input: every kind of malformed option, malformed or
// unreadable instance file, run too large for the machine and graph without a
// proper colouring, run through the built executable. Each case checks the
// exact output and exit status, and that no signal ended the process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/settings.h"
#include "engine/worker_thread.h"
#include "graph/run_graph.h"
#include "process/failures.h"
#include "process/memory_limit.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

std::string joined(const std::vector<std::string>& args) {
  std::string text;
  for (const auto& a : args) text += "[" + a + "] ";
  return text;
}

// Runs the binary and checks what every bad input must satisfy: an ordinary
// exit, no signal.
ProcessResult runChecked(const std::vector<std::string>& args) {
  ProcessResult r = runTintaraBinary(args);
  EXPECT_EQ(r.signal, 0) << joined(args);
  EXPECT_NE(r.exitStatus, -1) << joined(args);
  return r;
}

// A parse error: one line of the parser's own words naming `option`, then
// the listing and an empty line, exit status 1.
void expectParseError(const std::vector<std::string>& args, const std::string& option) {
  ProcessResult r = runChecked(args);
  const std::size_t lineEnd = r.output.find('\n');
  ASSERT_NE(lineEnd, std::string::npos) << joined(args);
  EXPECT_NE(r.output.substr(0, lineEnd).find(option), std::string::npos)
      << joined(args) << " gave " << r.output.substr(0, lineEnd);
  EXPECT_EQ(r.output.substr(lineEnd + 1), kAfterParseError) << joined(args);
  EXPECT_EQ(r.exitStatus, 1) << joined(args);
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

TEST(BadOptions, MalformedValuesNameTheOptionBeforeTheListing) {
  for (const char* option : {"--colors", "--N", "--chrom", "--workers"}) {
    for (const char* value :
         {"abc", "", "nan", "inf", "-inf", "1.5", "1e3", "0x10", "2147483648", "-2147483649"}) {
      expectParseError({"--problem", kGrid, option, value}, option);
    }
  }
  for (const char* option : {"--rho", "--terr"}) {
    for (const char* value : {"abc", "", "0.5x", "1e999", "-1e999", "--"}) {
      expectParseError({"--problem", kGrid, option, value}, option);
    }
  }
}

TEST(BadOptions, ValuesOutsideTheirRangeAreNamedOnOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string rhoRange = " (allowed: 0 <= rho < 1)\n";
  const std::string terrRange = " (allowed: 4.65662e-10 <= terr < 1)\n";
  const std::string seedRange = " (allowed: an integer from 0 to 18446744073709551615)\n";
  const std::vector<Case> cases = {
      {{"--rho", "inf"}, "Invalid value for option rho: inf" + rhoRange},
      {{"--rho", "-inf", "--chrom", "1"}, "Invalid value for option rho: -inf" + rhoRange},
      {{"--rho", "nan", "--chrom", "1"}, "Invalid value for option rho: nan" + rhoRange},
      {{"--rho", "-nan"}, "Invalid value for option rho: -nan" + rhoRange},
      {{"--rho", "7"}, "Invalid value for option rho: 7" + rhoRange},
      {{"--terr", "nan"}, "Invalid value for option terr: nan" + terrRange},
      {{"--terr", "-inf"}, "Invalid value for option terr: -inf" + terrRange},
      {{"--terr", "-0.5"}, "Invalid value for option terr: -0.5" + terrRange},
      {{"--terr", "0"}, "Invalid value for option terr: 0" + terrRange},
      {{"--terr", "1e-400"}, "Invalid value for option terr: 0" + terrRange},  // read as 0
      {{"--terr", "4.65661e-10"}, "Invalid value for option terr: 4.65661e-10" + terrRange},
      {{"--terr", "1"}, "Invalid value for option terr: 1" + terrRange},
      {{"--terr", "inf"}, "Invalid value for option terr: inf" + terrRange},
      {{"--colors", "-2147483648"},
       "Invalid value for option colors: -2147483648 (allowed: colors >= 1)\n"},
      {{"--N", "-2147483648", "--chrom", "1"},
       "Invalid value for option N: -2147483648 (allowed: N >= 1)\n"},
      {{"--chrom", "2"}, "Invalid value for option chrom: 2 (allowed: 0 or 1)\n"},
      {{"--chrom", "-1", "--N", "0"}, "Invalid value for option chrom: -1 (allowed: 0 or 1)\n"},
      {{"--workers", "-1"},
       "Invalid value for option workers: -1 (allowed: 0 <= workers <= 1024; 0 means one per "
       "hardware thread)\n"},
      {{"--seed", "-1"}, "Invalid value for option seed: -1" + seedRange},
      {{"--seed", "18446744073709551616"},
       "Invalid value for option seed: 18446744073709551616" + seedRange},
      {{"--seed", "1e3", "--chrom", "1"}, "Invalid value for option seed: 1e3" + seedRange},
      {{"--seed", ""}, "Invalid value for option seed: " + seedRange},
      {{"--decompose", "2"}, "Invalid value for option decompose: 2 (allowed: 0 or 1)\n"},
      {{"--decompose", "1", "--chrom", "1"},
       "--decompose is for counting mode; chromatic mode does not count by blocks\n"},
      {{"--move", "gibbs"},
       "--move is for chromatic mode; counting mode moves by the Gibbs sweep alone\n"},
      {{"--move", "tabu", "--chrom", "1", "--bounds", "trivial"},
       "--move tabu needs the greedy bounds; --bounds trivial moves by the Gibbs sweep\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--problem", kGrid});
    ProcessResult r = runChecked(args);
    EXPECT_EQ(r.output, c.message) << joined(c.args);
    EXPECT_EQ(r.exitStatus, 1) << joined(c.args);
  }
}

TEST(BadOptions, TheTargetBoundsThatArePrintedAreTheOnesApplied) {
  // After m runs the relative error is at least 1 / sqrt(m (m + 1)); no
  // run count below 2^31 reaches a target under about 4.6566e-10.
  RunSettings settings;
  settings.terr = 4.65662e-10;
  EXPECT_EQ(checkSettings(settings), std::nullopt);
  EXPECT_EQ(smallestTerr(), 4.65662e-10);
  settings.terr = std::nextafter(1.0, 0.0);
  EXPECT_EQ(checkSettings(settings), std::nullopt);
  settings.terr = std::nextafter(smallestTerr(), 0.0);
  EXPECT_NE(checkSettings(settings), std::nullopt);
  // Chromatic mode uses no target and no colour count.
  settings.chrom = 1;
  settings.colors = 0;
  EXPECT_EQ(checkSettings(settings), std::nullopt);
}

TEST(BadOptions, RepeatedOrValuelessOptionsAreNamed) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--problem", kGrid, "--problem", kGrid}, "--problem"},
      {{"--problem", kGrid, "--colors", "3", "--colors", "3"}, "--colors"},
      {{"--problem", kGrid, "--col", "3", "--colors=4"}, "--colors"},  // one option, two spellings
      {{"--problem", kGrid, "--rho", "0.2", "--rho", "0.2"}, "--rho"},
      {{"--problem", kGrid, "--terr", "0.1", "--terr=0.1"}, "--terr"},
      {{"--problem", kGrid, "--chrom", "1", "--chrom", "1"}, "--chrom"},
      {{"--problem", kGrid, "--seed", "1", "--seed", "1"}, "--seed"},
      {{"--help", "--help"}, "--help"},
      {{"--problem", kGrid, "--colors"}, "--colors"},
      {{"--problem", kGrid, "--rho="}, "--rho"},
      {{"--problem"}, "--problem"},
      {{"--problem="}, "--problem"},
      {{"--problem", kGrid, "--chrom=", "1"}, "--chrom"},
      {{"--problem", kGrid, "--bogus", "1"}, "--bogus"},
      {{"--problem", kGrid, "--c", "3"}, "--c"},  // ambiguous: colors or chrom
  };
  for (const auto& [args, option] : cases) expectParseError(args, option);
}

TEST(BadOptions, StrayWordsAreNamedNotDropped) {
  for (const auto& [args, word] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--problem", kGrid, "--N", "100", "000"}, "000"},
           {{"--problem", kGrid, kGrid}, kGrid},
           {{"stray"}, "stray"},
       }) {
    ProcessResult r = runChecked(args);
    EXPECT_EQ(r.output,
              "Unexpected argument: " + word + " (every value follows the name of its option)\n");
    EXPECT_EQ(r.exitStatus, 1);
  }
}

TEST(BadOptions, EmptyProblemPathIsAFileThatCannotBeOpened) {
  expectInBothModes({"--problem", ""}, "", "Error in openening file : No such file or directory\n");
}

// --- Instance files ----------------------------------------------------------

TEST(BadInstanceFiles, MalformedLinesEndEitherModeWithOneLine) {
  struct Case {
    std::string contents;
    std::string fault;  // the message after "Error in instance file PATH"
  };
  const std::string zeroBased =
      " (vertex ids are 0-based; a 1-based DIMACS file needs its \"p edge N M\" line)";
  const std::vector<Case> cases = {
      {"p\ne 0 1\n", ", line 1: p line without a vertex count"},
      {"c x\ne 0 1\np", ", line 3: p line without a vertex count"},
      {"p 3\ne 2\n", ", line 2: edge line with fewer than two vertex ids"},
      {"e 0 1\ne\n", ", line 2: edge line with fewer than two vertex ids"},
      {"p 3\ne 0 -1\n", ", line 2: vertex id -1 is negative"},
      {"e -2147483648 0\n", ", line 1: vertex id -2147483648 is negative"},
      {"p 2\ne 0 1\ne 1 2\n", ", line 3: vertex id 2 is not below the vertex count 2"},
      // A 1-based file without a p line: ids 1..3 count 3 vertices.
      {"e 1 2\ne 2 3\ne 3 1\n",
       ", line 2: vertex id 3 is not below the 3 distinct ids counted" + zeroBased},
      {"p 3\ne 0 2147483647\n", ", line 2: vertex id 2147483647 is not below the vertex count 3"},
      {"p 2147483648\n", ", line 1: vertex count 2147483648 does not fit in a 32-bit integer"},
      {"p 3\ne 4294967296 0\n", ", line 2: vertex id 4294967296 does not fit in a 32-bit integer"},
      {"p 3\ne 0 -2147483649\n",
       ", line 2: vertex id -2147483649 does not fit in a 32-bit integer"},
      {"p 3\ne 0 x\n", ", line 2: vertex id x is not a whole number"},
      {"p 1e3\n", ", line 1: vertex count 1e3 is not a whole number"},
      {"p -5\n", ", line 1: vertex count -5 is negative"},
      {"p edge 3 2\ne 1 2\ne 2 4\n", ", line 3: vertex id 4 is above the vertex count 3"},
      {"0 1\n1 2\n", ": no p or e line: not an instance file"},
  };
  for (const Case& c : cases) {
    TempFile file(c.contents);
    expectInBothModes({"--problem", file.path()}, file.path(),
                      "Error in instance file " + file.path() + c.fault + "\n");
  }
}

TEST(BadInstanceFiles, FaultyTokensAreShownEscapedAndCutShort) {
  // A number of a million digits, and a carriage return inside a token: the
  // message stays one short, printable line.
  TempFile longNumber("p 3\ne 0 " + std::string(1'000'000, '7') + "\n");
  expectInBothModes({"--problem", longNumber.path()}, longNumber.path(),
                    "Error in instance file " + longNumber.path() +
                        ", line 2: vertex id 777777777777777777777777... (1000000 characters) "
                        "does not fit in a 32-bit integer\n");
  TempFile carriageReturn("p 3\r\ne 0 1\r2\r\n");
  expectInBothModes({"--problem", carriageReturn.path()}, carriageReturn.path(),
                    "Error in instance file " + carriageReturn.path() +
                        ", line 2: vertex id 1\\r2 is not a whole number\n");
}

TEST(BadInstanceFiles, PathsThatCannotBeReadAreNamedWithTheReason) {
  TempFile file("e 0 1\n");
  const std::string missing = file.directory() + "/missing.txt";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {file.directory(), "a directory"},
      {missing, "No such file or directory"},
      {missing + "/x", "No such file or directory"},
      {file.path() + "/x", "Not a directory"},
      // /dev/zero is one endless line and /dev/urandom endless lines: read
      // as files they would fill the memory or never end.
      {"/dev/zero", "a device, not an instance file"},
      {"/dev/urandom", "a device, not an instance file"},
      {"/dev/null", "a device, not an instance file"},
  };
  for (const auto& [path, reason] : cases) {
    expectInBothModes({"--problem", path}, path,
                      "Error in openening file " + path + ": " + reason + "\n");
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
  ProcessResult r = runChecked({"--problem", fifo, "--chrom", "1", "--bounds", "trivial"});
  writer.join();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(
      std::regex_match(r.output, std::regex(".* #bin E\\(T\\) CPU Chrom# 3 [0-9.]+ [0-9.]+ 2\n")))
      << r.output;
}

TEST(BadInstanceFiles, ContentWithoutPOrELinesIsRefusedButCommentsAloneAreAnEmptyGraph) {
  // Bytes of an executable's header and other binary noise: no line starts
  // with a "p" or "e" token.
  const char bytes[] =
      "\x7f"
      "ELF\x02\x01\x01\0\0\0\xff\xfe\r\n\x1b[2J\t\xe2\x82\xac\nP 3\nE 0 1\n\0e 0 1\n pe\n";
  TempFile garbage(std::string(bytes, sizeof bytes - 1));
  expectInBothModes(
      {"--problem", garbage.path()}, garbage.path(),
      "Error in instance file " + garbage.path() + ": no p or e line: not an instance file\n");
  for (const std::string& contents : {std::string(), std::string("c only\n\n \t\r\nc words\n")}) {
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
  ProcessResult r = runChecked({"--problem", file.path(), "--chrom", "1", "--bounds", "trivial"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(
      std::regex_match(r.output, std::regex(".* #bin E\\(T\\) CPU Chrom# 2 [0-9.]+ [0-9.]+ 2\n")))
      << r.output;
}

// --- Runs too large for the machine ------------------------------------------

// The memory tests give the program its own address-space cap, so that they
// hold on any machine. AddressSanitizer reserves terabytes of address space
// at start and cannot run under one.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCapsWork = false;
#else
constexpr bool kCapsWork = true;
#endif

TEST(OversizedRuns, GraphsBeyondAMemoryCapAreRefusedOnOneLine) {
  if (!kCapsWork) GTEST_SKIP() << "no address-space cap under AddressSanitizer";
  constexpr uint64_t kCap = uint64_t{128} << 20;
  const std::string number = "[0-9]+\\.[0-9]";
  const std::string usable = ", " + number + " MiB usable\n";
  std::string edgeLines;  // written 60 kB a time
  for (int i = 0; i < 5000; ++i) edgeLines += "e 0 1\ne 1 2\n";
  TempFile allIds("p 2147483647\ne 0 1\n");
  TempFile manyIds("p 200000000\ne 0 1\n");
  struct Case {
    std::string path;
    StreamedInput input;
    std::string what;
  };
  const std::vector<Case> cases = {
      {allIds.path(), {}, "the graph of 2147483647 vertices and 1 edge lines"},
      {manyIds.path(), {}, "the graph of 200000000 vertices and 1 edge lines"},
      // Edge lines without end.
      {"/dev/stdin", {"", edgeLines, -1, ""}, "the graph's first [0-9]+ edge lines"},
  };
  for (const Case& c : cases) {
    for (bool chromatic : {false, true}) {
      std::vector<std::string> args = {"--problem", c.path};
      if (chromatic) args.insert(args.end(), {"--chrom", "1"});
      const ProcessResult r = runTintaraBinaryCapped(args, kCap, c.input);
      const std::string opening = chromatic ? chromaticPrefix(c.path) : countingHeader(c.path);
      ASSERT_EQ(r.output.substr(0, opening.size()), opening) << joined(args);
      const std::string line = r.output.substr(opening.size());
      EXPECT_TRUE(
          std::regex_match(line, std::regex("Not enough memory for this run: about " + number +
                                            " [MG]iB needed for " + c.what + usable)))
          << line;
      EXPECT_EQ(r.exitStatus, 1) << joined(args);
    }
  }
}

TEST(OversizedRuns, ACommentLineLargerThanTheMemoryCapIsPassedOver) {
  if (!kCapsWork) GTEST_SKIP() << "no address-space cap under AddressSanitizer";
  // A triangle whose last edge follows a comment of 20 million words, 60 MB,
  // under a cap of 48 MiB: the chromatic number 3 shows the edge was read.
  std::string words;
  for (int i = 0; i < 100'000; ++i) words += "ab ";
  const StreamedInput input{"e 0 1\ne 1 2\nc ", words, 200, "\ne 2 0\n"};
  const ProcessResult r =
      runTintaraBinaryCapped({"--problem", "/dev/stdin", "--chrom", "1", "--bounds", "trivial"},
                             uint64_t{48} << 20, input);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(std::regex_match(
      r.output, std::regex("/dev/stdin #bin E\\(T\\) CPU Chrom# [0-9]+ [0-9.]+ [0-9.]+ 3\n")))
      << r.output;
}

TEST(OversizedRuns, PopulationsBeyondMemoryAreRefusedOnOneLine) {
  // 20 million vertices read in a moment, but 1000 samples of them need
  // about 300 GiB; and N near 2^31 samples of the 3x3 grid need hundreds.
  // Counted by parts, both are exact and make no population; a torus, one
  // hard block, is refused once the plan has found it.
  TempFile manyVertices("p 20000000\ne 0 1\n");
  TempFile torus(instanceText(64, torusEdges(8)));
  struct Case {
    std::vector<std::string> args;
    std::string path;
    std::string N;
    std::string vertices;
    bool byParts;
  };
  const std::vector<Case> cases = {
      {{"--problem", manyVertices.path()}, manyVertices.path(), "1000", "20000000", false},
      {{"--problem", kGrid, "--N", "2147483647"}, kGrid, "2147483647", "9", false},
      {{"--problem", torus.path(), "--N", "2147483647"}, torus.path(), "2147483647", "64", true},
  };
  const std::string number = "[0-9]+\\.[0-9]";
  for (const Case& c : cases) {
    for (bool chromatic : {false, true}) {
      std::vector<std::string> args = c.args;
      if (chromatic) args.insert(args.end(), {"--chrom", "1"});
      if (!chromatic && !c.byParts) args.insert(args.end(), {"--decompose", "0"});
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
  // Random colourings of the grid are almost surely proper: split whole,
  // the pilot run reaches 0 at once; by parts, the elimination over
  // colour patterns counts it exactly, at any number of colours.
  ProcessResult grid = runChecked(
      {"--problem", kGrid, "--colors", "2147483647", "--terr", "0.5", "--decompose", "0"});
  EXPECT_EQ(grid.exitStatus, 0);
  EXPECT_NE(grid.output.find("# LEVELS = 2\n"), std::string::npos) << grid.output;
  grid = runChecked({"--problem", kGrid, "--colors", "2147483647"});
  EXPECT_EQ(grid.exitStatus, 0);
  EXPECT_NE(grid.output.find("# LEVELS = 0\n"), std::string::npos) << grid.output;
  // A self-loop leaves no proper colouring however many colours there are;
  // it is named before any run.
  TempFile loop("p 2\ne 0 1\ne 1 1\n");
  ProcessResult counting = runChecked({"--problem", loop.path(), "--colors", "2147483647"});
  EXPECT_EQ(counting.output, countingHeader(loop.path()) +
                                 "Vertex 1 has a self-loop, so no proper coloring exists\n");
  EXPECT_EQ(counting.exitStatus, 1);
}

TEST(OversizedRuns, SmallCapsGiveAReportOrOneLineNeverTheListing) {
  if (!kCapsWork) GTEST_SKIP() << "no address-space cap under AddressSanitizer";
  // What the program holds at start differs between machines, so most caps
  // here may go either way; but four stacks of 4 MiB alone fill 16 MiB, and
  // 48 MiB is ample for the Petersen graph even on four threads (malloc's
  // per-thread arenas would reserve 64 MiB each).
  enum Outcome { Report, Refused, Either };
  struct Case {
    uint64_t capMiB;
    const char* workers;
    Outcome expected;
  };
  const std::vector<Case> cases = {
      {12, "1", Either}, {16, "4", Refused}, {24, "4", Either},
      {48, "1", Report}, {48, "4", Report},
  };
  const std::string path = std::string(TINTARA_SOURCE_DIR "/examples/petersen.txt");
  const std::regex oneLine(
      "(Not enough memory for this run(: about .* [MG]iB usable)?|Cannot start a worker thread: "
      ".*)\n");
  for (const Case& c : cases) {
    for (bool chromatic : {false, true}) {
      std::vector<std::string> args = {"--problem", path, "--seed", "1", "--workers", c.workers};
      if (chromatic) args.insert(args.end(), {"--chrom", "1"});
      const ProcessResult r = runTintaraBinaryCapped(args, c.capMiB << 20);
      const std::string label = joined(args) + "under " + std::to_string(c.capMiB) + " MiB:\n";
      EXPECT_EQ(r.signal, 0) << label;
      const std::string opening = chromatic ? chromaticPrefix(path) : countingHeader(path);
      ASSERT_EQ(r.output.substr(0, opening.size()), opening) << label << r.output;
      // Counting mode's lines so far, if any, stay before the one line.
      const std::string rest = r.output.substr(opening.size());
      const std::size_t lastLine = rest.rfind('\n', rest.size() - 2) + 1;  // 0 when one line
      const bool reported =
          r.exitStatus == 0 &&
          (chromatic ? std::regex_match(rest, std::regex("[0-9]+ [0-9.]+ [0-9.]+ 3\n"))
                     : rest.find("Result Summary") != std::string::npos);
      const bool refused = r.exitStatus == 1 && (!chromatic || lastLine == 0) &&
                           rest.find("Allowed options") == std::string::npos &&
                           std::regex_match(rest.substr(lastLine), oneLine);
      EXPECT_TRUE(reported || refused) << label << rest;
      if (c.expected == Report) {
        EXPECT_TRUE(reported) << label << rest;
      }
      if (c.expected == Refused) {
        EXPECT_TRUE(rest.starts_with("Not enough memory for this run: about")) << label << rest;
      }
    }
  }
}

TEST(OversizedRuns, AnAllocationThatFailsPartWayEndsWithOneLine) {
  if (!kCapsWork) GTEST_SKIP() << "no address-space cap under AddressSanitizer";
  // Ten million vertices without edges: each of a sample's lists takes 40 MB,
  // mapped afresh for every run (beyond the blocks malloc keeps in its heap).
  // Once the first run's line is out, the address space is capped below what
  // the process holds, so a later run cannot make its population: a
  // std::bad_alloc that no check could foresee, in a worker thread.
  TempFile empty("p 10000000\n");
  const std::regex report(
      std::regex_replace(countingHeader(empty.path(), "1"), std::regex("[.*()|]"), "\\$&") +
      "\\*{79}\n# LEVELS = 2\n\\*{79}\n([0-9]+ [^\n]*\n)+"
      "Not enough memory for this run\n");
  for (const char* workers : {"1", "2"}) {
    const std::vector<std::string> args = {"--problem",   empty.path(), "--N",       "1",
                                           "--seed",      "1",          "--workers", workers,
                                           "--decompose", "0"};
    const ProcessResult r = runTintaraBinaryCappedAfter(args, "\n1 ", uint64_t{64} << 20);
    EXPECT_EQ(r.signal, 0) << joined(args);
    EXPECT_EQ(r.exitStatus, 1) << joined(args);
    EXPECT_TRUE(std::regex_match(r.output, report)) << joined(args) << r.output;
  }
}

TEST(RunMemoryCheck, EachKindOfLimitIsComparedWithWhatItCounts) {
  // Only the counts matter to the check.
  const RunFootprint one{1000, 1, 0};
  const double needed = residentRunBytes(100'000'000, 5, one);
  // Two lists of 4e8 bytes per sample, N samples: the population regrows in
  // its own storage, so no second copy of it is held.
  EXPECT_GT(needed, 1000 * 2 * 4e8);
  EXPECT_LT(needed, 1.01 * (1000 * 2 * 4e8));
  try {
    checkRunMemory(100'000'000, 5, one, {UINT64_MAX, 1ull << 30});
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
  EXPECT_NEAR(residentRunBytes(100'000'000, 5, {500, 1, 0}) / needed, 0.5, 0.01);
  EXPECT_NEAR(residentRunBytes(100'000'000, 5, {1000, 3, 0}) / needed, 3.0, 0.01);

  // A small graph on four threads: the stacks are most of the address space
  // the runs take, and a physical or group limit does not count them.
  const RunFootprint four{100, 4, 5, false, sizeof(ColoringSample)};
  const auto resident = static_cast<uint64_t>(residentRunBytes(1000, 2000, four));
  const auto space = static_cast<uint64_t>(addressSpaceRunBytes(1000, 2000, four));
  EXPECT_GE(space, resident + 4 * kWorkerStackBytes);
  struct Case {
    UsableMemory usable;
    bool fits;
  };
  const std::vector<Case> cases = {
      {{space + 1, resident + 1}, true},
      {{UINT64_MAX, resident + 1}, true},  // no address-space limit: the stacks are free
      {{space - 4096, UINT64_MAX}, false},
      {{UINT64_MAX, resident - 4096}, false},
  };
  for (const Case& c : cases) {
    bool fits = true;
    try {
      checkRunMemory(1000, 2000, four, c.usable);
    } catch (const InputError&) {
      fits = false;
    }
    EXPECT_EQ(fits, c.fits) << c.usable.addressSpace << " " << c.usable.resident;
  }
}

TEST(RunMemoryCheck, UsableMemoryIsSomeButNoMoreThanTheMachineHas) {
  const uint64_t usable = usableMemoryBytes();
  const auto physical =
      static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  EXPECT_LE(usable, physical);
  EXPECT_GE(usable, uint64_t{256} << 20);  // any machine that runs the suite has this
}

// --- Graphs without a proper colouring ---------------------------------------

TEST(NoProperColouring, SelfLoopsAreNamedAndOtherGraphsGetANumber) {
  // Counting mode's single line for a graph it cannot colour with k colours
  // is covered with its report.
  for (const auto& [contents, loop] : std::vector<std::pair<std::string, std::string>>{
           {"p 3\ne 0 1\ne 1 1\ne 2 2\n", "1"},  // the smallest vertex with a loop is named
           {"e 0 0\n", "0"},                     // one vertex, its own neighbour
       }) {
    TempFile file(contents);
    expectInBothModes({"--problem", file.path()}, file.path(),
                      "Vertex " + loop + " has a self-loop, so no proper coloring exists\n");
  }
  // K4, searched from [0, 4]: k = 2 and 3 fail, 4 passes; three steps.
  TempFile k4("e 0 1\ne 0 2\ne 0 3\ne 1 2\ne 1 3\ne 2 3\n");
  ProcessResult r = runChecked({"--problem", k4.path(), "--chrom", "1", "--bounds", "trivial"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(
      std::regex_match(r.output, std::regex(".* #bin E\\(T\\) CPU Chrom# 3 [0-9.]+ [0-9.]+ 4\n")))
      << r.output;
}

}  // namespace
}  // namespace tintara::testing
