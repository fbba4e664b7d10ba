#include <gtest/gtest.h>

#include <cmath>

#include "splitting/chromatic_search.h"
#include "splitting/adaptive_splitting.h"
#include "support/test_support.h"

namespace tintara {
namespace {

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
  const std::string grid = std::string(TINTARA_SOURCE_DIR) + "/examples/3x3_grid.txt";
  testing::ProcessResult r = testing::runTintaraBinary({"--problem", grid, "--chrom", "1"});
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

}  // namespace
}  // namespace tintara
