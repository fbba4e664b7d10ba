#include "cli/run_options.h"

#include <algorithm>
#include <random>
#include <thread>

#include <boost/program_options.hpp>

#include "engine/journal.h"
#include "io/output_paths.h"
#include "io/path_names.h"

namespace po = boost::program_options;

namespace tintara {

std::optional<std::string> modeRefusal(const RunSettings& settings, const OptionGiven& given) {
  // Blocks do not change how a chromatic search goes (the chromatic number
  // is the largest of the blocks'), so the option would silently do nothing.
  if (settings.chrom == 1 && given("decompose")) {
    return "--decompose is for counting mode; chromatic mode does not count by blocks";
  }
  // A tabu walk does not keep the uniform law on the level set that the
  // estimates rest on: counting mode always moves by the Gibbs sweep.
  if (settings.chrom == 0 && given("move")) {
    return "--move is for chromatic mode; counting mode moves by the Gibbs sweep alone";
  }
  // The trivial bounds are the setting for studies of the method itself.
  if (settings.chrom == 1 && given("move") && settings.move == "tabu" && settings.trivialBounds()) {
    return "--move tabu needs the greedy bounds; --bounds trivial moves by the Gibbs sweep";
  }
  // Nor does a child of two colourings.
  if (settings.chrom == 0 && given("crossover")) {
    return "--crossover is for chromatic mode; counting mode moves by the Gibbs sweep alone";
  }
  // Children are walked by the tabu walk: the Gibbs sweep has no use for
  // them, and its reports stay as they were.
  if (settings.chrom == 1 && given("crossover") && settings.crossover == "gpx" &&
      settings.runParameters().move != MoveKind::Tabu) {
    return "--crossover gpx needs --move tabu; --move gibbs and --bounds trivial make no children";
  }
  return std::nullopt;
}

uint64_t freshSeed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) | device();
}

int32_t resolveWorkers(int32_t workers) {
  if (workers != 0) return workers;
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : static_cast<int32_t>(std::min<unsigned>(hardware, kMaxWorkers));
}

SettledNotes settleUnnamedSettings(RunSettings& settings, const std::string& seedText) {
  // A resumed journal fixes what the options do not: the seed its runs were
  // made with, and its --decompose, so that a journal written before
  // counting by parts became the default (decompose 0) still resumes.
  // Chromatic mode counts nothing by parts: it ignores the default.
  SettledNotes notes;
  std::optional<JournalHeader> recorded;
  if (settings.chrom == 0 && !settings.journal.empty()) recorded = journalHeader(settings.journal);
  if (settings.seedGiven) {
    settings.seed = *parseSeed(seedText);
  } else if (recorded) {
    settings.seed = recorded->seed;
  } else {
    settings.seed = freshSeed();
    notes.freshSeed = "seed: " + std::to_string(settings.seed);
  }
  if (settings.chrom == 1) {
    settings.decompose = 0;
  } else if (!settings.decomposeGiven && recorded &&
             settings.decompose != (recorded->decompose ? 1 : 0)) {
    settings.decompose = recorded->decompose ? 1 : 0;
    notes.journal = "journal " + printable(settings.journal) + " was written with --decompose " +
                    std::to_string(settings.decompose) + ": its experiment goes on so";
  }
  settings.workers = resolveWorkers(settings.workers);
  return notes;
}

namespace {

const OptionSpec* tableEntry(const std::string& name) {
  for (const OptionSpec& option : optionTable()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

}  // namespace

RunSettings settingsFromNamedOptions(bool chromatic, const std::vector<NamedOption>& options,
                                     std::vector<std::string>& notes) {
  RunSettings settings;
  std::string seedText;
  po::options_description description;
  describeOptions(description, settings, seedText);

  // The mode first, as the command line's --chrom; then each option as
  // --name=value, so that a value starting with '-' stays a value.
  std::vector<std::string> arguments{std::string("--chrom=") + (chromatic ? "1" : "0")};
  for (const NamedOption& option : options) {
    const OptionSpec* entry = tableEntry(option.name);
    if (!entry || std::holds_alternative<Flag>(entry->field) || option.name == "chrom") {
      throw OptionError("unrecognised option '" + option.name + "'");
    }
    arguments.push_back("--" + option.name + "=" + option.value);
  }
  po::variables_map given;
  try {
    // Names are exact here: no prefix stands for an option.
    const auto style = po::command_line_style::unix_style ^ po::command_line_style::allow_guessing;
    po::store(po::command_line_parser(arguments).options(description).style(style).run(), given);
    po::notify(given);
  } catch (const po::error& error) {
    throw OptionError(error.what());
  }
  if (auto error = checkSettings(settings)) throw OptionError(*error);
  const auto named = [&given](const std::string& name) { return given.count(name) > 0; };
  if (auto refusal = modeRefusal(settings, named)) throw OptionError(*refusal);
  if (named("journal") && !chromatic) {
    if (settings.journal.empty()) throw OptionError("--journal needs a file name");
    if (auto refusal = checkRunPaths(RunPaths{"", settings.journal, ""})) {
      throw OptionError(refusal->message);
    }
  }
  if (named("seed") && !parseSeed(seedText)) throw OptionError(seedError(seedText));
  settings.seedGiven = named("seed");
  settings.decomposeGiven = named("decompose");
  const SettledNotes settled = settleUnnamedSettings(settings, seedText);
  if (settled.journal) notes.push_back(*settled.journal);
  return settings;
}

}  // namespace tintara
