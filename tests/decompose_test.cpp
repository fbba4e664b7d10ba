// Counting by parts (--decompose 1) as the program runs it: exact values
// reported without a run, hard parts split on their own streams, the
// estimates unbiased, and the parts' runs the same however they are made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

#include "coloring/proper_coloring.h"
#include "exact/parts.h"
#include "exact_count/exact_count.h"
#include "graph/graph_reader.h"
#include "splitting/counting_experiment.h"
#include "splitting/experiment_runs.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

using Edges = std::vector<std::pair<int32_t, int32_t>>;

void addTorus(Edges& edges, int32_t side, int32_t first) {
  const Edges torus = torusEdges(side, first);
  edges.insert(edges.end(), torus.begin(), torus.end());
}

std::string lineAfterSummaryHeader(const std::string& report) {
  const std::string marker = "estimator  |  RE  |  CPU\n";
  const std::size_t at = report.find('\n', report.find(marker) + marker.size()) + 1;
  return report.substr(at, report.find('\n', at) - at);
}

// Every block exact: no pilot and no run, the probability itself with RE 0
// and status 0; a block without a proper colouring makes it 0, and standard
// error names the block.
TEST(Decompose, EveryBlockExactReportsTheProbabilityWithoutARun) {
  Edges triangles;
  for (int32_t t = 0; t < 200; ++t) {
    triangles.insert(triangles.end(),
                     {{3 * t, 3 * t + 1}, {3 * t + 1, 3 * t + 2}, {3 * t, 3 * t + 2}});
  }
  Edges tree;  // a path of 30 and a star of 10 around its middle: 39 bridges
  for (int32_t v = 1; v < 30; ++v) tree.emplace_back(v - 1, v);
  for (int32_t v = 30; v < 40; ++v) tree.emplace_back(15, v);
  Edges k4 = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {3, 4}, {4, 5}};
  struct Case {
    std::string instance;
    WideDouble probability;
    std::string note;
  };
  WideDouble trianglesExact = 1;
  for (int t = 0; t < 200; ++t) trianglesExact *= WideDouble(2) / 9;
  WideDouble treeExact = 1;
  for (int e = 0; e < 39; ++e) treeExact *= WideDouble(2) / 3;
  const std::vector<Case> cases = {
      {instanceText(600, triangles), trianglesExact,
       "decomposed: 200 blocks; 200 exact (factor 2.3e-131), 0 split\n"},
      {instanceText(40, tree), treeExact,
       "decomposed: 39 blocks; 39 exact (factor 1.4e-07), 0 split\n"},
      {instanceText(6, k4), 0,
       "decomposed: 3 blocks; the block of 4 vertices from vertex 0 has no proper 3-coloring\n"},
  };
  for (const Case& c : cases) {
    TempFile file(c.instance);
    const ProcessResult r =
        runTintaraBinary({"--problem", file.path(), "--decompose", "1", "--seed", "1"});
    EXPECT_EQ(r.exitStatus, 0) << r.output;
    EXPECT_EQ(r.errors, c.note);
    EXPECT_NE(r.output.find("# LEVELS = 0\n"), std::string::npos) << r.output;
    std::ostringstream value;
    writeNumber(value, c.probability);
    EXPECT_EQ(withoutCpu(lineAfterSummaryHeader(r.output) + "\n"), value.str() + " 0\n")
        << r.output;
    // Without parts, the same K4 is where the pilot run stagnates.
    if (c.probability == 0) {
      EXPECT_EQ(runTintaraBinary({"--problem", file.path(), "--seed", "1", "--decompose", "0"})
                    .exitStatus,
                1);
    }
  }
}

// A graph that is one hard block, without repeated edges or lone vertices,
// is the same experiment with and without parts: the same report.
TEST(Decompose, OneHardBlockGivesTheReportWithoutParts) {
  Edges torus;
  addTorus(torus, 8, 0);
  TempFile file(instanceText(64, torus));
  const std::vector<std::string> args = {"--problem", file.path(), "--N",    "200",
                                         "--terr",    "0.15",      "--seed", "4"};
  std::vector<std::string> whole = args;
  whole.insert(whole.end(), {"--decompose", "0"});
  const ProcessResult plain = runTintaraBinary(whole);
  const ProcessResult parts = runTintaraBinary(args);
  ASSERT_EQ(plain.exitStatus, 0);
  EXPECT_EQ(parts.exitStatus, 0);
  EXPECT_EQ(withoutCpu(parts.output), withoutCpu(plain.output));
  EXPECT_EQ(parts.errors,
            "decomposed: 1 block; 0 exact (factor 1), 1 split (64 vertices); the runs averaged "
            "with an entry 0.0 first\n" +
                plain.errors);
}

// Two hard tori joined by a bridge, with a triangle hanging on, the first
// torus with an edge through vertex 100, so that it is split on its kernel
// (its 49 vertices and one weighted edge), the other whole: the average is
// the product of their means, and the report is the same on 1 and 3
// threads, a journal stopped by --max-runs resumes to it, and the saved
// colouring, the kernel's pilot state completed and joined to the parts',
// is proper.
TEST(Decompose, HardPartsResumeAndGiveTheSameReportOnAnyThreads) {
  Edges edges;
  addTorus(edges, 7, 0);
  edges.erase(std::find(edges.begin(), edges.end(), std::pair<int32_t, int32_t>(0, 1)));
  edges.insert(edges.end(), {{0, 100}, {100, 1}});
  addTorus(edges, 7, 49);
  edges.insert(edges.end(), {{48, 49}, {97, 98}, {98, 99}, {97, 99}});
  TempFile file(instanceText(101, edges));
  const std::string journal = file.directory() + "/runs.journal";
  const std::string saved = file.directory() + "/coloring.txt";
  const auto run = [&](const char* workers, std::vector<std::string> more) {
    std::vector<std::string> args = {"--problem",   file.path(), "--N",       "200",
                                     "--terr",      "0.2",       "--seed",    "9",
                                     "--decompose", "1",         "--workers", workers};
    args.insert(args.end(), more.begin(), more.end());
    return runTintaraBinary(args);
  };
  const ProcessResult one = run("1", {"--save-coloring", saved});
  ASSERT_EQ(one.exitStatus, 0) << one.output;
  EXPECT_TRUE(one.errors.starts_with(
      "decomposed: 4 blocks; 2 exact (factor 0.099), 2 split (50 vertices, kernel 49 + 1 "
      "weighted; 49 vertices); the average is the product of the parts' means\n"))
      << one.errors;
  EXPECT_NE(one.output.find("# LEVELS = "), std::string::npos);
  EXPECT_EQ(withoutCpu(run("3", {}).output), withoutCpu(one.output));
  EXPECT_EQ(run("2", {"--journal", journal, "--max-runs", "3"}).exitStatus, 3);
  EXPECT_EQ(withoutCpu(run("1", {"--journal", journal}).output), withoutCpu(one.output));
  // A journal of parts is another experiment without them.
  const ProcessResult plain = runTintaraBinary({"--problem", file.path(), "--N", "200", "--terr",
                                                "0.2", "--journal", journal, "--decompose", "0"});
  EXPECT_NE(plain.output.find("belongs to another experiment: decompose 1 there, 0 here"),
            std::string::npos)
      << plain.output;

  std::vector<int32_t> colors(101, -1);
  std::ifstream in(saved);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (std::regex_match(line, match, std::regex("v ([0-9]+) ([0-9]+)"))) {
      colors.at(std::stoi(match[1])) = std::stoi(match[2]);
    }
  }
  EXPECT_TRUE(isProperColoring(makeGraph(101, edges), colors, 3));
}

// A journal that version 1.1 wrote with --decompose 1 (journal version 2,
// plan version 1: the blocks split whole, each run the product of its
// parts', stopped by --max-runs after 3 runs) resumes with that plan to the
// report version 1.1 printed uninterrupted (both in tests/data).
TEST(Decompose, AJournalOfTheFirstPlanResumesWithIt) {
  const std::string data = TINTARA_SOURCE_DIR "/tests/data/";
  const auto read = [](const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  TempFile journal(read(data + "two_tori_v2.journal"), "runs.journal");
  const ProcessResult r = runTintaraBinary({"--problem", data + "two_tori.txt", "--N", "200",
                                            "--terr", "0.2", "--journal", journal.path()});
  EXPECT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_EQ(withoutCpu(r.output.substr(r.output.find("# LEVELS"))),
            withoutCpu(read(data + "two_tori_v2.report")
                           .substr(read(data + "two_tori_v2.report").find("# LEVELS"))));
  EXPECT_NE(r.errors.find("version 1 of the plan of parts"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("not chained"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("the runs averaged with an entry 0.0 first"), std::string::npos);
  // It grew in its own format: no part estimates on its run lines.
  EXPECT_EQ(read(journal.path()).rfind("tintara-journal 2 ", 0), 0u);
}

// The estimate with parts is unbiased: over many runs on a graph whose
// blocks are all made hard (no elimination), the mean lies within four
// standard errors of the exact probability.
TEST(Decompose, MeanOfRunsByPartsMatchesTheExactProbability) {
  // A 3x3 grid, a 5-cycle at its corner 8, a K4 beside it, and a wheel on
  // a bridge from the K4.
  Edges edges;
  for (int32_t r = 0; r < 3; ++r) {
    for (int32_t c = 0; c < 3; ++c) {
      const int32_t v = 3 * r + c;
      if (c + 1 < 3) edges.emplace_back(v, v + 1);
      if (r + 1 < 3) edges.emplace_back(v, v + 3);
    }
  }
  edges.insert(edges.end(), {{8, 9}, {9, 10}, {10, 11}, {11, 12}, {12, 8}, {12, 13}});
  edges.insert(edges.end(), {{13, 14}, {13, 15}, {13, 16}, {14, 15}, {14, 16}, {15, 16}});
  edges.insert(edges.end(), {{16, 17}, {17, 18}, {18, 19}, {19, 20}, {20, 21}, {21, 17}});
  for (int32_t rim = 17; rim <= 21; ++rim) edges.emplace_back(22, rim);
  const Graph graph = makeGraph(23, edges);
  const int32_t k = 4;
  const double exact = static_cast<double>(
      exact::properProbability(exact::countProperColorings(graph, k), graph.vertexCount, k));
  PartsOptions hard;
  hard.limits.maxTableEntries = 1;
  const PartsPlan plan = planParts(graph, k, hard);
  // The grid, split on its kernel, and the wheel, which nothing reduces; the
  // cycle, the K4 and the bridges are closed forms.
  ASSERT_EQ(plan.hardParts.size(), 2u);
  EXPECT_TRUE(plan.hardParts[0].byKernel());
  EXPECT_FALSE(plan.hardParts[1].byKernel());
  const RunParameters parameters{100, 0.2, k, 77, 1};
  CountingWork work = countingWork(plan);
  for (std::size_t p = 0; p < work.parts.size(); ++p) {
    const PilotOutcome pilot = pilotRun(work.parts[p], parameters, static_cast<uint32_t>(p));
    ASSERT_TRUE(pilot.reachedProperColoring());
    work.parts[p].levels = pilot.levels;
  }
  const int runs = 2000;
  double sum = 0;
  double squares = 0;
  for (int64_t i = 1; i <= runs; ++i) {
    const double x = toDouble(fixedLevelRun(work, parameters, i, {})->estimate);
    sum += x;
    squares += x * x;
  }
  const double mean = sum / runs;
  const double error = std::sqrt((squares / runs - mean * mean) / runs);
  EXPECT_LT(std::fabs(mean - exact), 4 * error) << mean << " against " << exact;
}

}  // namespace
}  // namespace tintara::testing
