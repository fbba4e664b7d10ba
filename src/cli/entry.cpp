#include "cli/entry.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include <boost/program_options.hpp>

#include "cli/chromatic_mode.h"
#include "cli/coloring_file.h"
#include "cli/counting_mode.h"
#include "cli/json_report.h"
#include "cli/output_check.h"
#include "cli/run_options.h"
#include "cli/settings.h"
#include "engine/worker_thread.h"
#include "io/output_paths.h"
#include "process/failures.h"
#include "process/halt.h"

namespace po = boost::program_options;

namespace tintara {

namespace {

// The listing's caption and the usage lines are kept as they are, the
// "Tintara.exe" and the "nuber" included: existing files and scripts match
// this text.
// Appended line by line: g++ 12 reports out-of-bounds copies that cannot
// happen inside a long chain of operator+ on temporaries.
std::string caption() {
  const std::string stars = " " + std::string(63, '*') + " ";
  std::string text = " \n";
  for (const std::string& line :
       {stars, std::string(" Tintara package for graph coloring counting estimation. "),
        std::string(" Written by the Tintara developers. "),
        std::string(" Questions and bug reports: the Tintara issue tracker. "), stars}) {
    text += line;
    text += '\n';
  }
  text += " Allowed options";
  return text;
}

void printHelp(const po::options_description& description) {
  std::cout << description << std::endl;
  std::cout << " (Usage example for counting: Tintara.exe --problem 3x3_grid.txt --colors 3 "
               "--N=100 --rho 0.2 --terr 0.03)"
            << std::endl;
  std::cout << " (Usage example for finding chromatic nuber only: Tintara.exe --problem "
               "3x3_grid.txt --N=100 --rho 0.2 --chrom 1)"
            << std::endl;
}

// The first word that belongs to no option (`--N 100 000` leaves 000), or
// nothing. The parser sets such words aside as positional values, which no
// option here takes.
std::optional<std::string> strayWord(const po::parsed_options& parsed) {
  for (const po::option& option : parsed.options) {
    if (option.position_key >= 0 || option.string_key.empty()) {
      if (!option.original_tokens.empty()) return option.original_tokens.front();
      if (!option.value.empty()) return option.value.front();
      return std::string();
    }
  }
  return std::nullopt;
}

// An argument that asks for the version: --version or an unambiguous
// prefix of it (no other option starts with v). Looked for in the raw
// arguments too, so that the version is printed whatever else is given.
bool asksForVersion(const std::string& argument) {
  const std::string full = "--version";
  return argument.size() >= 3 && full.compare(0, argument.size(), argument) == 0;
}

bool anyAsksForVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (asksForVersion(argv[i])) return true;
  }
  return false;
}

void printVersion() {
  std::cout << "tintara " << TINTARA_VERSION << std::endl;
}

// The paths the settings name, each where its mode uses it.
RunPaths runPaths(const RunSettings& settings) {
  return RunPaths{settings.problem, settings.chrom == 0 ? settings.journal : std::string(),
                  settings.saveColoring};
}

// The refusal of an output path (io/output_paths.h), or nothing.
std::optional<PathRefusal> outputRefusal(const po::variables_map& options,
                                         const RunSettings& settings) {
  if (options.count("save-coloring") && settings.saveColoring.empty()) {
    return PathRefusal{"--save-coloring needs a file name"};
  }
  if (options.count("journal") && settings.chrom == 0 && settings.journal.empty()) {
    return PathRefusal{"--journal needs a file name"};
  }
  return checkRunPaths(runPaths(settings));
}

// Whether `--name` means `option`: its full name, or a prefix of it that
// no other option shares, as the parser takes it.
bool namesOption(const std::string& name, const std::string& option) {
  if (name == option) return true;
  const auto startsWithName = [&name](const std::string& full) {
    return full.compare(0, name.size(), name) == 0;
  };
  if (name.empty() || !startsWithName(option)) return false;
  const std::vector<OptionSpec>& table = optionTable();
  return std::count_if(table.begin(), table.end(),
                       [&](const OptionSpec& entry) { return startsWithName(entry.name); }) == 1;
}

// The values given to `option` in the raw arguments: for a command line
// the parser refused, whose values were never stored.
std::vector<std::string> rawValues(int argc, char** argv, const std::string& option) {
  std::vector<std::string> values;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.compare(0, 2, "--") != 0) continue;
    const std::size_t equals = argument.find('=');
    if (!namesOption(argument.substr(2, equals == std::string::npos ? equals : equals - 2),
                     option)) {
      continue;
    }
    if (equals != std::string::npos) {
      values.push_back(argument.substr(equals + 1));
    } else if (i + 1 < argc) {
      values.push_back(argv[i + 1]);
    }
  }
  return values;
}

// Whether standard output is a file the raw arguments name as the instance,
// the journal or the saved colouring.
bool standardOutputIsNamedIn(int argc, char** argv) {
  for (const char* option : {"problem", "journal", "save-coloring"}) {
    for (const std::string& value : rawValues(argc, argv, option)) {
      RunPaths paths;
      paths.instance = value;
      if (standardOutputIsOneOf(paths)) return true;
    }
  }
  return false;
}

// Whether the raw arguments ask for the JSON report (every --format given
// is json): for a command line the parser refused.
bool rawFormatIsJson(int argc, char** argv) {
  const std::vector<std::string> formats = rawValues(argc, argv, "format");
  return !formats.empty() && std::all_of(formats.begin(), formats.end(),
                                         [](const std::string& f) { return f == "json"; });
}

// A refusal's or an error's message on standard output: its line, or an
// error object in the JSON report.
void printError(const std::string& message, bool json) {
  if (json) {
    printJsonError(std::cout, message);
  } else {
    std::cout << message << std::endl;
  }
}

// The one-line refusal of options that cannot make a run, checked in this
// order, or nothing.
std::optional<PathRefusal> optionsRefusal(const po::variables_map& options,
                                          const po::parsed_options& parsed,
                                          const RunSettings& settings,
                                          const std::string& seedText) {
  // What is said goes to standard error alone when standard output is the
  // instance, the journal or the saved colouring, whatever the refusal.
  const bool quiet = standardOutputIsOneOf(runPaths(settings));
  const auto refusal = [quiet](const std::string& message) {
    return std::optional<PathRefusal>(PathRefusal{message, quiet});
  };
  if (auto word = strayWord(parsed)) {
    return refusal("Unexpected argument: " + *word +
                   " (every value follows the name of its option)");
  }
  if (!options.count("problem")) return refusal("No input graph was specified");
  if (auto error = checkSettings(settings)) return refusal(*error);
  if (auto error = modeRefusal(
          settings, [&options](const std::string& name) { return options.count(name) > 0; })) {
    return refusal(*error);
  }
  if (auto path = outputRefusal(options, settings)) return refusal(path->message);
  if (options.count("seed") && !parseSeed(seedText)) return refusal(seedError(seedText));
  return std::nullopt;
}

// The parser's own words name the option and the fault; with the listing,
// unless standard output is a file the run must not write to, or the JSON
// report was asked for.
void reportParseError(const po::error& error, int argc, char** argv,
                      const po::options_description& description) {
  if (standardOutputIsNamedIn(argc, argv)) {
    std::cerr << error.what() << std::endl;
  } else if (rawFormatIsJson(argc, argv)) {
    printJsonError(std::cout, error.what());
  } else {
    std::cout << error.what() << "\n" << description << "\n" << std::flush;
  }
}

// What no check foresaw: one line after whatever the report holds, as an
// InputError's, and no listing, since the options were fine.
void reportUnforeseenFailure(const RunSettings& settings) {
  if (settings.jsonReport()) {
    try {
      std::ostringstream message;
      writeFailure(message, std::current_exception());
      printJsonError(std::cout, message.str());
      return;
    } catch (const std::bad_alloc&) {
      // Nothing left to build the object with: the plain line below.
    }
  }
  writeFailure(std::cout, std::current_exception());
  std::cout << std::endl;
}

// The mode the settings choose, with the time budget counted from
// `started`; an InputError is its last line.
int runMode(const RunSettings& settings, const RunExecutor& executor,
            Halt::Clock::time_point started) {
  try {
    const Halt halt =
        settings.maxTime > 0 ? Halt(deadlineAfter(started, settings.maxTime)) : Halt();
    return settings.chrom == 1 ? runChromatic(settings, executor, halt)
                               : runCounting(settings, executor, halt);
  } catch (const InputError& error) {
    printError(error.what(), settings.jsonReport());
    return 1;
  }
}

int dispatch(int argc, char** argv, const RunExecutor& executor) {
  const Halt::Clock::time_point started = Halt::Clock::now();
  RunSettings settings;
  std::string seedText;

  po::options_description description(caption(), 80, 40);
  describeOptions(description, settings, seedText);

  try {
    po::variables_map options;
    const po::parsed_options parsed = po::parse_command_line(argc, argv, description, 0);
    po::store(parsed, options);
    po::notify(options);

    if (options.count("help") || (options.empty() && !strayWord(parsed))) {
      printHelp(description);
      return 1;
    }
    if (options.count("version")) {
      printVersion();
      return 0;
    }
    if (auto refusal = optionsRefusal(options, parsed, settings, seedText)) {
      if (refusal->toStandardError) {
        std::cerr << refusal->message << std::endl;
      } else {
        printError(refusal->message, settings.jsonReport());
      }
      return 1;
    }
    settings.seedGiven = options.count("seed") > 0;
    settings.decomposeGiven = options.count("decompose") > 0;
    const SettledNotes notes = settleUnnamedSettings(settings, seedText);
    for (const auto& note : {notes.freshSeed, notes.journal}) {
      if (note) std::cerr << *note << std::endl;
    }
    return runMode(settings, executor, started);
  } catch (const po::error& error) {
    if (anyAsksForVersion(argc, argv)) {
      printVersion();
      return 0;
    }
    reportParseError(error, argc, argv, description);
    return 1;
  } catch (const WriteError&) {
    throw;
  } catch (...) {
    reportUnforeseenFailure(settings);
    return 1;
  }
}

}  // namespace

void writeFailure(std::ostream& out, const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    // Written from literals: the failure may leave nothing to allocate.
    out << "Not enough memory for this run";
  } catch (const ThreadStartError& error) {
    out << "Cannot start a worker thread: " << error.code().message();
  } catch (const std::exception& error) {
    out << "Unexpected failure: " << error.what();
  } catch (...) {
    out << "Unexpected failure";
  }
}

int runTintara(int argc, char** argv, const RunExecutor& executor) {
  guardClosedStandardOutput();
  watchStopSignals();
  try {
    const int status = dispatch(argc, argv, executor);
    ensureWritten(std::cout);
    return status;
  } catch (const WriteError& error) {
    std::cerr << "write error: " << error.what() << std::endl;
    return 1;
  }
}

}  // namespace tintara
