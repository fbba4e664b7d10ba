// The JSON report (--format json) through the built executable: it carries
// the text report's figures for a seed, refusals and errors become error
// objects with the text report's status, and the summary tells every ending.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <csignal>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "splitting/estimate_list.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

using nlohmann::json;

const std::string kPetersen = std::string(TINTARA_SOURCE_DIR) + "/examples/petersen.txt";

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

std::vector<json> ofType(const std::vector<json>& all, const std::string& type) {
  std::vector<json> result;
  for (const json& object : all) {
    if (object.value("type", "") == type) result.push_back(object);
  }
  return result;
}

// A wide number's value from its text, after checking that its mantissa (a
// double, so only the nearest to the text's digits) and decimal exponent
// give the same value.
WideDouble wideValue(const json& number) {
  const WideDouble value(number.at("text").get<std::string>());
  const double mantissa = number.at("mantissa").get<double>();
  std::ostringstream parts;
  parts << std::setprecision(17) << mantissa << "e" << number.at("exponent10").get<int64_t>();
  if (value == 0) {
    EXPECT_EQ(mantissa, 0.0) << number;
  } else {
    EXPECT_LT(toDouble(abs(WideDouble(parts.str()) / value - 1)), 1e-15) << number;
    EXPECT_TRUE(std::abs(mantissa) >= 1 && std::abs(mantissa) < 10) << number;
  }
  return value;
}

// How the text report prints a figure: a wide number, or a double where
// null stands for NaN (printed "nan" or "-nan", as its sign bit falls).
std::string printed(const WideDouble& x) {
  std::ostringstream text;
  writeNumber(text, x);
  return text.str();
}
std::string printed(const json& x) {
  if (x.is_null()) return "nan";
  std::ostringstream text;
  text << x.get<double>();
  return text.str();
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> result;
  for (std::string word; in >> word;) result.push_back(word == "-nan" ? "nan" : word);
  return result;
}

// The counting report's run and summary lines against the JSON objects.
void expectSameCounting(const std::string& text, const std::vector<json>& all) {
  const std::vector<json> runs = ofType(all, "run");
  std::istringstream in(text);
  std::vector<std::vector<std::string>> runLines;
  std::vector<std::string> summary;
  int64_t levels = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# LEVELS = ", 0) == 0) levels = std::stoll(line.substr(11));
    if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    if (words(line).size() == 5) {
      runLines.push_back(words(line));
    } else {
      summary = words(line);
    }
  }
  EXPECT_EQ(ofType(all, "levels").at(0).at("levels").get<int64_t>(), levels);
  ASSERT_EQ(runs.size(), runLines.size());
  EstimateList estimates;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const json& run = runs[i];
    estimates.push_back(wideValue(run.at("estimate")));
    EXPECT_EQ((std::vector<std::string>{
                  std::to_string(run.at("run").get<int64_t>()), printed(estimates.back()),
                  printed(wideValue(run.at("average"))), printed(run.at("re"))}),
              std::vector<std::string>(runLines[i].begin(), runLines[i].end() - 1));
  }
  const json end = ofType(all, "summary").at(0);
  EXPECT_EQ(printed(wideValue(end.at("average"))), summary.at(0));
  EXPECT_EQ(printed(end.at("re")), summary.at(1));
  // The plain mean and its RE leave the seed entry 0.0 out.
  EXPECT_EQ(wideValue(end.at("plain_mean")), meanOf(estimates));
  EXPECT_EQ(end.at("plain_re").get<double>(), relativeError(estimates));
  EXPECT_EQ(end.at("runs").get<std::size_t>(), estimates.size());
}

// "FILE #bin E(T) CPU Chrom# STEPS E(T) CPU K" and standard error's bound.
void expectSameChromatic(const ProcessResult& text, const std::vector<json>& all) {
  const json found = ofType(all, "chromatic").at(0);
  const std::vector<std::string> figures =
      words(text.output.substr(text.output.find("Chrom# ") + 7));
  EXPECT_EQ(std::to_string(found.at("steps").get<int>()), figures.at(0));
  EXPECT_EQ(printed(found.at("mean_iterations")), figures.at(1));
  EXPECT_EQ(std::to_string(found.at("chromatic").get<int>()), figures.at(3));
  if (found.at("clique").is_null()) {
    EXPECT_EQ(text.errors, "");
    return;
  }
  const std::string clique = std::to_string(found.at("clique").get<int>());
  const std::string bound = found.at("proved").get<bool>()
                                ? "proved: a clique of " + clique + " vertices"
                                : "upper bound: the largest clique found has " + clique;
  EXPECT_EQ(text.errors.rfind(bound, 0), 0u) << text.errors;
}

TEST(JsonReport, CarriesTheTextReportsFiguresForASeed) {
  struct Case {
    std::vector<std::string> args;
    std::string seed;
  };
  const std::string queen = std::string(TINTARA_SOURCE_DIR) + "/examples/queen5_5.txt";
  const std::vector<Case> cases = {
      // Runs that give 0, whose RE is then no number.
      {{"--problem", kGrid, "--N", "2", "--terr", "0.5"}, "1"},
      {{"--problem", kGrid, "--N", "100", "--terr", "0.1", "--workers", "2"}, "3"},
      {{"--problem", kPetersen, "--chrom", "1", "--N", "200"}, "5"},
      {{"--problem", kPetersen, "--chrom", "1", "--N", "200", "--bounds", "trivial"}, "5"},
      {{"--problem", queen, "--chrom", "1"}, "18446744073709551615"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> args = withArgs(c.args, {"--seed", c.seed});
    const ProcessResult text = runTintaraBinary(args);
    const ProcessResult report = runTintaraBinary(withArgs(args, {"--format", "json"}));
    SCOPED_TRACE(args[1] + " " + c.args.back());
    EXPECT_EQ(report.exitStatus, text.exitStatus);
    EXPECT_EQ(report.errors, text.errors);
    const std::vector<json> all = objects(report.output);
    ASSERT_GE(all.size(), 2u);
    const json& header = all.front();
    EXPECT_EQ(header.at("type"), "header");
    EXPECT_EQ(header.at("seed").get<uint64_t>(), std::stoull(c.seed));
    EXPECT_EQ(header.at("options").at("problem"), c.args[1]);
    EXPECT_EQ(all.back().at("exit_status"), text.exitStatus);
    if (header.at("mode") == "counting") {
      expectSameCounting(text.output, all);
    } else {
      expectSameChromatic(text, all);
    }
  }
}

TEST(JsonReport, RefusalsAndErrorsAreErrorObjectsWithTheTextStatus) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
    bool afterHeader;
  };
  const std::vector<Case> cases = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const ProcessResult text = runTintaraBinary(c.args);
    // A prefix of the option, as the parser takes it, names the format too.
    const ProcessResult report = runTintaraBinary(withArgs(c.args, {"--form=json"}));
    EXPECT_EQ(report.exitStatus, 1);
    EXPECT_EQ(text.exitStatus, 1);
    EXPECT_NE(text.output.find(c.message), std::string::npos) << text.output;
    const std::vector<json> all = objects(report.output);
    ASSERT_EQ(all.size(), c.afterHeader ? 2u : 1u) << report.output;
    EXPECT_EQ(all.back(), (json{{"type", "error"}, {"error", c.message}}));
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
  const std::vector<std::string> longCounting = {"--problem", kPetersen, "--N",    "100",
                                                 "--seed",    "4",       "--terr", "0.0005"};
  const std::vector<Case> cases = {
      {{"--problem", kPetersen, "--colors", "2"}, "pilot-stagnated", 1, true, 0},
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
      EXPECT_EQ(ofType(all, "levels").empty(), c.duringPilot);
      EXPECT_EQ(last.at("runs").get<std::size_t>(), ofType(all, "run").size());
      EXPECT_EQ(last.at("stagnated_at").is_null(), c.end != "pilot-stagnated");
    }
  }
}

}  // namespace
}  // namespace tintara::testing
