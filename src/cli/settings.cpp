#include "cli/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <boost/lexical_cast.hpp>
#include <boost/program_options.hpp>

#include "io/path_names.h"

namespace po = boost::program_options;

namespace tintara {

double smallestTerr() {
  const double runLimit = std::numeric_limits<int32_t>::max();
  const double bound = 1.0 / std::sqrt(runLimit * (runLimit + 1.0));
  // Round up in the sixth significant digit: 4.65661e-10 lies just below
  // the bound, so the message prints (and accepts) 4.65662e-10.
  char text[32];
  std::snprintf(text, sizeof text, "%.5e", bound);
  double printed = std::strtod(text, nullptr);
  if (printed < bound) {
    const double digit = std::pow(10.0, std::floor(std::log10(printed)) - 5.0);
    std::snprintf(text, sizeof text, "%.5e", printed + digit);
    printed = std::strtod(text, nullptr);
  }
  return printed;
}

const std::vector<OptionSpec>& optionTable() {
  // The first eleven entries, in this order and with this listing text
  // ("# of colors" and "find chromatic number only" included), are kept as
  // they are: existing files and scripts match the listing. Options added
  // later go after them, with names whose first letters keep every prefix
  // in use unambiguous (--t, --p, --r, --ch, --co, --h, --se, --sa, --w,
  // --v).
  static const std::vector<OptionSpec> table = [] {
    constexpr Modes kBoth = Modes::Both;
    constexpr Modes kCounting = Modes::Counting;
    // clang-format off
    return std::vector<OptionSpec>{
        {"help", nullptr, Flag{}, nullptr, "", "produce help message", {}, kBoth},
        {"problem", "FILE", &RunSettings::problem, nullptr, "(required)",
         "input graph instance file", {}, kBoth},
        {"colors", "k", &RunSettings::colors, "3", nullptr, "# of colors (default is {})",
         {.low = 1}, kCounting},
        {"N", "n", &RunSettings::N, "1000", nullptr, "splitting budget (default is {})",
         {.low = 1}, kBoth},
        {"rho", "r", &RunSettings::rho, "0.2", nullptr,
         "splitting rarity parameter (default is {})", {.low = 0, .high = 1, .highExclusive = true},
         kBoth},
        {"terr", "e", &RunSettings::terr, "0.03", nullptr, "target relative error (default is {})",
         {.low = smallestTerr(), .high = 1, .highExclusive = true}, kCounting},
        {"chrom", "c", &RunSettings::chrom, "0", nullptr,
         "find chromatic number only (default is {} - for counting)", {.low = 0, .high = 1}, kBoth},
        {"seed", "S", SeedText{}, nullptr, "drawn afresh",
         "random seed, 0 to 2^64-1 (default is a fresh seed, written to standard error)", {},
         kBoth},
        {"workers", "T", &RunSettings::workers, "1", nullptr,
         "threads (default is {}; 0 - one per hardware thread)",
         {.low = 0, .high = kMaxWorkers, .note = "0 means one per hardware thread"}, kBoth},
        {"save-coloring", "FILE", &RunSettings::saveColoring, nullptr, "",
         "write the proper coloring found to this file", {}, kBoth},
        {"version", nullptr, Flag{}, nullptr, "", "print the program's name and version", {},
         kBoth},
        {"journal", "FILE", &RunSettings::journal, nullptr, "",
         "record the runs in this file and resume from it", {}, kCounting},
        {"max-runs", "R", &RunSettings::maxRuns, "0", nullptr,
         "stop after this many runs (default is {} - no limit)",
         {.low = 0, .note = "0 means no limit"}, kCounting},
        {"max-time", "SECONDS", &RunSettings::maxTime, "0", nullptr,
         "stop after this many seconds (default is {} - no limit)",
         {.low = 0, .note = "0 means no limit"}, kBoth},
        {"bounds", "B", &RunSettings::bounds, "greedy", nullptr,
         "chromatic search from a clique and DSATUR, or trivial (default is {})",
         {.choices = {"greedy", "trivial"}}, Modes::Chromatic},
        {"format", "FORMAT", &RunSettings::format, "text", nullptr,
         "report: text, or json for JSON Lines (default is {})",
         {.choices = {"text", "json"}}, kBoth},
        {"decompose", "D", &RunSettings::decompose, "1", nullptr,
         "1 - count blocks exactly where possible, split the rest; 0 - split the whole graph "
         "(default is {})",
         {.low = 0, .high = 1}, kCounting},
        {"move", "M", &RunSettings::move, "tabu", nullptr,
         "chromatic tests' chain move: gibbs or tabu (default is {})",
         {.choices = {"gibbs", "tabu"}}, Modes::Chromatic},
        {"crossover", "X", &RunSettings::crossover, "none", nullptr,
         "chromatic tests' crossover with --move tabu: none or gpx (default is {})",
         {.choices = {"none", "gpx"}}, Modes::Chromatic},
    };
    // clang-format on
  }();
  return table;
}

std::string helpText(const OptionSpec& option) {
  std::string text = option.help;
  const std::size_t at = text.find("{}");
  if (at != std::string::npos) text.replace(at, 2, option.defaultValue ? option.defaultValue : "");
  return text;
}

namespace {

template <typename T>
void applyDefault(const OptionSpec& option, RunSettings& settings) {
  if (const auto* member = std::get_if<T RunSettings::*>(&option.field);
      member && option.defaultValue) {
    settings.*(*member) = boost::lexical_cast<T>(option.defaultValue);
  }
}

}  // namespace

RunSettings::RunSettings() {
  for (const OptionSpec& option : optionTable()) {
    applyDefault<int32_t>(option, *this);
    applyDefault<int64_t>(option, *this);
    applyDefault<double>(option, *this);
    applyDefault<std::string>(option, *this);
  }
}

RunParameters RunSettings::runParameters() const {
  // The move the runs make. Counting mode's estimates rest on the Gibbs
  // sweep's law on the level set, and --bounds trivial studies the
  // splitting method itself: both sweep by Gibbs, whatever --move says.
  const MoveKind kind =
      chrom != 1 || trivialBounds() ? MoveKind::Gibbs : parseMove(move).value_or(MoveKind::Gibbs);
  // Children are walked by the tabu walk, so only it makes them.
  const Crossover crossing = kind == MoveKind::Tabu
                                 ? parseCrossover(crossover).value_or(Crossover::None)
                                 : Crossover::None;
  return RunParameters{N, rho, colors, seed, workers, kind, crossing};
}

void describeOptions(po::options_description& description, RunSettings& settings,
                     std::string& seedText) {
  for (const OptionSpec& option : optionTable()) {
    const std::string help = helpText(option);
    std::visit(
        [&](auto field) {
          using Field = decltype(field);
          if constexpr (std::is_same_v<Field, Flag>) {
            description.add_options()(option.name, help.c_str());
          } else if constexpr (std::is_same_v<Field, SeedText>) {
            description.add_options()(option.name, po::value<std::string>(&seedText), help.c_str());
          } else {
            using Value = std::remove_reference_t<decltype(settings.*field)>;
            description.add_options()(option.name, po::value<Value>(&(settings.*field)),
                                      help.c_str());
          }
        },
        option.field);
  }
}

namespace {

bool usedIn(Modes modes, const RunSettings& settings) {
  const Modes mode = settings.chrom == 1 ? Modes::Chromatic : Modes::Counting;
  return (static_cast<uint8_t>(modes) & static_cast<uint8_t>(mode)) != 0;
}

// What the message says is allowed: "N >= 1", "0 <= rho < 1", "0 or 1".
std::string allowedText(const OptionSpec& option, bool whole) {
  const Limits& limits = option.limits;
  std::ostringstream text;
  if (whole && !limits.lowExclusive && !limits.highExclusive && limits.high - limits.low == 1) {
    text << limits.low << " or " << limits.high;
  } else {
    const bool low = std::isfinite(limits.low);
    const bool high = std::isfinite(limits.high);
    if (low && high) text << limits.low << (limits.lowExclusive ? " < " : " <= ");
    text << option.name;
    if (high) {
      text << (limits.highExclusive ? " < " : " <= ") << limits.high;
    } else if (low) {
      text << (limits.lowExclusive ? " > " : " >= ") << limits.low;
    }
  }
  if (limits.note) text << "; " << limits.note;
  return text.str();
}

// The one message for a value out of range, the value shown as typed.
std::string invalidValue(const std::string& name, const std::string& shown,
                         const std::string& allowed) {
  return "Invalid value for option " + name + ": " + shown + " (allowed: " + allowed + ")";
}

template <typename T>
std::optional<std::string> checkRange(const OptionSpec& option, T value) {
  const Limits& limits = option.limits;
  const auto x = static_cast<double>(value);
  // Written so that NaN fails.
  const bool aboveLow = limits.lowExclusive ? x > limits.low : x >= limits.low;
  const bool belowHigh = limits.highExclusive ? x < limits.high : x <= limits.high;
  if (aboveLow && belowHigh) return std::nullopt;
  std::ostringstream shown;
  shown << value;
  return invalidValue(option.name, shown.str(), allowedText(option, std::is_integral_v<T>));
}

std::optional<std::string> check(const OptionSpec& option, const RunSettings& settings) {
  if (const auto* member = std::get_if<int32_t RunSettings::*>(&option.field)) {
    return checkRange(option, settings.*(*member));
  }
  if (const auto* member = std::get_if<int64_t RunSettings::*>(&option.field)) {
    return checkRange(option, settings.*(*member));
  }
  if (const auto* member = std::get_if<double RunSettings::*>(&option.field)) {
    return checkRange(option, settings.*(*member));
  }
  if (const auto* member = std::get_if<std::string RunSettings::*>(&option.field);
      member && !option.limits.choices.empty()) {
    const std::string& value = settings.*(*member);
    const std::vector<std::string>& choices = option.limits.choices;
    if (std::find(choices.begin(), choices.end(), value) != choices.end()) return std::nullopt;
    std::string allowed;
    for (std::size_t i = 0; i < choices.size(); ++i) {
      allowed += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    }
    return invalidValue(option.name, printable(value), allowed);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> checkSettings(const RunSettings& settings) {
  const std::vector<OptionSpec>& table = optionTable();
  const auto mode = std::find_if(table.begin(), table.end(), [](const OptionSpec& option) {
    return std::string(option.name) == "chrom";
  });
  if (auto error = check(*mode, settings)) return error;
  for (auto option = table.begin(); option != table.end(); ++option) {
    if (option == mode || !usedIn(option->modes, settings)) continue;
    if (auto error = check(*option, settings)) return error;
  }
  return std::nullopt;
}

std::optional<uint64_t> parseSeed(const std::string& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string seedError(const std::string& text) {
  // The value as typed, shown safely: it may be anything.
  std::string shown = printable(text.substr(0, 40));
  if (text.size() > 40) shown += "...";
  return invalidValue("seed", shown, "an integer from 0 to 18446744073709551615");
}

}  // namespace tintara
