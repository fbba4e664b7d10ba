// The program's options: one table (optionTable) names each option once,
// with its value, default, allowed range, listing text and the modes that
// use it. The option parser's description, the range checks, the defaults
// of RunSettings and the README's option table all follow from it.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "splitting/experiment_runs.h"

namespace boost::program_options {
class options_description;
}

namespace tintara {

struct RunSettings {
  // Every option at its default.
  RunSettings();

  std::string problem;
  int32_t colors = 0;
  int32_t N = 0;
  double rho = 0.0;
  double terr = 0.0;
  int32_t chrom = 0;
  uint64_t seed = 0;
  int32_t workers = 0;       // threads, at least 1 once resolved
  std::string saveColoring;  // where to write the colouring found; empty: nowhere
  std::string journal;       // where runs are recorded and resumed from; empty: nowhere
  int64_t maxRuns = 0;       // the experiment's runs in all; 0: no limit
  double maxTime = 0.0;      // wall seconds of this invocation; 0: no limit
  std::string bounds;        // chromatic mode's starting interval: "greedy" or "trivial"
  std::string format;        // the report's form: "text" or "json" (cli/json_report.h)
  int32_t decompose = 0;     // 1: count by blocks (exact/parts.h); 0: the whole graph
  std::string move;          // chromatic mode's chain move: "gibbs" or "tabu"
  std::string crossover;     // chromatic tests' crossover: "none" or "gpx"

  // Whether --seed was given (otherwise a journal's seed, or a fresh one).
  bool seedGiven = false;
  // Whether --decompose was given (otherwise a journal's setting, or the
  // default).
  bool decomposeGiven = false;

  // Whether the report is JSON Lines (--format json) rather than text.
  bool jsonReport() const { return format == "json"; }
  // --bounds trivial: the search over [0, n], for studies of the method.
  bool trivialBounds() const { return bounds == "trivial"; }

  // What every run shares, from these settings.
  RunParameters runParameters() const;
};

// The largest number of threads a run takes.
constexpr int32_t kMaxWorkers = 1024;

// Which modes read an option: its range is checked only in those.
enum class Modes : uint8_t { Counting = 1, Chromatic = 2, Both = 3 };

// Where an option's value goes. The seed is read as text and checked on
// its own (parseSeed), so that any 64-bit value is allowed; a flag has no
// value.
struct Flag {};
struct SeedText {};
using OptionField = std::variant<Flag, SeedText, std::string RunSettings::*, int32_t RunSettings::*,
                                 int64_t RunSettings::*, double RunSettings::*>;

// The values a number may take: low (<=, or < when lowExclusive) value
// (<=, or < when highExclusive) high, then `note` after a semicolon; or the
// words a text may be, when `choices` holds any.
struct Limits {
  double low = -std::numeric_limits<double>::infinity();
  double high = std::numeric_limits<double>::infinity();
  bool lowExclusive = false;
  bool highExclusive = false;
  const char* note = nullptr;
  std::vector<std::string> choices = {};
};

struct OptionSpec {
  const char* name;
  const char* valueName;  // in the README: `--colors k`; nullptr for a flag
  OptionField field;
  const char* defaultValue;  // as typed on the command line; nullptr: none
  const char* shownDefault;  // the README's default where there is no value
  const char* help;          // the listing's text; "{}" stands for the default
  Limits limits;
  Modes modes;
};

// Every option, in the order of the listing.
const std::vector<OptionSpec>& optionTable();

// The listing's text of `option`, its default in place of "{}".
std::string helpText(const OptionSpec& option);

// Adds every option of the table to `description`, its value bound to
// `settings` (the seed's text to `seedText`).
void describeOptions(boost::program_options::options_description& description,
                     RunSettings& settings, std::string& seedText);

// The one-line message for the first setting out of range, or nothing:
// chrom first, since it chooses the mode, then the options the mode reads,
// in table order.
std::optional<std::string> checkSettings(const RunSettings& settings);

// The smallest target relative error accepted: after m runs the relative
// error is at least 1 / sqrt(m (m + 1)) whatever the estimates (the list
// starts with 0.0), so a smaller target could not be met within 2^31 - 1
// runs. Rounded up to the 6 digits the message prints, so that the printed
// bound is itself accepted.
double smallestTerr();

// A seed written as a whole decimal number from 0 to 2^64 - 1, or nothing.
std::optional<uint64_t> parseSeed(const std::string& text);

// The message for a seed that parseSeed refuses.
std::string seedError(const std::string& text);

}  // namespace tintara
