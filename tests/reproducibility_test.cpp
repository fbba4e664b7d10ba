// Seeds, streams and threads: a run's numbers come from its own stream of
// the seed, results reach the report in run order, and so the report for a
// seed is the same for every number of threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/run_engine.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/estimation.h"
#include "support/plain_runs.h"
#include "support/test_support.h"

namespace tintara {
namespace {

using testing::buildLevels;
using testing::estimateAtLevels;

using testing::kGrid;
using testing::ProcessResult;
using testing::runTintaraBinary;
using testing::withoutCpu;

std::vector<uint64_t> firstDraws(StreamId id) {
  RandomSource random(id);
  std::vector<uint64_t> draws;
  for (int i = 0; i < 4; ++i) {
    draws.push_back(static_cast<uint64_t>(random.uniform01() * 4294967296.0));
    draws.push_back(static_cast<uint64_t>(random.randDraw()));
  }
  return draws;
}

TEST(Streams, EachSeedAndStreamHasItsOwnNumbers) {
  std::set<std::vector<uint64_t>> seen;
  int sources = 0;
  for (uint64_t seed : {uint64_t{0}, uint64_t{1}, uint64_t{1} << 32, ~uint64_t{0}}) {
    for (uint64_t stream : {uint64_t{0}, uint64_t{1}, uint64_t{2}, uint64_t{1} << 32}) {
      EXPECT_EQ(firstDraws({seed, stream}), firstDraws({seed, stream}));
      seen.insert(firstDraws({seed, stream}));
      ++sources;
    }
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(sources));
}

TEST(RunInOrder, ResultsArriveInRunOrderAndLaterRunsAreAbandoned) {
  for (int32_t workers : {1, 3, 8}) {
    std::vector<int64_t> consumed;
    std::atomic<int> abandonedRuns{0};
    runInOrder<int64_t>(
        workers,
        [&](int64_t run, const std::function<bool()>& abandoned) -> std::optional<int64_t> {
          // Later runs finish first where they can; runs past 7 wait until
          // told they are not wanted, which must happen. They sleep while
          // they wait: eight spinning threads would starve two cores.
          if (run > 7) {
            while (!abandoned()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++abandonedRuns;
            return std::nullopt;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(10 - run));
          return run * 10;
        },
        [&](int64_t run, int64_t&& result) {
          EXPECT_EQ(result, run * 10);
          consumed.push_back(run);
          return run < 7;
        });
    EXPECT_EQ(consumed, (std::vector<int64_t>{1, 2, 3, 4, 5, 6, 7})) << workers << " workers";
    // Each thread abandons at most the one run it holds when run 7 ends.
    EXPECT_LE(abandonedRuns.load(), workers) << workers << " workers";
  }
}

TEST(RunInOrder, AFailingRunStopsTheOthersAndIsRethrown) {
  std::vector<int64_t> consumed;
  const auto job = [](int64_t run,
                      const std::function<bool()>& abandoned) -> std::optional<int64_t> {
    if (run == 3) throw std::runtime_error("run 3 failed");
    if (run > 3) {
      while (!abandoned()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return std::nullopt;
    }
    return run;
  };
  EXPECT_THROW(runInOrder<int64_t>(4, job,
                                   [&](int64_t run, int64_t&&) {
                                     consumed.push_back(run);
                                     return true;
                                   }),
               std::runtime_error);
  EXPECT_LE(consumed.size(), 2u);
}

TEST(ThreadedEstimates, MeanOfRunsOnTwoThreadsMatchesTheExactProbability) {
  const Graph graph = testing::petersenGraph();
  const double exact = static_cast<double>(testing::bruteForceProperColorings(graph, 3)) /
                       std::pow(3.0, graph.vertexCount);
  RandomSource pilot(StreamId{42, 0});
  const LevelList levels = buildLevels(graph, pilot, 500, 0.2, 3);
  ASSERT_EQ(levels.back(), 0.0);
  const int runs = 300;
  double sum = 0.0;
  double squares = 0.0;
  runInOrder<double>(
      2,
      [&](int64_t run, const std::function<bool()>&) -> std::optional<double> {
        RandomSource random(StreamId{42, static_cast<uint64_t>(run)});
        return toDouble(estimateAtLevels(levels, graph, random, 500, 3));
      },
      [&](int64_t run, double&& v) {
        sum += v;
        squares += v * v;
        return run < runs;
      });
  const double mean = sum / runs;
  const double standardError = std::sqrt((squares / runs - mean * mean) / (runs - 1));
  EXPECT_NEAR(mean, exact, 4.0 * standardError);
}

TEST(SeededReports, CountingReportIsTheSameForEveryNumberOfThreads) {
  std::string first;
  std::string firstErrors;
  for (const char* workers : {"1", "2", "3", "8"}) {
    ProcessResult r = runTintaraBinary({"--problem", kGrid, "--N", "200", "--terr", "0.08",
                                        "--seed", "77", "--workers", workers, "--decompose", "0"});
    ASSERT_EQ(r.exitStatus, 0) << workers;
    if (first.empty()) {
      first = withoutCpu(r.output);
      firstErrors = r.errors;
    }
    EXPECT_EQ(withoutCpu(r.output), first) << workers << " workers";
    EXPECT_EQ(r.errors, firstErrors) << workers << " workers";
  }
  EXPECT_GT(std::count(first.begin(), first.end(), '\n'), 20);
}

TEST(SeededReports, ChromaticReportIsReproducibleForASeedAndWorkerCount) {
  const std::string examples = std::string(TINTARA_SOURCE_DIR "/examples/");
  std::vector<std::pair<int32_t, int32_t>> queenMoves;
  for (int32_t a = 0; a < 49; ++a) {
    for (int32_t b = a + 1; b < 49; ++b) {
      const int32_t rows = b / 7 - a / 7;
      const int32_t columns = b % 7 - a % 7;
      if (rows == 0 || columns == 0 || rows == columns || rows == -columns) {
        queenMoves.emplace_back(a, b);
      }
    }
  }
  const testing::TempFile queens(testing::instanceText(49, queenMoves));
  // The Gibbs sweep's bisection, and the tabu walk's descent, whose tests
  // spread over several k on several workers.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--problem", examples + "petersen.txt", "--bounds", "trivial"},
       ".* Chrom# 4 \\S+ \\S+ 3\n"},
      {{"--problem", examples + "dimacs/DSJC125.1.col", "--move", "tabu"},
       ".* Chrom# \\S+ \\S+ \\S+ [56]\n"},
      // Children of two elites draw from their test's stream too. The 7 x 7
      // queen graph's clique of 7 ends the search without a failing test.
      {{"--problem", queens.path(), "--crossover", "gpx"}, ".* Chrom# \\S+ \\S+ \\S+ 7\n"},
  };
  for (const auto& [options, report] : cases) {
    for (const char* workers : {"1", "3"}) {
      std::vector<std::string> args = options;
      args.insert(args.end(), {"--chrom", "1", "--N", "100", "--seed", "5", "--workers", workers});
      ProcessResult a = runTintaraBinary(args);
      ProcessResult b = runTintaraBinary(args);
      ASSERT_EQ(a.exitStatus, 0) << a.errors;
      EXPECT_EQ(withoutCpu(a.output), withoutCpu(b.output)) << workers << " workers";
      EXPECT_TRUE(std::regex_match(a.output, std::regex(report))) << a.output;
    }
  }
}

TEST(SeededReports, ADefaultRunStatesItsSeedAndThatSeedReproducesIt) {
  const std::vector<std::string> args = {"--problem", kGrid, "--N",         "100",
                                         "--terr",    "0.2", "--decompose", "0"};
  ProcessResult first = runTintaraBinary(args);
  ProcessResult second = runTintaraBinary(args);
  std::smatch seed;
  ASSERT_TRUE(std::regex_search(first.errors, seed, std::regex("^seed: ([0-9]+)\n")))
      << first.errors;
  EXPECT_NE(first.errors, second.errors);
  EXPECT_NE(withoutCpu(first.output), withoutCpu(second.output));
  std::vector<std::string> again = args;
  again.insert(again.end(), {"--seed", seed[1].str()});
  ProcessResult replay = runTintaraBinary(again);
  EXPECT_EQ("seed: " + seed[1].str() + "\n" + replay.errors, first.errors);
  EXPECT_EQ(withoutCpu(replay.output), withoutCpu(first.output));
}

}  // namespace
}  // namespace tintara
