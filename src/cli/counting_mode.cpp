#include "cli/counting_mode.h"

#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

#include "cli/coloring_file.h"
#include "cli/output_check.h"
#include "cli/progress_display.h"
#include "cli/wording.h"
#include "engine/journal.h"
#include "engine/worker_thread.h"
#include "graph/graph_hash.h"
#include "graph/input_error.h"
#include "splitting/counting_experiment.h"
#include "splitting/run_memory.h"

namespace tintara {

namespace {

const std::string kStarLine(79, '*');

void printHeader(std::ostream& out, const RunSettings& s) {
  out << kStarLine << std::endl;
  out << "Starting  experiments for " << s.problem << " using N=" << s.N << ", rho=" << s.rho
      << " and target relative error=" << s.terr << std::endl;
  out << kStarLine << std::endl << kStarLine << std::endl;
  out << "Iteration #  |  iteration estimator | average estimator   |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);
}

void printRun(std::ostream& out, const RunRecord& record) {
  out << record.run << " ";
  writeNumber(out, record.estimate);
  out << " ";
  writeNumber(out, record.mean);
  out << " " << record.relativeError << " " << record.cpuSeconds << std::endl;
  ensureWritten(out);
}

void printSummary(std::ostream& out, const EstimateTally& tally) {
  out << kStarLine << std::endl;
  out << "**********************    Result Summary    ***********************************"
      << std::endl;
  out << "estimator  |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  writeNumber(out, tally.mean());
  out << " " << tally.relativeError() << " " << tally.cpuSeconds() << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);
}

// "relative error 0.19 is above the target 0.03", or that it is not known
// while every estimate is 0.
std::string errorAgainstTarget(const EstimateTally& tally, double terr) {
  std::ostringstream text;
  const double u = tally.relativeError();
  if (std::isnan(u)) {
    text << "relative error not yet known";
  } else {
    text << "relative error " << u << " is above the target " << terr;
  }
  return text.str();
}

// "about 5100 more runs, 2 h 13 min": the runs still needed if the spread
// of the estimates stays as it is (the relative error falls as one over the
// square root of the list's length), and the wall time they take at the
// pace of this invocation's runs.
std::string forecast(const EstimateTally& tally, double terr, int64_t runsMadeHere,
                     std::chrono::steady_clock::duration elapsed) {
  const double u = tally.relativeError();
  if (!(u > terr) || !std::isfinite(u)) return {};
  const double more = static_cast<double>(tally.runs() + 1) * ((u / terr) * (u / terr) - 1.0);
  std::ostringstream text;
  // Beyond 10^12 runs the figure says only that the target is out of
  // reach; converting it would overflow an integer near 2^63.
  constexpr double kFarAhead = 1e12;
  if (!(more <= kFarAhead)) return "more than 10^12 runs";
  text << "about " << static_cast<int64_t>(std::ceil(more)) << " more runs";
  if (runsMadeHere > 0) {
    const double seconds =
        std::chrono::duration<double>(elapsed).count() / static_cast<double>(runsMadeHere) * more;
    if (seconds < 60) {
      text << ", " << static_cast<int64_t>(std::ceil(seconds)) << " s";
    } else if (seconds < 3600) {
      text << ", " << static_cast<int64_t>(std::ceil(seconds / 60)) << " min";
    } else if (seconds < 1e9) {
      const auto minutes = static_cast<int64_t>(std::ceil(seconds / 60));
      text << ", " << minutes / 60 << " h " << minutes % 60 << " min";
    }
  }
  return text.str();
}

// The journal named by --journal, read and checked against this
// experiment, its notes said on standard error. A journal that may not be
// written is refused unless its runs already end the experiment.
Journal openJournal(const RunSettings& s, const Graph& graph, const JournalHeader& here) {
  Journal journal = Journal::openFor(s.journal, here, s.seedGiven, {&graph});
  for (const std::string& note : journal.notes()) std::cerr << note << std::endl;
  if (!journal.writable()) {
    const int64_t maxRuns = s.maxRuns > 0 ? s.maxRuns : std::numeric_limits<int64_t>::max();
    if (!journal.contents() || !recordedRunsEnd(journal.contents()->runs, s.terr, maxRuns)) {
      throw InputError(journal.writeFailure());
    }
  }
  return journal;
}

// The journal's pilot, or a new pilot run with its levels on the display;
// nothing when a halt stopped the pilot (said on standard error, `status`
// set).
std::optional<PilotOutcome> startingLevels(const Graph& graph, const RunParameters& parameters,
                                           const JournalContents* journal,
                                           ProgressDisplay& progress, const Halt& halt,
                                           int& status) {
  PilotOutcome pilot;
  if (journal) {
    pilot.levels = journal->header.parts.front().levels;
    pilot.coloring = journal->header.parts.front().coloring;
    return pilot;
  }
  std::optional<double> lowest;  // levels only rise, so the first is the lowest
  const auto showLevel = [&](double level) {
    if (!lowest) lowest = level;
    std::ostringstream text;
    text << "level " << level << " of the pilot run (from " << *lowest << " up to 0)";
    progress.show(text.str());
  };
  pilot =
      pilotRun(graph, parameters, progress.active() ? LevelObserver(showLevel) : LevelObserver(),
               [&halt] { return halt(); });
  progress.clear();
  if (!pilot.stopped) return pilot;
  const HaltCause cause = halt.cause();
  std::cerr << haltWords(cause) << " during the pilot run" << std::endl;
  status = haltStatus(cause);
  return std::nullopt;
}

// The end of the report, said once: the summary, then on standard error
// why the runs stopped short of the target and whether the estimates are
// skewed, then the saved colouring.
class Conclusion {
 public:
  Conclusion(const RunSettings& s, const Graph& graph, const PilotOutcome& pilot,
             const EstimateTally& tally, ProgressDisplay& progress, Journal* journal)
      : s(s), graph(graph), pilot(pilot), tally(tally), progress(progress), journal(journal) {}

  // `stopWords` says what ended the runs early ("interrupted"), or is empty.
  void operator()(const std::string& stopWords) {
    if (said) return;
    said = true;
    progress.clear();
    printSummary(std::cout, tally);
    if (journal) journal->finish();
    if (!stopWords.empty()) {
      std::cerr << stopWords << " after " << counted(tally.runs(), "run") << ": "
                << errorAgainstTarget(tally, s.terr) << std::endl;
    }
    if (tally.zeroRuns() * 10 > tally.runs()) {
      std::cerr << tally.zeroRuns() << " of " << counted(tally.runs(), "run")
                << " gave 0: the estimates are strongly skewed and their relative error is "
                   "itself uncertain; a larger --N makes fewer runs end at 0"
                << std::endl;
    }
    if (!s.saveColoring.empty()) {
      saveColoring(s.saveColoring, graph, pilot.coloring, s.colors, s.problem, s.seed);
    }
  }

 private:
  const RunSettings& s;
  const Graph& graph;
  const PilotOutcome& pilot;
  const EstimateTally& tally;
  ProgressDisplay& progress;
  Journal* journal;
  bool said = false;
};

// The runs' line on the display: the relative error first, then what is
// left to do.
std::string runsText(const RunRecord& record, const EstimateTally& tally, double terr,
                     int64_t runsMadeHere, std::chrono::steady_clock::duration elapsed) {
  std::ostringstream text;
  text << "RE " << record.relativeError << " after " << counted(record.run, "run") << " (target "
       << terr << ")";
  const std::string ahead = forecast(tally, terr, runsMadeHere, elapsed);
  if (!ahead.empty()) text << ": " << ahead;
  return text.str();
}

}  // namespace

int runCounting(const RunSettings& s, const RunExecutor& executor, const Halt& halt) {
  std::ostream& out = std::cout;
  printHeader(out, s);

  // The pilot's proper colouring is kept for the save while the runs go on.
  const RunFootprint footprint{s.N, s.workers, 1, false, WorkerThread::kStackBytes};
  const Graph graph = readRunGraph(s.problem, footprint);
  const RunParameters parameters = s.runParameters();
  JournalHeader here{graphHash(graph), s.colors, s.N, s.rho, s.seed, false, {}};
  std::optional<Journal> journal;
  if (!s.journal.empty()) journal.emplace(openJournal(s, graph, here));
  // The runs the journal holds: none for a new journal, or without one.
  const JournalContents* recorded =
      journal && journal->contents() ? &*journal->contents() : nullptr;

  ProgressDisplay progress = ProgressDisplay::onTerminal(0);
  int status = 0;
  const std::optional<PilotOutcome> pilot =
      startingLevels(graph, parameters, recorded, progress, halt, status);
  if (!pilot) return status;
  if (!pilot->reachedProperColoring()) {
    out << "The pilot run stagnated at level " << pilot->levels.back()
        << " without reaching a proper coloring with " << counted(s.colors, "color")
        << ", so no estimate is made" << std::endl;
    ensureWritten(out);
    return 1;
  }
  out << kStarLine << std::endl;
  out << "# LEVELS = " << pilot->levels.size() << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);

  if (journal && !recorded) {
    here.parts = {JournalPart{pilot->levels, pilot->coloring}};
    journal->start(here);
  }

  EstimateTally tally;
  Journal* const record = journal ? &*journal : nullptr;
  Conclusion conclude(s, graph, *pilot, tally, progress, record);
  // A halt concludes at once, before the runs under way are waited for.
  std::optional<HaltCause> haltCause;
  const BatchControl control{[&halt] { return halt(); },
                             [&] {
                               haltCause = halt.cause();
                               conclude(haltWords(*haltCause));
                             },
                             [record] {
                               if (record) record->syncIfDue();
                             }};
  const std::vector<CountingRun> noRuns;
  const auto source = [&](int64_t first, int64_t last, const RunConsumer<CountingRun>& consume) {
    return journalledRuns(recorded ? recorded->runs : noRuns, record, RunRange{first, last},
                          consume,
                          [&](RunRange range, const RunConsumer<CountingRun>& fresh) {
                            return executor.countingRuns(parameters, graph, pilot->levels, range,
                                                         fresh, control);
                          })
        .halted;
  };
  const auto started = std::chrono::steady_clock::now();
  const int64_t recordedRuns = recorded ? static_cast<int64_t>(recorded->runs.size()) : 0;
  const auto onRun = [&](const RunRecord& record) {
    progress.clear();
    printRun(out, record);
    if (progress.active()) {
      progress.show(runsText(record, tally, s.terr, record.run - recordedRuns,
                             std::chrono::steady_clock::now() - started));
    }
  };

  const int64_t maxRuns = s.maxRuns > 0 ? s.maxRuns : std::numeric_limits<int64_t>::max();
  switch (runToTarget(tally, s.terr, maxRuns, source, onRun)) {
    case ExperimentEnd::TargetMet:
      conclude("");
      return 0;
    case ExperimentEnd::RunBudget:
      conclude("stopped by --max-runs");
      return 3;
    case ExperimentEnd::Halted:
      break;
  }
  return haltStatus(haltCause.value_or(HaltCause::Interrupted));
}

}  // namespace tintara
