#include "cli/entry.h"

#include <cstdint>
#include <exception>
#include <iostream>
#include <new>
#include <random>
#include <string>
#include <thread>

#include <boost/program_options.hpp>

#include "cli/chromatic_mode.h"
#include "cli/coloring_file.h"
#include "cli/counting_mode.h"
#include "cli/output_check.h"
#include "cli/settings.h"
#include "engine/halt.h"
#include "engine/journal.h"
#include "engine/worker_thread.h"
#include "graph/input_error.h"

namespace po = boost::program_options;

namespace tintara {

namespace {

// The listing's caption and the usage lines are kept as they are, the
// "Tintara.exe" and the "nuber" included: existing files and scripts match
// this text.
std::string caption() {
  const std::string stars = " " + std::string(63, '*') + " ";
  return std::string(" ") + "\n" + stars + "\n" +
         " Tintara package for graph coloring counting estimation. " + "\n" +
         " Written by the Tintara developers. " + "\n" +
         " Questions and bug reports: the Tintara issue tracker. " + "\n" + stars + "\n" +
         " Allowed options";
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

// A seed that differs between processes and between runs of one process:
// two concurrent runs must not share their numbers.
uint64_t freshSeed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) | device();
}

int32_t resolveWorkers(int32_t workers) {
  if (workers != 0) return workers;
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : static_cast<int32_t>(std::min<unsigned>(hardware, kMaxWorkers));
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

// The refusal of a file an option would write over what the program reads
// or writes (--save-coloring, --journal), or nothing.
std::optional<std::string> outputRefusal(const po::variables_map& options,
                                         const RunSettings& settings) {
  const std::pair<std::string, std::string> instance{settings.problem, "the instance file"};
  if (options.count("save-coloring")) {
    if (auto refusal = overwriteRefusal("--save-coloring", settings.saveColoring, {instance})) {
      return refusal;
    }
  }
  if (options.count("journal") && settings.chrom == 0) {
    std::vector<std::pair<std::string, std::string>> inputs{instance};
    if (options.count("save-coloring")) {
      inputs.emplace_back(settings.saveColoring, "the saved coloring");
    }
    return overwriteRefusal("--journal", settings.journal, inputs);
  }
  return std::nullopt;
}

// The moment `seconds` of wall time after `start`, or the far future when
// that lies beyond the clock's range.
Halt::Clock::time_point deadline(Halt::Clock::time_point start, double seconds) {
  const double limit =
      std::chrono::duration<double>(Halt::Clock::time_point::max() - start).count();
  if (!(seconds < limit / 2)) return Halt::Clock::time_point::max();
  return start +
         std::chrono::duration_cast<Halt::Clock::duration>(std::chrono::duration<double>(seconds));
}

// The one-line refusal of options that cannot make a run, checked in this
// order, or nothing.
std::optional<std::string> optionsRefusal(const po::variables_map& options,
                                          const po::parsed_options& parsed,
                                          const RunSettings& settings,
                                          const std::string& seedText) {
  if (auto word = strayWord(parsed)) {
    return "Unexpected argument: " + *word + " (every value follows the name of its option)";
  }
  if (!options.count("problem")) return "No input graph was specified";
  if (auto error = checkSettings(settings)) return error;
  if (auto refusal = outputRefusal(options, settings)) return refusal;
  if (options.count("seed") && !parseSeed(seedText)) return seedError(seedText);
  return std::nullopt;
}

// The run's seed: --seed's; a resumed journal's, which its runs were made
// with; or a fresh one, written to standard error so that the run can be
// repeated.
uint64_t chosenSeed(const RunSettings& settings, const std::string& seedText) {
  if (settings.seedGiven) return *parseSeed(seedText);
  if (settings.chrom == 0 && !settings.journal.empty()) {
    if (std::optional<uint64_t> journalled = journalSeed(settings.journal)) return *journalled;
  }
  const uint64_t seed = freshSeed();
  std::cerr << "seed: " << seed << std::endl;
  return seed;
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
      std::cout << *refusal << std::endl;
      return 1;
    }
    settings.seedGiven = options.count("seed") > 0;
    settings.seed = chosenSeed(settings, seedText);
    settings.workers = resolveWorkers(settings.workers);

    try {
      const Halt halt = settings.maxTime > 0 ? Halt(deadline(started, settings.maxTime)) : Halt();
      return settings.chrom == 1 ? runChromatic(settings, executor, halt)
                                 : runCounting(settings, executor, halt);
    } catch (const InputError& error) {
      std::cout << error.what() << std::endl;
      return 1;
    }
  } catch (const po::error& error) {
    if (anyAsksForVersion(argc, argv)) {
      printVersion();
      return 0;
    }
    // The parser's own words name the option and the fault.
    std::cout << error.what() << "\n" << description << "\n" << std::flush;
    return 1;
  } catch (const WriteError&) {
    throw;
  } catch (...) {
    // What no check foresaw: one line after whatever the report holds, as
    // an InputError's, and no listing, since the options were fine.
    writeFailure(std::cout, std::current_exception());
    std::cout << std::endl;
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
