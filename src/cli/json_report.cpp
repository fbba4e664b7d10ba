#include "cli/json_report.h"

#include <cmath>
#include <type_traits>
#include <variant>

#include <nlohmann/json.hpp>

#include "cli/output_check.h"
#include "splitting/chain_move.h"

namespace tintara {

namespace {

// Keys in the order they are put, so that a line reads as the text report's.
using json = nlohmann::ordered_json;

// One object on one line. A path or message that is not UTF-8 has its
// stray bytes replaced rather than failing the report.
void writeLine(std::ostream& out, const json& object) {
  out << object.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
  ensureWritten(out);
}

// A double, or null when it is not a number (JSON has none).
json number(double x) {
  return std::isfinite(x) ? json(x) : json(nullptr);
}

// A number that may lie beyond a double's range: its 17 significant digits
// as text and as mantissa and decimal exponent; null when not finite.
json wideNumber(const WideDouble& x) {
  if (!boost::multiprecision::isfinite(x)) return nullptr;
  const DecimalForm form = decimalForm(x);
  return {{"text", form.text}, {"mantissa", form.mantissa}, {"exponent10", form.exponent10}};
}

// Processor time as the seconds of the milliseconds measured: 0.002, where
// the text report's single-precision figure would carry float noise
// (0.0020000000949949026) into a JSON number.
json seconds(int64_t milliseconds) {
  return static_cast<double>(milliseconds) / 1000.0;
}

// What ended the work short of its goal, as "end" and "signal" say it.
void putHalt(json& object, HaltCause cause) {
  if (cause == HaltCause::OutOfTime) {
    object["end"] = "max-time";
  } else {
    object["end"] = "signal";
    object["signal"] = cause == HaltCause::Interrupted ? "SIGINT" : "SIGTERM";
  }
}

}  // namespace

void printJsonHeader(std::ostream& out, const RunSettings& settings) {
  json options = json::object();
  for (const OptionSpec& option : optionTable()) {
    std::visit(
        [&](auto field) {
          using Field = decltype(field);
          if constexpr (!std::is_same_v<Field, Flag> && !std::is_same_v<Field, SeedText>) {
            options[option.name] = settings.*field;
          }
        },
        option.field);
  }
  // The move the run makes rather than the option's default, which is
  // chromatic mode's: a header saying "tabu" for a counting run would
  // misdescribe it.
  options["move"] = moveName(settings.runParameters().move);
  options["crossover"] = crossoverName(settings.runParameters().crossover);
  writeLine(out, {{"type", "header"},
                  {"mode", settings.chrom == 1 ? "chromatic" : "counting"},
                  {"seed", settings.seed},
                  {"options", options}});
}

void printJsonLevels(std::ostream& out, std::size_t levels, int64_t journalledRuns) {
  writeLine(out, {{"type", "levels"}, {"levels", levels}, {"journalled_runs", journalledRuns}});
}

void printJsonRun(std::ostream& out, const RunRecord& record) {
  writeLine(out, {{"type", "run"},
                  {"run", record.run},
                  {"estimate", wideNumber(record.estimate)},
                  {"average", wideNumber(record.mean)},
                  {"re", number(record.relativeError)},
                  {"cpu", seconds(record.cpuMilliseconds)}});
}

// Counted by parts: each hard part's size, and with the parts' means
// multiplied, each part's plain mean and its RE; null without parts.
json partsFound(const CountingOutcome& outcome) {
  if (!outcome.partsFound) return nullptr;
  const PartsFound& found = *outcome.partsFound;
  json parts = json::array();
  for (std::size_t p = 0; p < found.parts.size(); ++p) {
    const PartsFound::Part& part = found.parts[p];
    json entry = {
        {"vertices", part.vertices},
        {"kernel_vertices", part.kernelVertices > 0 ? json(part.kernelVertices) : nullptr},
        {"weighted_edges", part.weightedEdges},
        {"mean", nullptr},
        {"re", nullptr}};
    if (p < outcome.tally.parts().size()) {
      const EstimateSums& runs = outcome.tally.parts()[p];
      entry["mean"] = runs.count() > 0 ? wideNumber(runs.mean()) : json(nullptr);
      entry["re"] = number(std::sqrt(runs.relativeVarianceOfMean()));
    }
    parts.push_back(entry);
  }
  return {{"blocks", found.blocks},
          {"exact_blocks", found.exactBlocks},
          {"exact_factor", wideNumber(found.exactFactor)},
          {"means_multiplied", outcome.tally.multipliesMeans()},
          {"parts", parts}};
}

void printJsonSummary(std::ostream& out, const CountingOutcome& outcome, int exitStatus) {
  const EstimateTally& tally = outcome.tally;
  const bool duringPilot =
      outcome.end == CountingEnd::PilotHalted || outcome.end == CountingEnd::PilotStagnated;
  if (outcome.end == CountingEnd::Exact) {
    // No run: the probability itself, known exactly.
    const json exact = wideNumber(outcome.exactValue);
    writeLine(out, {{"type", "summary"},
                    {"runs", 0},
                    {"zero_runs", 0},
                    {"average", exact},
                    {"re", 0},
                    {"cpu", seconds(outcome.exactMilliseconds)},
                    {"plain_mean", exact},
                    {"plain_re", 0},
                    {"largest_share", nullptr},
                    {"log_variance", nullptr},
                    {"heavy_tailed", false},
                    {"end", "exact"},
                    {"signal", nullptr},
                    {"during_pilot", false},
                    {"stagnated_at", nullptr},
                    {"decomposition", partsFound(outcome)},
                    {"exit_status", exitStatus}});
    return;
  }
  json summary = {{"type", "summary"},
                  {"runs", tally.runs()},
                  {"zero_runs", tally.zeroRuns()},
                  {"average", tally.runs() > 0 ? wideNumber(tally.mean()) : nullptr},
                  {"re", number(tally.relativeError())},
                  {"cpu", seconds(tally.cpuMilliseconds())},
                  {"plain_mean", wideNumber(tally.plainMean())},
                  {"plain_re", number(tally.plainRelativeError())},
                  {"largest_share", number(tally.largestShare())},
                  {"log_variance", number(tally.logVariance())},
                  {"heavy_tailed", tailSigns(tally).any()},
                  {"end", "target-met"},
                  {"signal", nullptr},
                  {"during_pilot", duringPilot},
                  {"stagnated_at", nullptr},
                  {"decomposition", partsFound(outcome)},
                  {"exit_status", exitStatus}};
  switch (outcome.end) {
    case CountingEnd::TargetMet:
      break;
    case CountingEnd::RunBudget:
      summary["end"] = "max-runs";
      break;
    case CountingEnd::Halted:
    case CountingEnd::PilotHalted:
      putHalt(summary, outcome.cause);
      break;
    case CountingEnd::PilotStagnated:
      summary["end"] = "pilot-stagnated";
      summary["stagnated_at"] = outcome.levels.back().back();
      break;
    case CountingEnd::Exact:
      break;
  }
  writeLine(out, summary);
}

void printJsonChromatic(std::ostream& out, const ChromaticFigures& figures) {
  json object = {{"type", "chromatic"},
                 {"steps", figures.steps},
                 {"mean_iterations", number(figures.meanIterations)},
                 {"cpu", seconds(figures.cpuMilliseconds)},
                 {"chromatic", figures.chromatic},
                 {"proved", figures.clique == figures.chromatic},
                 {"clique", nullptr},
                 {"end", "finished"},
                 {"signal", nullptr},
                 {"exit_status", figures.exitStatus}};
  json steps = json::array();
  for (const StepFigures& step : figures.stepList) {
    json tests = json::array();
    for (const TestAnswer& test : step.tests) {
      tests.push_back({{"k", test.colors}, {"passed", test.passed}});
    }
    steps.push_back({{"step", step.step},
                     {"tests", tests},
                     {"colors", step.colors},
                     {"cpu", seconds(step.cpuMilliseconds)},
                     {"cpu_in_all", seconds(step.cpuInAllMilliseconds)}});
  }
  object["step_list"] = steps;
  if (figures.clique) object["clique"] = *figures.clique;
  if (figures.cause != HaltCause::None) putHalt(object, figures.cause);
  writeLine(out, object);
}

void printJsonError(std::ostream& out, const std::string& message) {
  writeLine(out, {{"error", message}});
}

}  // namespace tintara
