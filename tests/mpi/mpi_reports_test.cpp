// tintara-mpi under mpirun against tintara: with the same seed the reports
// agree (CPU figures aside) for any number of ranks and threads a rank, in
// counting mode against any thread count, in chromatic mode against P x T
// threads; bad input prints the same words, once, with the same status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tintara {
namespace {

using testing::ProcessResult;
using testing::withoutCpu;

const std::string kExamples = std::string(TINTARA_SOURCE_DIR "/examples/");

std::vector<std::string> mpirunCommand(int ranks, const std::vector<std::string>& args);

ProcessResult runMpi(int ranks, const std::vector<std::string>& args) {
  return testing::runProgram(TINTARA_MPIEXEC, mpirunCommand(ranks, args));
}

struct Case {
  int ranks;
  int workers;         // threads a rank
  int tintaraWorkers;  // tintara's threads giving the same report
  std::vector<std::string> args;
};

TEST(MpiReports, EqualTintarasForTheSameSeed) {
  const std::vector<Case> cases = {
      // Counting: a few dozen runs, handed out over ranks and threads.
      {2,
       1,
       1,
       {"--problem", kExamples + "petersen.txt", "--N", "200", "--terr", "0.05", "--decompose",
        "0"}},
      {3,
       2,
       1,
       {"--problem", kExamples + "3x3_grid.txt", "--N", "200", "--terr", "0.08", "--decompose",
        "0"}},
      // Chromatic: P x T tests a step.
      {2, 1, 2, {"--problem", kExamples + "queen5_5.txt", "--chrom", "1", "--N", "100"}},
      {3, 2, 6, {"--problem", kExamples + "groetzsch.txt", "--chrom", "1", "--N", "50"}},
  };
  for (const Case& c : cases) {
    for (const char* seed : {"11", "12"}) {
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"--seed", seed, "--workers"});
      std::vector<std::string> mpiArgs = args;
      mpiArgs.push_back(std::to_string(c.workers));
      args.push_back(std::to_string(c.tintaraWorkers));
      const ProcessResult expected = testing::runTintaraBinary(args);
      const ProcessResult got = runMpi(c.ranks, mpiArgs);
      const std::string label = c.args[1] + " seed " + seed + " on " + std::to_string(c.ranks);
      ASSERT_EQ(expected.exitStatus, 0) << label;
      EXPECT_EQ(got.exitStatus, 0) << label << "\n" << got.errors;
      EXPECT_EQ(withoutCpu(got.output), withoutCpu(expected.output)) << label;
    }
  }
}

// The tabu walk's tests on other ranks: the move and the crossover travel
// with the parameters, so P ranks of T threads make tintara's P x T tests.
TEST(MpiReports, TabuTestsGiveTintarasReport) {
  for (const auto& [seed, crossover] : std::vector<std::pair<const char*, const char*>>{
           {"3", "none"}, {"4", "none"}, {"3", "gpx"}}) {
    const std::vector<std::string> args = {"--problem",   kExamples + "dimacs/queen10_10.col",
                                           "--chrom",     "1",
                                           "--move",      "tabu",
                                           "--crossover", crossover,
                                           "--N",         "100",
                                           "--seed",      seed,
                                           "--workers"};
    std::vector<std::string> single = args;
    single.push_back("4");
    std::vector<std::string> ranks = args;
    ranks.push_back("2");
    const ProcessResult expected = testing::runTintaraBinary(single);
    const ProcessResult got = runMpi(2, ranks);
    ASSERT_EQ(expected.exitStatus, 0) << seed;
    EXPECT_EQ(got.exitStatus, 0) << seed << "\n" << got.errors;
    EXPECT_EQ(withoutCpu(got.output), withoutCpu(expected.output))
        << "seed " << seed << ", crossover " << crossover;
  }
}

TEST(MpiReports, BadInputIsReportedOnceWithTintarasStatus) {
  testing::TempFile malformed("p 3\ne 0 1\ne 1 x\n");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--problem", malformed.path(), "--seed", "1"}, {"--N", "abc"}}) {
    const ProcessResult expected = testing::runTintaraBinary(args);
    const ProcessResult got = runMpi(3, args);
    ASSERT_EQ(expected.exitStatus, 1) << args[1];
    EXPECT_EQ(got.output, expected.output) << args[1];
    EXPECT_EQ(got.exitStatus, expected.exitStatus) << args[1];
  }
}

std::vector<std::string> mpirunCommand(int ranks, const std::vector<std::string>& args) {
  std::vector<std::string> command = {"--oversubscribe", "-np", std::to_string(ranks)};
  if (geteuid() == 0) command.insert(command.begin(), "--allow-run-as-root");
  command.push_back(TINTARA_MPI_BINARY);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

TEST(MpiReports, AJobStoppedBySigtermResumesFromItsJournalToTintarasReport) {
  testing::TempFile folder("");
  const std::string journal = folder.directory() + "/runs.journal";
  // Runs of some 30 ms: mpirun stops forwarding output a second before it
  // passes SIGTERM on, so a report that prints hundreds of lines a second
  // would fill the terminal's buffer first (see README); and about 140 of
  // them, so that the job cannot reach its target in the second before the
  // signal arrives (with 80 runs of 20 ms it sometimes did, and its summary
  // was lost with mpirun's output).
  const std::vector<std::string> args = {"--problem",   kExamples + "grid_8x8.txt",
                                         "--N",         "1000",
                                         "--terr",      "0.03",
                                         "--seed",      "21",
                                         "--decompose", "0"};
  const ProcessResult expected = testing::runTintaraBinary(args);
  ASSERT_EQ(expected.exitStatus, 0);
  std::vector<std::string> journalled = args;
  journalled.insert(journalled.end(), {"--journal", journal, "--workers", "1"});
  // mpirun passes SIGTERM on to every rank: rank 0 prints the summary of
  // the runs it has, and the job ends with mpirun's own status.
  const ProcessResult stopped =
      testing::runAndSignal(TINTARA_MPIEXEC, mpirunCommand(2, journalled), "\n10 ", {SIGTERM});
  EXPECT_NE(stopped.exitStatus, 0);
  EXPECT_NE(stopped.output.find("Result Summary"), std::string::npos) << stopped.output;
  const ProcessResult resumed = runMpi(3, journalled);
  EXPECT_EQ(resumed.exitStatus, 0) << resumed.errors;
  EXPECT_EQ(withoutCpu(resumed.output), withoutCpu(expected.output));
}

}  // namespace
}  // namespace tintara
