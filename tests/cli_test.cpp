// The command line, tested through the built executable.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/test_support.h"

namespace tintara::testing {
namespace {

TEST(CommandLineHelp, NoOptionsPrintsHelpAndFails) {
  ProcessResult r = runTintaraBinary({});
  EXPECT_EQ(r.output, kHelp);
  EXPECT_EQ(r.exitStatus, 1);
}

TEST(CommandLineHelp, VersionIsPrintedWhateverElseIsGiven) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--version"}, {"--vers", "--problem", "/nonexistent"}, {"--N", "bad", "--version"}}) {
    ProcessResult r = runTintaraBinary(args);
    EXPECT_TRUE(std::regex_match(r.output, std::regex("tintara [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << r.output;
    EXPECT_EQ(r.exitStatus, 0);
  }
  EXPECT_EQ(runTintaraBinary({"--version", "--help"}).output, kHelp);
}

TEST(CommandLineHelp, HelpWinsOverOtherOptions) {
  ProcessResult r = runTintaraBinary({"--problem", kGrid, "--help", "--chrom", "1"});
  EXPECT_EQ(r.output, kHelp);
  EXPECT_EQ(r.exitStatus, 1);
}

TEST(CommandLineProblem, MissingProblemIsRefused) {
  ProcessResult r = runTintaraBinary({"--colors", "4"});
  EXPECT_EQ(r.output, "No input graph was specified\n");
  EXPECT_EQ(r.exitStatus, 1);
}

TEST(CommandLineProblem, UnreadableFileGivesReaderMessageAndReason) {
  ProcessResult r = runTintaraBinary({"--problem", "/nonexistent/graph.txt", "--chrom", "1"});
  EXPECT_EQ(r.output,
            "/nonexistent/graph.txt #bin E(T) CPU Chrom# Error in openening file "
            "/nonexistent/graph.txt: No such file or directory\n");
  EXPECT_EQ(r.exitStatus, 1);
}

TEST(CommandLineProblem, DirectoryIsTreatedAsUnreadable) {
  TempFile file("e 0 1\n");
  ProcessResult r = runTintaraBinary({"--problem", file.directory(), "--chrom", "1"});
  EXPECT_EQ(r.output, file.directory() + " #bin E(T) CPU Chrom# Error in openening file " +
                          file.directory() + ": a directory\n");
  EXPECT_EQ(r.exitStatus, 1);
}

TEST(CommandLineProblem, MalformedInstanceGivesOneLineError) {
  TempFile file("p 3\ne 1 3\n");
  ProcessResult r = runTintaraBinary({"--problem", file.path(), "--chrom", "1"});
  EXPECT_EQ(r.output, file.path() + " #bin E(T) CPU Chrom# Error in instance file " + file.path() +
                          ", line 2: vertex id 3 is not below the vertex count 3 (vertex ids are "
                          "0-based; a 1-based DIMACS file needs its \"p edge N M\" line)\n");
  EXPECT_EQ(r.exitStatus, 1);
}

TEST(CommandLineParsing, ParseErrorsPrintTheParsersWordsThenTheListing) {
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--N", "99999999999", "--problem", kGrid},
            "the argument ('99999999999') for option '--N' is invalid"},
           {{"--N", "5", "--N", "6", "--problem", kGrid},
            "option '--N' cannot be specified more than once"},
           {{"--foo", "1"}, "unrecognised option '--foo'"},
       }) {
    ProcessResult r = runTintaraBinary(args);
    EXPECT_EQ(r.output, message + "\n" + kAfterParseError) << args[0];
    EXPECT_EQ(r.exitStatus, 1) << args[0];
  }
}

TEST(CommandLineParsing, AbbreviationsAndBothValueFormsAreAccepted) {
  ProcessResult equals =
      runTintaraBinary({"--prob", kGrid, "--N=100", "--chr=1", "--see=5", "--w=2"});
  ProcessResult blank = runTintaraBinary(
      {"--problem=" + kGrid, "--N", "100", "--chrom", "1", "--seed", "5", "--workers", "2"});
  ASSERT_EQ(equals.exitStatus, 0);
  ASSERT_EQ(blank.exitStatus, 0);
  // The same seed gives the same report but for the CPU column.
  const auto withoutCpu = [](const std::string& line) {
    const std::size_t number = line.rfind(' ');
    const std::size_t cpu = line.rfind(' ', number - 1);
    return line.substr(0, cpu) + line.substr(number);
  };
  EXPECT_EQ(withoutCpu(equals.output), withoutCpu(blank.output));
  // --t is still the target, --p the problem.
  ProcessResult counting = runTintaraBinary({"--p", kGrid, "--N=100", "--t", "0.9"});
  EXPECT_NE(counting.output.find("using N=100, rho=0.2 and target relative error=0.9\n"),
            std::string::npos);
  EXPECT_EQ(counting.exitStatus, 0);
}

TEST(CommandLineLimits, OutOfRangeSettingsAreRefusedBeforeTheModeStarts) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--N", "0"}, "Invalid value for option N: 0 (allowed: N >= 1)"},
      {{"--N", "-3", "--chrom", "1"}, "Invalid value for option N: -3 (allowed: N >= 1)"},
      {{"--rho", "1"}, "Invalid value for option rho: 1 (allowed: 0 <= rho < 1)"},
      {{"--rho", "-0.1", "--chrom", "1"},
       "Invalid value for option rho: -0.1 (allowed: 0 <= rho < 1)"},
      {{"--rho", "nan"}, "Invalid value for option rho: nan (allowed: 0 <= rho < 1)"},
      {{"--colors", "0"}, "Invalid value for option colors: 0 (allowed: colors >= 1)"},
      {{"--terr", "0"}, "Invalid value for option terr: 0 (allowed: 4.65662e-10 <= terr < 1)"},
      {{"--chrom", "2"}, "Invalid value for option chrom: 2 (allowed: 0 or 1)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--problem", kGrid});
    ProcessResult r = runTintaraBinary(args);
    EXPECT_EQ(r.output, c.message + "\n") << c.args[0] << " " << c.args[1];
    EXPECT_EQ(r.exitStatus, 1);
  }
}

TEST(CommandLineLimits, EachModeChecksOnlyTheSettingsItUses) {
  // Chromatic mode ignores colors and terr.
  ProcessResult r =
      runTintaraBinary({"--problem", kGrid, "--chrom", "1", "--colors", "0", "--terr", "0"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output.rfind(kGrid + " #bin E(T) CPU Chrom# ", 0), 0u);
}

TEST(CommandLineLimits, NegativeVertexCountIsALineError) {
  TempFile file("p -4\ne 0 1\n");
  ProcessResult r = runTintaraBinary({"--problem", file.path(), "--chrom", "1"});
  EXPECT_EQ(r.output, file.path() + " #bin E(T) CPU Chrom# Error in instance file " + file.path() +
                          ", line 1: vertex count -4 is negative\n");
  EXPECT_EQ(r.exitStatus, 1);
}

TEST(CommandLineOutput, AReportThatCannotBeWrittenIsAnError) {
  const std::vector<std::pair<StandardOutput, std::string>> targets = {
      {StandardOutput::FullDevice, "No space left on device"},
      {StandardOutput::Closed, "Bad file descriptor"},
      {StandardOutput::BrokenPipe, "Broken pipe"},
  };
  for (const auto& [target, reason] : targets) {
    for (const char* chrom : {"0", "1"}) {
      ProcessResult r = runTintaraBinary(
          {"--problem", kGrid, "--chrom", chrom, "--terr", "0.5", "--seed", "1"}, target);
      EXPECT_EQ(r.errors, "write error: " + reason + "\n") << reason << " chrom " << chrom;
      EXPECT_EQ(r.exitStatus, 1) << reason << " chrom " << chrom;
    }
  }
}

}  // namespace
}  // namespace tintara::testing
