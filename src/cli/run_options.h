// From options as given to the settings a mode runs with: the refusals of
// options a mode cannot use, what the program settles when an option is not
// given (the seed, a resumed journal's settings, the threads), and the
// whole way from options named in code (the Python module's keyword
// arguments) to RunSettings. The command line and the module take these
// same steps, so that one set of options gives one run in both.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/settings.h"

namespace tintara {

// Whether the option of this name (the table's) was given.
using OptionGiven = std::function<bool(const std::string& name)>;

// The refusal of options the mode the settings choose cannot use, or
// nothing: --decompose in chromatic mode, --move in counting mode, --move
// tabu with --bounds trivial.
std::optional<std::string> modeRefusal(const RunSettings& settings, const OptionGiven& given);

// A seed that differs between processes and between runs of one process:
// two concurrent runs must not share their numbers.
uint64_t freshSeed();

// The threads a run takes for --workers: the value itself, or for 0 one per
// hardware thread (at most kMaxWorkers).
int32_t resolveWorkers(int32_t workers);

// What the settings leave to the program once the options are checked
// (settings.seedGiven and decomposeGiven set): the seed from `seedText` when
// given, else a resumed journal's, else a fresh one; a resumed journal's
// --decompose when it was not given; the threads for --workers 0. Returns
// what standard error is told: the fresh seed ("seed: N"), so that the run
// can be repeated, and that a journal's --decompose was taken. Throws
// InputError for a journal it cannot read.
struct SettledNotes {
  std::optional<std::string> freshSeed;
  std::optional<std::string> journal;
};
SettledNotes settleUnnamedSettings(RunSettings& settings, const std::string& seedText);

// An option refused with the program's words: a name no option has, a value
// the parser or the range checks refuse, an option the mode refuses, an
// unusable journal path.
struct OptionError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// An option given by its table name (max-time), its value as the command
// line would spell it ("2.5", "1", "tabu").
struct NamedOption {
  std::string name;
  std::string value;
};

// The settings for `options` in counting mode or in chromatic mode, read by
// the command line's parser with its conversions, defaults and range
// checks, then refused or settled as the command line does
// (settleUnnamedSettings; its notes in `notes`, the fresh seed's left out:
// the settings hold it). No instance is named: the caller has the graph.
// Throws OptionError, or InputError for a journal it cannot read.
RunSettings settingsFromNamedOptions(bool chromatic, const std::vector<NamedOption>& options,
                                     std::vector<std::string>& notes);

}  // namespace tintara
