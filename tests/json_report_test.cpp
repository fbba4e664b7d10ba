// The JSON report (--format json) through the built executable: it carries
// the text report's figures for a seed, refusals and errors become error
// objects with the text report's status, and the summary tells every ending.
#include <gtest/gtest.h>

#include <regex>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "splitting/estimate_list.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

using nlohmann::json;

const std::string kPetersen = std::string(TINTARA_SOURCE_DIR "/examples/petersen.txt");

std::vector<std::string> withArgs(std::vector<std::string> args,
                                  const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// Every line of `output` parsed; a line that is not JSON fails the test.
std::vector<json> objects(const std::string& output) {
  std::vector<json> result;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    result.push_back(json::parse(line, nullptr, false));
    EXPECT_FALSE(result.back().is_discarded()) << line;
  }
  return result;
}

// A figure as the text report prints it: a wide number from its 17-digit
// text, or a double, null standing for NaN ("-nan" in the text).
std::string printed(const json& x) {
  std::ostringstream text;
  if (x.is_null()) {
    text << "-nan";
  } else if (x.is_object()) {
    writeNumber(text, WideDouble(x.at("text").get<std::string>()));
  } else {
    text << x.get<double>();
  }
  return text.str();
}

// The text report's lines with figures, CPU left out (withoutCpu), rebuilt
// from the JSON objects; and the run estimates read from their text.
std::string figureLines(const std::vector<json>& all, const std::string& problem,
                        EstimateList& estimates) {
  std::ostringstream text;
  for (const json& o : all) {
    if (o.at("type") == "levels") text << "# LEVELS = " << o.at("levels") << "\n";
    if (o.at("type") == "run") {
      estimates.emplace_back(o.at("estimate").at("text").get<std::string>());
      text << o.at("run") << " " << printed(o.at("estimate")) << " " << printed(o.at("average"))
           << " " << printed(o.at("re")) << "\n";
    }
    if (o.at("type") == "summary") {
      text << printed(o.at("average")) << " " << printed(o.at("re")) << "\n";
    }
    if (o.at("type") == "chromatic") {
      text << problem << " #bin E(T) CPU Chrom# " << o.at("steps") << " "
           << printed(o.at("mean_iterations")) << " " << o.at("chromatic") << "\n";
    }
  }
  return text.str();
}

std::string figureLines(const std::string& report) {
  std::istringstream in(withoutCpu(report));
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# LEVELS", 0) == 0 || line.find("#bin") != std::string::npos ||
        (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))) {
      text += line + "\n";
    }
  }
  return text;
}

TEST(JsonReport, CarriesTheTextReportsFiguresForASeed) {
  const std::string queen = std::string(TINTARA_SOURCE_DIR "/examples/queen5_5.txt");
  // (arguments, the line standard error ends with)
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      // Runs that give 0, whose RE is then no number.
      {{"--problem", kGrid, "--N", "2", "--terr", "0.5", "--decompose", "0", "--seed", "1"},
       "a larger --N makes fewer runs end at 0\n"},
      {{"--problem", kGrid, "--N", "100", "--terr", "0.1", "--workers", "2", "--decompose", "0",
        "--seed", "3"},
       ""},
      {{"--problem", kPetersen, "--chrom", "1", "--N", "200", "--seed", "5"},
       "upper bound: the largest clique found has 2 vertices\n"},
      {{"--problem", kPetersen, "--chrom", "1", "--bounds", "trivial", "--seed", "5"}, ""},
      {{"--problem", queen, "--chrom", "1", "--seed", "18446744073709551615"},
       "proved: a clique of 5 vertices needs 5 colors\n"},
  };
  for (const auto& [args, said] : cases) {
    SCOPED_TRACE(args[1] + " " + args.back());
    const ProcessResult text = runTintaraBinary(args);
    const ProcessResult report = runTintaraBinary(withArgs(args, {"--format", "json"}));
    EXPECT_EQ(report.exitStatus, text.exitStatus);
    // The step lines' CPU seconds aside, standard error is the same.
    const std::regex seconds("[0-9.]+ s CPU, [0-9.]+ s in all");
    EXPECT_EQ(std::regex_replace(report.errors, seconds, "CPU"),
              std::regex_replace(text.errors, seconds, "CPU"));
    EXPECT_TRUE(text.errors.ends_with(said)) << text.errors;
    const std::vector<json> all = objects(report.output);
    ASSERT_GE(all.size(), 2u);
    const json& header = all.front();
    EXPECT_EQ(header.at("seed").get<uint64_t>(), std::stoull(args.back()));
    EXPECT_EQ(header.at("options").at("problem"), args[1]);
    // The move the run makes: tabu only for chromatic mode from its bounds.
    const bool tabu = header.at("mode") == "chromatic" &&
                      std::find(args.begin(), args.end(), "trivial") == args.end();
    EXPECT_EQ(header.at("options").at("move"), tabu ? "tabu" : "gibbs");
    const json& last = all.back();
    EXPECT_EQ(last.at("exit_status"), text.exitStatus);
    EstimateList estimates;
    EXPECT_EQ(figureLines(all, args[1], estimates), figureLines(text.output));
    if (last.at("type") == "chromatic") {
      EXPECT_EQ(last.at("proved"), said.rfind("proved", 0) == 0);
    } else {
      // The plain mean and its RE leave the seed entry 0.0 out.
      EXPECT_EQ(WideDouble(last.at("plain_mean").at("text").get<std::string>()), meanOf(estimates));
      EXPECT_EQ(printed(last.at("plain_re")), printed(json(relativeError(estimates))));
    }
  }
}

TEST(JsonReport, RefusalsAndErrorsAreErrorObjectsWithTheTextStatus) {
  // (arguments, the message, whether a header comes first)
  const std::vector<std::tuple<std::vector<std::string>, std::string, bool>> cases = {
      {{"--problem", kGrid, "--N", "many"},
       "the argument ('many') for option '--N' is invalid",
       false},
      {{"--colors", "3"}, "No input graph was specified", false},
      {{"--problem", kGrid, "--rho", "2"},
       "Invalid value for option rho: 2 (allowed: 0 <= rho < 1)",
       false},
      {{"--problem", "/no/such/file"},
       "Error in openening file /no/such/file: No such file or directory",
       true},
      {{"--problem", "/no/such/file", "--chrom", "1"},
       "Error in openening file /no/such/file: No such file or directory",
       true},
  };
  for (const auto& [args, message, afterHeader] : cases) {
    SCOPED_TRACE(message);
    const ProcessResult text = runTintaraBinary(args);
    // A prefix of the option, as the parser takes it, names the format too.
    const ProcessResult report = runTintaraBinary(withArgs(args, {"--form=json"}));
    EXPECT_EQ(text.exitStatus, 1);
    EXPECT_EQ(report.exitStatus, 1);
    EXPECT_NE(text.output.find(message), std::string::npos) << text.output;
    const std::vector<json> all = objects(report.output);
    ASSERT_EQ(all.size(), afterHeader ? 2u : 1u) << report.output;
    EXPECT_EQ(all.back(), (json{{"error", message}}));
  }
}

TEST(JsonReport, TheLastObjectTellsHowTheWorkEnded) {
  struct Case {
    std::vector<std::string> args;
    std::string end;
    int status;
    bool duringPilot;
    int signal;  // sent once the output holds `"run":3,`; 0: none
  };
  const std::vector<std::string> longCounting = {
      "--problem", kPetersen, "--N", "100", "--seed", "4", "--terr", "0.0005", "--decompose", "0"};
  const std::vector<Case> cases = {
      {{"--problem", kPetersen, "--colors", "2", "--decompose", "0"},
       "pilot-stagnated",
       1,
       true,
       0},
      {{"--problem", kPetersen}, "exact", 0, false, 0},  // by parts, every block exact
      {withArgs(longCounting, {"--max-runs", "3"}), "max-runs", 3, false, 0},
      {withArgs(longCounting, {"--max-time", "1e-9"}), "max-time", 3, true, 0},
      {longCounting, "signal", 130, false, SIGINT},
      {{"--problem", kPetersen, "--chrom", "1", "--N", "200000", "--seed", "2", "--max-time",
        "0.5"},
       "max-time",
       3,
       false,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.end);
    const std::vector<std::string> args = withArgs(c.args, {"--format", "json"});
    const ProcessResult r = c.signal ? runAndSignal(TINTARA_BINARY, args, "\"run\":3,", {c.signal})
                                     : runTintaraBinary(args);
    EXPECT_EQ(r.exitStatus, c.status) << r.errors;
    const std::vector<json> all = objects(r.output);
    ASSERT_FALSE(all.empty());
    const json& last = all.back();
    EXPECT_EQ(last.at("end"), c.end) << last;
    EXPECT_EQ(last.at("exit_status"), c.status);
    EXPECT_EQ(last.at("signal").is_null(), c.signal == 0);
    if (last.at("type") == "summary") {
      EXPECT_EQ(last.at("during_pilot"), c.duringPilot);
      EXPECT_EQ(last.at("stagnated_at").is_null(), c.end != "pilot-stagnated");
      // No levels before a pilot's end; as many runs as the summary counts.
      std::size_t levels = 0, runs = 0;
      for (const json& o : all) {
        levels += o.at("type") == "levels";
        runs += o.at("type") == "run";
      }
      EXPECT_EQ(levels, c.duringPilot ? 0u : 1u);
      EXPECT_EQ(last.at("runs"), runs);
    }
  }
}

}  // namespace
}  // namespace tintara::testing
