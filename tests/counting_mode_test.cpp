#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <regex>
#include <sstream>
#include <tuple>

#include "cli/counting_report.h"
#include "engine/journal.h"
#include "graph/graph_hash.h"
#include "graph/graph_reader.h"
#include "splitting/counting_experiment.h"
#include "splitting/estimate_list.h"
#include "support/test_support.h"

namespace tintara {
namespace {

using testing::ProcessResult;
using testing::runTintaraBinary;
using testing::TempFile;

const std::string kStars(79, '*');

std::string header(const std::string& path, const std::string& settings) {
  return kStars + "\nStarting  experiments for " + path + " using " + settings + "\n" + kStars +
         "\n" + kStars +
         "\nIteration #  |  iteration estimator | average estimator   |  RE  |  CPU\n" + kStars +
         "\n";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// A table or summary line without its last (CPU) column.
std::string withoutCpu(const std::string& line) {
  return line.substr(0, line.rfind(' '));
}

TEST(RelativeError, IsPopulationDeviationOverMeanAndRootCount) {
  EXPECT_DOUBLE_EQ(relativeError({0.0, 1.0}), 1.0 / std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(relativeError({0.0, 3.0, 3.0, 3.0}), 1.0 / std::sqrt(12.0));
  EXPECT_DOUBLE_EQ(relativeError({2.0, 4.0}), (1.0 / 3.0) / std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(relativeError({-2.0, -4.0}), (1.0 / 3.0) / std::sqrt(2.0));
  EXPECT_TRUE(std::isnan(relativeError({})));
  EXPECT_TRUE(std::isnan(relativeError({0.0, 0.0})));
}

TEST(RelativeError, IdenticalEstimatesNeedThirtyThreeRunsForThreePercent) {
  EstimateList estimates{0.0};
  int runs = 0;
  while (relativeError(estimates) > 0.03 || runs == 0) {
    estimates.push_back(0.25);
    ++runs;
  }
  EXPECT_EQ(runs, 33);
}

// The tally's running sums against the two-pass statistics of the whole
// list, after every run: the same average bit for bit, the same 6 digits of
// RE in the report, and the same stop decisions. On the estimates of a real
// experiment (the Petersen graph split, 600 runs), on heavy-tailed ones with
// zeros (log-normal, sigma 2.5), and on the same far below a double's range.
TEST(EstimateTally, RunningSumsGiveTheReportOfTheTwoPassStatistics) {
  const Graph petersen = testing::petersenGraph();
  const RunParameters parameters{100, 0.2, 3, 11, 1};
  CountingWork work;
  work.parts.push_back(CountingPart{&petersen, pilotRun(petersen, parameters).levels});
  std::vector<WideDouble> splitting;
  for (int64_t run = 1; run <= 600; ++run) {
    splitting.push_back(fixedLevelRun(work, parameters, run, {})->estimate);
  }
  std::mt19937_64 engine(5);
  std::lognormal_distribution<double> heavy(0.0, 2.5);
  std::vector<WideDouble> tailed;
  std::vector<WideDouble> tiny;
  for (int i = 0; i < 600; ++i) {
    tailed.push_back(i % 7 == 3 ? 0.0 : 1e-3 * heavy(engine));
    tiny.push_back(ldexp(tailed.back(), -1500));
  }
  const auto printed = [](double x) {
    std::ostringstream text;
    text << x;
    return text.str();
  };
  const std::vector<double> targets = {0.5, 0.3, 0.1, 0.05, 0.03, 0.01};
  for (const auto* estimates : {&splitting, &tailed, &tiny}) {
    EstimateTally tally;
    EstimateList list{0.0};
    std::vector<int64_t> stops(targets.size(), 0), twoPassStops(targets.size(), 0);
    for (std::size_t i = 0; i < estimates->size(); ++i) {
      const auto run = static_cast<int64_t>(i) + 1;
      const RunRecord record = tally.add(run, CountingRun{(*estimates)[i], 1});
      list.push_back((*estimates)[i]);
      ASSERT_EQ(record.mean, meanOf(list)) << run;
      const double twoPass = relativeError(list);
      ASSERT_EQ(printed(record.relativeError), printed(twoPass)) << run;
      ASSERT_NEAR(record.relativeError, twoPass, 1e-13 * twoPass) << run;
      const EstimateList plain(list.begin() + 1, list.end());
      ASSERT_EQ(tally.plainMean(), meanOf(plain)) << run;
      ASSERT_EQ(printed(tally.plainRelativeError()), printed(relativeError(plain))) << run;
      for (std::size_t t = 0; t < targets.size(); ++t) {
        if (!stops[t] && tally.targetMet(targets[t])) stops[t] = run;
        if (!twoPassStops[t] && twoPass <= targets[t]) twoPassStops[t] = run;
      }
    }
    EXPECT_EQ(stops, twoPassStops);
  }
}

TEST(EstimateStatistics, EstimatesBelowTheRangeOfADoubleKeepTheirValues) {
  // Scaling by a power of two is exact, so the mean scales exactly and the
  // relative error is unchanged, bit for bit, however far below a double's
  // range the scaled estimates lie (2^-1400 is about 1e-422).
  const EstimateList plain{0.0, 0.013, 0.0121351, 0.0099, 0.0207959};
  EstimateList scaled;
  for (const WideDouble& x : plain) scaled.push_back(ldexp(x, -1400));
  EXPECT_EQ(meanOf(scaled), ldexp(meanOf(plain), -1400));
  EXPECT_EQ(relativeError(scaled), relativeError(plain));
  EXPECT_GT(meanOf(scaled), 0);
}

TEST(EstimateStatistics, NumbersPrintAsADoubleWouldAndBeyondItsRange) {
  for (double x : {0.0, 0.00649102, 1e-5, 1000.0, 1e6, 123456.5, 0.2, 1.0 / 3.0, 2.5e-300,
                   std::numeric_limits<double>::min(), 1e300}) {
    std::ostringstream asDouble, asWide;
    asDouble << x;
    writeNumber(asWide, WideDouble(x));
    EXPECT_EQ(asWide.str(), asDouble.str());
  }
  WideDouble tiny = WideDouble(1e-300) * 1e-100;
  WideDouble triangles = 1;
  for (int i = 0; i < 520; ++i) triangles *= 2.0 / 9.0;
  for (const auto& [value, text] : std::vector<std::pair<WideDouble, std::string>>{
           {tiny, "1e-400"}, {triangles, "2.13547e-340"}, {-triangles, "-2.13547e-340"}}) {
    std::ostringstream out;
    writeNumber(out, value);
    EXPECT_EQ(out.str(), text);
  }
}

TEST(EstimateStatistics, SplitNumbersJoinBackBitForBit) {
  WideDouble triangles = 1;
  for (int i = 0; i < 5000; ++i) triangles *= 2.0 / 9.0;
  const double inf = std::numeric_limits<double>::infinity();
  for (const WideDouble& x :
       {WideDouble(0), WideDouble(1.0 / 3.0), -triangles, triangles * 3,
        WideDouble(std::numeric_limits<double>::denorm_min()), WideDouble(inf), WideDouble(-inf)}) {
    std::ostringstream text;
    text << x;
    EXPECT_EQ(joinWide(splitWide(x)), x) << text.str();
  }
  EXPECT_TRUE(boost::multiprecision::isnan(
      joinWide(splitWide(WideDouble(std::numeric_limits<double>::quiet_NaN())))));
}

TEST(EstimateStatistics, DecimalFormsReadBackToTheSameNumberAtAnyExponent) {
  const WideDouble wide = ldexp(WideDouble(3), -1400);
  const std::vector<std::tuple<WideDouble, std::string, int64_t>> cases = {
      {0.0, "0", 0},
      {0.012982, "0.012982", -2},
      {1.0 / 3.0, "0.33333333333333331", -1},
      {1e-5, "1.0000000000000001e-05", -5},
      {std::numeric_limits<double>::denorm_min(), "4.9406564584124654e-324", -324},
      {wide, "1.0842447430315752e-421", -421},
      {-wide, "-1.0842447430315752e-421", -421},
      {ldexp(WideDouble(3), 1400), "8.300708910827436e+421", 421},
  };
  for (const auto& [x, text, exponent10] : cases) {
    const DecimalForm form = decimalForm(x);
    EXPECT_EQ(form.text, text);
    EXPECT_EQ(WideDouble(form.text), x) << text;
    EXPECT_EQ(form.exponent10, exponent10) << text;
    // The mantissa is a double: the 17 digits only to its nearest.
    const double mantissa = x == 0 ? 0.0 : toDouble(x / pow(WideDouble(10), exponent10));
    EXPECT_NEAR(form.mantissa, mantissa, 1e-15 * std::fabs(mantissa)) << text;
  }
}

TEST(CountingReport, ZeroEstimatesNeverEndTheExperiment) {
  // With N = 2 most runs on the 3x3 grid miss the last level and give 0;
  // the pilot has shown that proper colourings exist, so the runs go on
  // until the target is met, and the summary is a number.
  bool sawZeroFirst = false;
  for (const char* seed : {"1", "2", "3"}) {
    ProcessResult r = runTintaraBinary({"--problem", testing::kGrid, "--N", "2", "--terr", "0.5",
                                        "--seed", seed, "--decompose", "0"});
    ASSERT_EQ(r.exitStatus, 0) << seed;
    const std::vector<std::string> all = lines(r.output);
    ASSERT_GE(all.size(), 16u) << seed;
    sawZeroFirst = sawZeroFirst || all[9].rfind("1 0 0 ", 0) == 0;
    std::istringstream summary(all[all.size() - 2]);
    double mean = 0.0, re = 1.0;
    summary >> mean >> re;
    EXPECT_GT(mean, 0.0) << seed;
    EXPECT_LE(re, 0.5) << seed;
  }
  EXPECT_TRUE(sawZeroFirst);
}

TEST(CountingReport, EdgelessGraphPrintsTheKnownTableExactly) {
  TempFile file("c five isolated vertices\np 5\n");
  ProcessResult r = runTintaraBinary({"--problem", file.path(), "--N", "20", "--decompose", "0"});
  ASSERT_EQ(r.exitStatus, 0);
  const std::string expectedHeader =
      header(file.path(), "N=20, rho=0.2 and target relative error=0.03") + kStars +
      "\n# LEVELS = 2\n" + kStars + "\n";
  ASSERT_EQ(r.output.substr(0, expectedHeader.size()), expectedHeader);
  const std::vector<std::string> all = lines(r.output.substr(expectedHeader.size()));
  // Every estimate is 1: after run k the mean is k/(k+1) and the relative
  // error 1/sqrt(k(k+1)), first at or below 0.03 after 33 runs.
  ASSERT_EQ(all.size(), 33u + 6u);
  for (int k = 1; k <= 33; ++k) {
    std::ostringstream expected;
    expected << k << " " << 1.0 << " " << k / (k + 1.0) << " " << 1.0 / std::sqrt(k * (k + 1.0));
    EXPECT_EQ(withoutCpu(all[k - 1]), expected.str());
  }
  EXPECT_EQ(all[33], kStars);
  EXPECT_EQ(all[34],
            "**********************    Result Summary    ***********************************");
  EXPECT_EQ(all[35], "estimator  |  RE  |  CPU");
  EXPECT_EQ(all[36], kStars);
  std::ostringstream summary;
  summary << 33 / 34.0 << " " << 1.0 / std::sqrt(33 * 34.0);
  EXPECT_EQ(withoutCpu(all[37]), summary.str());
  EXPECT_EQ(all[38], kStars);
  EXPECT_EQ(r.output.back(), '\n');
}

TEST(CountingReport, LooseTargetStopsAfterOneRun) {
  TempFile file("e 0 1\n");
  ProcessResult r = runTintaraBinary(
      {"--problem", file.path(), "--terr", "0.71", "--N", "50", "--decompose", "0"});
  ASSERT_EQ(r.exitStatus, 0);
  const std::vector<std::string> all = lines(r.output);
  ASSERT_EQ(all.size(), 9u + 1u + 6u);
  // One edge, two colours of three equal: exactly 2/3 is proper; the run's
  // estimate is a product of fractions of 50.
  EXPECT_EQ(all[9].substr(0, 2), "1 ");
}

TEST(CountingReport, UnreachableProperColouringIsReportedNotEstimated) {
  struct Case {
    std::string instance;
    std::string colors;
    std::string level;
  };
  const std::vector<Case> cases = {
      {"p 4\ne 0 1\ne 0 2\ne 0 3\ne 1 2\ne 1 3\ne 2 3\n", "3", "-2"},  // K4
      {"p 2\ne 0 1\n", "1", "-2"},                                     // one colour: singular
  };
  for (const Case& c : cases) {
    TempFile file(c.instance);
    ProcessResult r =
        runTintaraBinary({"--problem", file.path(), "--colors", c.colors, "--decompose", "0"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.output, header(file.path(), "N=1000, rho=0.2 and target relative error=0.03") +
                            "The pilot run stagnated at level " + c.level +
                            " without reaching a proper coloring with " + c.colors +
                            (c.colors == "1" ? " color" : " colors") +
                            ", so no estimate is made\n");
  }
}

// After the summary standard error gives the plain mean; split whole, 30
// disjoint triangles give heavy-tailed runs (many at 0, a wide log-spread),
// which it warns of, text and JSON alike; a torus at RE 0.1 does not.
TEST(CountingReport, HeavyTailedRunsAreWarnedOf) {
  std::vector<std::pair<int32_t, int32_t>> triangles;
  for (int32_t t = 0; t < 30; ++t) {
    triangles.insert(triangles.end(),
                     {{3 * t, 3 * t + 1}, {3 * t + 1, 3 * t + 2}, {3 * t, 3 * t + 2}});
  }
  TempFile pieces(testing::instanceText(90, triangles));
  TempFile torus(testing::instanceText(64, testing::torusEdges(8)));
  const std::string plainMean =
      "plain mean of the [0-9]+ runs: \\S+, RE \\S+ \\(the average above "
      "counts an entry 0\\.0 before the first run\\)\n";
  const std::string warning =
      "[0-9]+ of [0-9]+ runs gave 0, the estimates' logarithms have variance \\S+: the estimates "
      "are strongly skewed and their relative error is itself uncertain; a larger --N makes "
      "fewer runs end at 0\n";
  struct Case {
    std::vector<std::string> args;
    std::string errors;
    bool heavy;
  };
  const std::vector<Case> cases = {
      {{"--problem", pieces.path(), "--decompose", "0", "--N", "100", "--terr", "0.2"},
       plainMean + warning,
       true},
      {{"--problem", torus.path(), "--terr", "0.1"},
       "decomposed: 1 block; 0 exact \\(factor 1\\), 1 split \\(64 vertices\\); the runs "
       "averaged with an entry 0\\.0 first\n" +
           plainMean,
       false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--seed", "2"});
    const ProcessResult text = runTintaraBinary(args);
    EXPECT_EQ(text.exitStatus, 0) << c.args[1];
    EXPECT_TRUE(std::regex_match(text.errors, std::regex(c.errors))) << text.errors;
    args.insert(args.end(), {"--format", "json"});
    const ProcessResult json = runTintaraBinary(args);
    EXPECT_EQ(json.errors, text.errors);
    EXPECT_NE(json.output.find(std::string("\"heavy_tailed\":") + (c.heavy ? "true" : "false")),
              std::string::npos)
        << json.output;
  }
}

TEST(CountingReport, UnreadableFileFollowsTheHeader) {
  ProcessResult r = runTintaraBinary({"--problem", "/no/such/file"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.output, header("/no/such/file", "N=1000, rho=0.2 and target relative error=0.03") +
                          "Error in openening file /no/such/file: No such file or directory\n");
}

// End to end below the range of a double: 475 disjoint triangles with 3
// colours are properly coloured with probability exactly (2/9)^475, about
// 5.3e-311. A real run needs N of a thousand or so here (the last level
// keeps about one sample in 1400) and takes seconds, so the journal holds
// one run's estimate at that probability instead, and the binary reads,
// tallies and prints it. The accumulation itself is tested exactly above.
TEST(CountingAccuracy, ProbabilityFarBelowTheRangeOfADoubleIsReported) {
  constexpr int32_t kTriangles = 475;
  std::vector<std::pair<int32_t, int32_t>> edges;
  std::vector<int32_t> coloring;
  for (int32_t t = 0; t < kTriangles; ++t) {
    edges.insert(edges.end(), {{3 * t, 3 * t + 1}, {3 * t + 1, 3 * t + 2}, {3 * t, 3 * t + 2}});
    coloring.insert(coloring.end(), {0, 1, 2});
  }
  TempFile file(testing::instanceText(3 * kTriangles, edges));
  const std::string journal = file.directory() + "/runs.journal";
  WideDouble exact = 1;
  for (int t = 0; t < kTriangles; ++t) exact *= WideDouble(2) / 9;
  ASSERT_LT(exact, 1e-308);
  {
    // One monochromatic edge fewer at each level.
    LevelList levels{-3.0 * kTriangles};
    for (int32_t edgesLeft = kTriangles; edgesLeft >= 0; --edgesLeft) {
      levels.push_back(-2.0 * edgesLeft);
    }
    Journal recorded = Journal::open(journal);
    recorded.start(JournalHeader{graphHash(readGraph(file.path(), UINT64_MAX)),
                                 3,
                                 1000,
                                 0.2,
                                 3,
                                 false,
                                 1,
                                 {{levels, coloring}},
                                 0});
    recorded.record(1, CountingRun{exact, 9000});
  }
  // Without --decompose, the journal's setting (0, as it was written) holds.
  ProcessResult r = runTintaraBinary(
      {"--problem", file.path(), "--terr", "0.71", "--seed", "3", "--journal", journal});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_NE(r.errors.find("was written with --decompose 0"), std::string::npos) << r.errors;
  const std::vector<std::string> all = lines(r.output);
  ASSERT_EQ(all.size(), 9u + 1u + 6u);
  EXPECT_EQ(all[7], "# LEVELS = 477");
  // One run: the printed mean is half the estimate, in the run's line and
  // in the summary.
  std::ostringstream half;
  writeNumber(half, exact / 2);
  EXPECT_EQ(all[9], "1 5.29732e-311 " + half.str() + " 0.707107 9");
  EXPECT_EQ(all[14], half.str() + " 0.707107 9");
}

// The display's forecast: the runs still needed at the spread so far, and
// no more than "more than 10^12" where the figure would overflow an integer.
TEST(CountingProgress, TheForecastSaturatesInsteadOfOverflowing) {
  EstimateTally tally;
  RunRecord last;
  for (int64_t run = 1; run <= 4; ++run) {
    last = tally.add(run, CountingRun{WideDouble(run % 2 == 0 ? 0.002 : 0.001), 5});
  }
  const auto inAMinute = std::chrono::seconds(60);
  const std::string far = runsProgressText(last, tally, 4.7e-10, 4, inAMinute);
  EXPECT_NE(far.find(" after 4 runs (target 4.7e-10): more than 10^12 runs"), std::string::npos)
      << far;
  EXPECT_EQ(far.find("about"), std::string::npos) << far;
  const std::string near = runsProgressText(last, tally, 0.1, 4, inAMinute);
  EXPECT_NE(near.find(": about "), std::string::npos) << near;
  EXPECT_NE(near.find(" more runs, "), std::string::npos) << near;
}

}  // namespace
}  // namespace tintara
