#include <gtest/gtest.h>

#include <cmath>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "cli/coloring_file.h"
#include "coloring/compact_colors.h"
#include "coloring/dsatur.h"
#include "graph/graph_reader.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/chromatic_search.h"
#include "support/plain_runs.h"
#include "support/test_support.h"

namespace tintara {
namespace {

using testing::bisectColorCount;
using testing::ColorabilityTest;
using testing::isColorable;

using testing::makeGraph;

struct Scripted {
  std::vector<int32_t> asked;
  std::vector<bool> answers;
  ColorabilityTest test() {
    return [this](int32_t k, double& iterations) {
      iterations = 10.0 + k;
      const bool answer = answers.at(asked.size());
      asked.push_back(k);
      return answer;
    };
  }
};

TEST(Bisection, RoundsMidUpAndNarrowsOnEachAnswer) {
  Scripted s{{}, {true, true, false, true}};
  int32_t steps = 0;
  double sum = 0.0;
  EXPECT_EQ(bisectColorCount(9, s.test(), steps, sum), 3);
  EXPECT_EQ(s.asked, (std::vector<int32_t>{5, 3, 2, 3}));
  EXPECT_EQ(steps, 4);
  EXPECT_EQ(sum, 15.0 + 13.0 + 12.0 + 13.0);
}

TEST(Bisection, AllFailingGivesTheVertexCount) {
  Scripted s{{}, std::vector<bool>(10, false)};
  int32_t steps = 0;
  double sum = 0.0;
  EXPECT_EQ(bisectColorCount(9, s.test(), steps, sum), 9);
  EXPECT_EQ(s.asked, (std::vector<int32_t>{5, 7, 8, 9}));
}

TEST(Bisection, TinyGraphs) {
  for (bool answer : {true, false}) {
    Scripted s{{}, {answer}};
    int32_t steps = 0;
    double sum = 0.0;
    EXPECT_EQ(bisectColorCount(1, s.test(), steps, sum), 1);
    EXPECT_EQ(s.asked, std::vector<int32_t>{1});
  }
  Scripted none{{}, {}};
  int32_t steps = 0;
  double sum = 0.0;
  EXPECT_EQ(bisectColorCount(0, none.test(), steps, sum), 0);
  EXPECT_EQ(steps, 0);
}

TEST(ChromaticSearch, FindsKnownChromaticNumbers) {
  struct Case {
    const char* name;
    Graph graph;
    int32_t chromatic;
  };
  const std::vector<Case> cases = {
      {"5-cycle", testing::cycleGraph(5), 3},    {"K4", testing::completeGraph(4), 4},
      {"Petersen", testing::petersenGraph(), 3}, {"Groetzsch", testing::groetzschGraph(), 4},
      {"3x3 grid", testing::gridGraph(3, 3), 2},
  };
  for (const Case& c : cases) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      RandomSource random(seed, seed + 100);
      int32_t steps = 0;
      double sum = 0.0;
      const int32_t found = bisectColorCount(
          c.graph.vertexCount,
          [&](int32_t k, double& iterations) {
            return isColorable(c.graph, random, 1000, 0.2, k, iterations);
          },
          steps, sum);
      EXPECT_EQ(found, c.chromatic) << c.name << " seed " << seed;
    }
  }
}

TEST(ChromaticReport, GraphWithoutVerticesMakesNoStep) {
  testing::TempFile file("c nothing\n");
  testing::ProcessResult r = testing::runTintaraBinary({"--problem", file.path(), "--chrom", "1"});
  EXPECT_EQ(r.exitStatus, 0);
  const std::string prefix = file.path() + " #bin E(T) CPU Chrom# 0 ";
  ASSERT_EQ(r.output.substr(0, prefix.size()), prefix);
  std::istringstream rest(r.output.substr(prefix.size()));
  std::string mean, cpu, chromatic;
  rest >> mean >> cpu >> chromatic;
  EXPECT_NE(mean.find("nan"), std::string::npos);
  EXPECT_EQ(chromatic, "0");
  EXPECT_EQ(r.output.back(), '\n');
}

TEST(ChromaticReport, OneLineWithStepsMeanCpuAndNumber) {
  const std::string grid = std::string(TINTARA_SOURCE_DIR "/examples/3x3_grid.txt");
  // The search from [0, n]: the greedy bounds of a grid meet at once.
  testing::ProcessResult r =
      testing::runTintaraBinary({"--problem", grid, "--chrom", "1", "--bounds", "trivial"});
  EXPECT_EQ(r.exitStatus, 0);
  const std::string prefix = grid + " #bin E(T) CPU Chrom# ";
  ASSERT_EQ(r.output.substr(0, prefix.size()), prefix);
  std::istringstream rest(r.output.substr(prefix.size()));
  int steps = 0, chromatic = 0;
  double mean = 0.0, cpu = -1.0;
  rest >> steps >> mean >> cpu >> chromatic;
  EXPECT_EQ(steps, 5);  // k = 5, 3, 2 pass, 1 fails, 2 passes again
  EXPECT_GE(mean, 1.0);
  EXPECT_GE(cpu, 0.0);
  EXPECT_EQ(chromatic, 2);
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1);
}

TEST(GreedyBounds, TighteningAndTheCliqueFloorEndTheBisection) {
  // A pass at 6 whose colouring uses 4 colours sets hi to 4, the clique's
  // size: the search ends there without testing 4 or 5.
  Bisection bisection{2, 8, 3};
  EXPECT_EQ(bisection.next(), 5);
  bisection.passed(5, 3);
  EXPECT_TRUE(bisection.finished());
  EXPECT_EQ(bisection.hi, 3);
  // A pass that uses no more colours than a failure before it ends there.
  Bisection falseFailure{4, 9, 0};
  falseFailure.passed(7, 4);
  EXPECT_TRUE(falseFailure.finished());
  EXPECT_EQ(falseFailure.hi, 4);
}

TEST(GreedyBounds, ADescentTestsOneBelowHiUntilItsFirstFailure) {
  Bisection descent{2, 9, 3, true};
  EXPECT_EQ(descent.next(), 8);
  descent.passed(8, 6);  // a colouring with fewer colours lowers hi past them
  EXPECT_EQ(descent.next(), 5);
  descent.failed(5);
  EXPECT_TRUE(descent.finished());
  EXPECT_EQ(descent.hi, 6);
}

// A descent that confirms its failures steps over a lone one and ends at
// two in a row; (answers by k), on one test a step and on two.
TEST(GreedyBounds, AConfirmingDescentEndsOnlyAtTwoFailuresInARow) {
  struct Case {
    const char* name;
    int32_t tests;               // a step's, spread
    std::set<int32_t> failing;   // the k whose tests fail
    std::vector<int32_t> asked;  // in order
    int32_t answer;
  };
  const Case cases[] = {
      {"a lone failure", 1, {9}, {11, 10, 9, 8, 7, 6, 5}, 5},
      {"two in a row", 1, {9, 8}, {11, 10, 9, 8}, 10},
      {"a lone failure at the clique", 1, {5}, {11, 10, 9, 8, 7, 6, 5}, 6},
      {"failures apart", 1, {9, 7, 6}, {11, 10, 9, 8, 7, 6}, 8},
      {"two in one step", 2, {9, 8}, {11, 10, 9, 8}, 10},
      // A step never asks below the clique: its last asks 5 twice.
      {"one of a step's two", 2, {10}, {11, 10, 9, 8, 7, 6, 5, 5}, 5},
      {"the pending one and the next step's", 2, {9, 6, 5}, {11, 10, 9, 8, 7, 6, 5, 5}, 7},
  };
  for (const Case& c : cases) {
    SearchStart start;
    start.interval = Bisection{4, 12, 5};
    useTabuDescent(start);
    std::vector<int32_t> asked;
    const ChromaticOutcome search = chromaticSearch(start, [&](int32_t, const StepColors& colors) {
      std::vector<ColorabilityOutcome> tests;
      for (int32_t j = 0; j < c.tests; ++j) {
        ColorabilityOutcome test;
        test.colors = colors.forTest(j);
        test.passed = c.failing.count(test.colors) == 0;
        test.failedBelow = test.passed ? 0 : test.colors;
        asked.push_back(test.colors);
        tests.push_back(test);
      }
      return std::optional<ColorabilityOutcome>(combineTests(std::move(tests)));
    });
    EXPECT_EQ(asked, c.asked) << c.name;
    EXPECT_EQ(search.chromatic, c.answer) << c.name;
  }
}

// A dense Leighton graph (chromatic number 15) tested at 20 colours with a
// population of 5: with walks of a fixed length these tests stagnate and
// say "no"; lengthening the walks before a stagnation counts, they pass.
TEST(TabuTest, ATestWellAboveTheChromaticNumberPassesWhereFixedWalksStagnate) {
  const Graph graph = testing::leightonGraph(450, 15, 16700, 1);
  ChainMove fixedWalks = testMove(MoveKind::Tabu, Crossover::None, 5);
  fixedWalks.walkDoublings = 0;
  for (const uint64_t seed : {2, 3, 4}) {
    const RunParameters parameters{5, 0.2, 0, seed, 1, MoveKind::Tabu, Crossover::None};
    const std::optional<ColorabilityOutcome> test = colorabilityTest(graph, parameters, 20, 1, 0);
    ASSERT_TRUE(test.has_value());
    EXPECT_TRUE(test->passed) << "seed " << seed;
    const AdaptiveRun fixed = adaptiveRunOnStream(graph, parameters, 20, colorabilityStream(1, 0),
                                                  0, nullptr, {}, {}, fixedWalks);
    EXPECT_FALSE(fixed.reachedProperColoring) << "seed " << seed << ": the case guards nothing";
  }
}

// A spread step's tests ask about top, top - 1, ... down to `lowest`, and
// the step says: the fewest colours that passed (with that test's
// colouring), and the most colours that failed below them; a failure at
// as many colours as a pass, or more, says nothing.
TEST(SpreadSteps, TestsAskAboutTheNextCandidatesAndCombineIntoOneAnswer) {
  const StepColors spread{10, 8, true};
  const StepColors atOneK{10, 8, false};
  EXPECT_EQ((std::vector<int32_t>{spread.forTest(0), spread.forTest(1), spread.forTest(3)}),
            (std::vector<int32_t>{10, 9, 8}));
  EXPECT_EQ(atOneK.forTest(3), 10);
  struct Case {
    std::vector<std::pair<int32_t, bool>> tests;  // (colours asked, passed), in test order
    bool passed;
    int32_t colors;
    int32_t failedBelow;
    int32_t coloringOf;  // the test whose colouring the step keeps
  };
  const Case cases[] = {
      {{{10, false}, {9, true}, {8, false}}, true, 9, 8, 1},
      {{{10, true}, {9, true}, {8, false}}, true, 9, 8, 1},
      {{{12, true}, {11, false}, {10, true}}, true, 10, 0, 2},
      {{{10, true}, {10, true}, {10, false}}, true, 10, 0, 0},
      {{{10, false}, {9, false}}, false, 10, 10, -1},
  };
  for (const Case& c : cases) {
    std::vector<ColorabilityOutcome> tests;
    for (std::size_t j = 0; j < c.tests.size(); ++j) {
      ColorabilityOutcome test;
      test.colors = c.tests[j].first;
      test.passed = c.tests[j].second;
      test.failedBelow = test.passed ? 0 : test.colors;
      test.iterations = 2.0;
      if (test.passed) test.coloring = {static_cast<int32_t>(j)};
      tests.push_back(test);
    }
    const ColorabilityOutcome step = combineTests(std::move(tests));
    const std::string label = "case with " + std::to_string(c.tests.size()) + " tests from " +
                              std::to_string(c.tests[0].first);
    EXPECT_EQ(step.passed, c.passed) << label;
    EXPECT_EQ(step.colors, c.colors) << label;
    EXPECT_EQ(step.failedBelow, c.failedBelow) << label;
    EXPECT_EQ(step.tests, static_cast<int32_t>(c.tests.size())) << label;
    EXPECT_EQ(step.iterations, 2.0 * static_cast<double>(c.tests.size())) << label;
    if (c.passed) {
      EXPECT_EQ(step.coloring, std::vector<int32_t>{c.coloringOf}) << label;
    }
  }
}

// A descent whose steps make two tests at the next two candidates: k = 7
// colours is the fewest that pass, so the steps ask (11, 10), (9, 8) and
// (7, 6), never below the clique's 5, and end at 7.
TEST(SpreadSteps, ADescentOfTwoCandidatesAStepEndsAtTheFirstFailureBelowAPass) {
  SearchStart start;
  start.interval = Bisection{4, 12, 5, true};
  start.spread = true;
  std::vector<int32_t> asked;
  const ChromaticOutcome search = chromaticSearch(start, [&](int32_t, const StepColors& colors) {
    std::vector<ColorabilityOutcome> tests(2);
    for (int32_t j = 0; j < 2; ++j) {
      tests[j].colors = colors.forTest(j);
      tests[j].passed = tests[j].colors >= 7;
      tests[j].failedBelow = tests[j].passed ? 0 : tests[j].colors;
      asked.push_back(tests[j].colors);
    }
    return std::optional<ColorabilityOutcome>(combineTests(std::move(tests)));
  });
  EXPECT_EQ(asked, (std::vector<int32_t>{11, 10, 9, 8, 7, 6}));
  EXPECT_EQ(search.chromatic, 7);
  EXPECT_EQ(search.steps, 3);
}

TEST(ChromaticReport, BoundsThatMeetNeedNoTestAndProveTheNumber) {
  const std::string queen = std::string(TINTARA_SOURCE_DIR "/examples/queen5_5.col");
  testing::TempFile folder("");
  const std::string saved = folder.directory() + "/coloring.txt";
  const testing::ProcessResult r = testing::runTintaraBinary(
      {"--problem", queen, "--chrom", "1", "--seed", "1", "--save-coloring", saved});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(std::regex_match(r.output, std::regex(".* Chrom# 0 -?nan \\S+ 5\n"))) << r.output;
  EXPECT_EQ(r.errors, "proved: a clique of 5 vertices needs 5 colors\n");
  // No test ran, so the colouring saved is DSATUR's, its colours 0 to 4.
  const Graph graph = readGraph(queen, UINT64_MAX);
  std::vector<int32_t> expected = dsaturColoring(graph);
  compactColors(expected);
  std::ifstream file(saved);
  std::vector<int32_t> colors;
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string kind;
    int32_t vertex = 0;
    int32_t color = 0;
    if (words >> kind >> vertex >> color && kind == "v") colors.push_back(color);
  }
  EXPECT_EQ(colors, expected);
}

TEST(ChromaticReport, TrivialBoundsGiveTheReportsOfTheSearchFromZero) {
  // Recorded from the search over [0, n] before the greedy bounds existed.
  const std::string examples = std::string(TINTARA_SOURCE_DIR "/examples/");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--problem", examples + "mycielski5.txt", "--chrom", "1", "--seed", "3", "--N", "200"},
       examples + "mycielski5.txt #bin E(T) CPU Chrom# 6 13.6667 5\n"},
      {{"--problem", examples + "queen5_5.txt", "--chrom", "1", "--seed", "9", "--N", "300",
        "--workers", "2"},
       examples + "queen5_5.txt #bin E(T) CPU Chrom# 6 25.1667 5\n"},
  };
  for (auto [args, expected] : cases) {
    args.insert(args.end(), {"--bounds", "trivial"});
    const testing::ProcessResult r = testing::runTintaraBinary(args);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(testing::withoutCpu(r.output), expected);
    EXPECT_EQ(r.errors, "");
  }
}

TEST(ChromaticReport, GibbsMoveGivesTheReportsOfTheGreedySearchBeforeTheTabuDefault) {
  // Recorded with the default options when the Gibbs sweep was the default
  // move (e381952), on 1, 2 and 3 workers.
  const std::string examples = std::string(TINTARA_SOURCE_DIR "/examples/");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--problem", examples + "mycielski5.txt", "--seed", "3", "--N", "200"},
       examples + "mycielski5.txt #bin E(T) CPU Chrom# 3 18 5\n"},
      {{"--problem", examples + "dimacs/DSJC125.1.col", "--seed", "7", "--N", "100", "--workers",
        "2"},
       examples + "dimacs/DSJC125.1.col #bin E(T) CPU Chrom# 3 136.333 5\n"},
      {{"--problem", examples + "groetzsch.txt", "--seed", "2", "--N", "100", "--workers", "3"},
       examples + "groetzsch.txt #bin E(T) CPU Chrom# 2 8.16667 4\n"},
  };
  for (auto [args, expected] : cases) {
    args.insert(args.end(), {"--chrom", "1", "--move", "gibbs"});
    const testing::ProcessResult r = testing::runTintaraBinary(args);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(testing::withoutCpu(r.output), expected);
  }
}

// The whole path of --move tabu: tests through the run engine, the
// search, and the colouring saved, on graphs whose chromatic number is
// known: proper, with the colours the report gives.
TEST(ChromaticReport, TabuMoveReachesKnownNumbersAndSavesThatColoring) {
  struct Case {
    const char* file;
    int32_t chromatic;
  };
  const Case cases[] = {{"groetzsch.txt", 4},
                        {"mycielski5.txt", 5},
                        {"petersen.txt", 3},
                        {"dimacs/DSJC125.1.col", 5}};
  testing::TempFile folder("");
  const std::string saved = folder.directory() + "/coloring.txt";
  for (const Case& c : cases) {
    const std::string path = std::string(TINTARA_SOURCE_DIR "/examples/") + c.file;
    const testing::ProcessResult r =
        testing::runTintaraBinary({"--problem", path, "--chrom", "1", "--seed", "4", "--N", "100",
                                   "--move", "tabu", "--workers", "2", "--save-coloring", saved});
    ASSERT_EQ(r.exitStatus, 0) << c.file << r.errors;
    std::smatch number;
    ASSERT_TRUE(std::regex_match(r.output, number, std::regex(".* Chrom# \\S+ \\S+ \\S+ (\\d+)\n")))
        << r.output;
    EXPECT_EQ(std::stoi(number[1]), c.chromatic) << c.file;
    std::ifstream file(saved);
    std::vector<int32_t> colors;
    for (std::string line; std::getline(file, line);) {
      std::istringstream words(line);
      std::string kind;
      int32_t vertex = 0;
      int32_t color = 0;
      if (words >> kind >> vertex >> color && kind == "v") colors.push_back(color);
    }
    EXPECT_TRUE(isProperColoring(readGraph(path, UINT64_MAX), colors, c.chromatic)) << c.file;
    EXPECT_EQ(std::set<int32_t>(colors.begin(), colors.end()).size(),
              static_cast<std::size_t>(c.chromatic))
        << c.file;
  }
}

}  // namespace
}  // namespace tintara
