#include "cli/counting_mode.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "cli/coloring_file.h"
#include "cli/counting_report.h"
#include "cli/json_report.h"
#include "cli/progress_display.h"
#include "cli/wording.h"
#include "coloring/coloring_sample.h"
#include "engine/counting_session.h"
#include "graph/run_graph.h"

namespace tintara {

namespace {

// The exit status that tells how the experiment ended.
int countingStatus(const CountingOutcome& outcome) {
  switch (outcome.end) {
    case CountingEnd::TargetMet:
      return 0;
    case CountingEnd::RunBudget:
      return 3;
    case CountingEnd::Halted:
    case CountingEnd::PilotHalted:
      return haltStatus(outcome.cause);
    case CountingEnd::PilotStagnated:
      return 1;
  }
  return 1;
}

// What the report and the progress display make of the experiment's events.
// `journalled` receives how many runs the journal held, for the display's
// pace of this invocation's runs.
CountingEvents reportEvents(const RunSettings& s, const Graph& graph, ProgressDisplay& progress,
                            int64_t& journalled) {
  const auto started = std::chrono::steady_clock::now();
  CountingEvents events;
  events.note = [&progress](const std::string& note) {
    progress.clear();
    std::cerr << note << std::endl;
  };
  if (progress.active()) {
    events.pilotLevel = [&progress, lowest = std::optional<double>()](double level) mutable {
      if (!lowest) lowest = level;  // levels only rise, so the first is the lowest
      std::ostringstream text;
      text << "level " << level << " of the pilot run (from " << *lowest << " up to 0)";
      progress.show(text.str());
    };
  }
  events.levelsFixed = [&s, &progress, &journalled](const LevelList& levels, int64_t held) {
    progress.clear();
    journalled = held;
    if (s.jsonReport()) {
      printJsonLevels(std::cout, levels.size(), held);
    } else {
      printLevelCount(std::cout, levels.size());
    }
  };
  events.run = [&s, &progress, &journalled, started](const RunRecord& record,
                                                     const EstimateTally& tally) {
    progress.clear();
    if (s.jsonReport()) {
      printJsonRun(std::cout, record);
    } else {
      printRun(std::cout, record);
    }
    if (progress.active()) {
      progress.show(runsProgressText(record, tally, s.terr, record.run - journalled,
                                     std::chrono::steady_clock::now() - started));
    }
  };
  events.concluded = [&s, &graph, &progress](const CountingOutcome& outcome) {
    progress.clear();
    if (s.jsonReport()) {
      printJsonSummary(std::cout, outcome, countingStatus(outcome));
    } else {
      printSummary(std::cout, outcome.tally);
    }
    tellConclusion(std::cerr, outcome, s.terr);
    if (!s.saveColoring.empty()) {
      saveColoring(s.saveColoring, graph, outcome.pilot.coloring, s.colors, s.problem, s.seed);
    }
  };
  return events;
}

}  // namespace

int runCounting(const RunSettings& s, const RunExecutor& executor, const Halt& halt) {
  if (s.jsonReport()) {
    printJsonHeader(std::cout, s);
  } else {
    printCountingHeader(std::cout, s);
  }
  // The pilot's proper colouring is kept for the save while the runs go on.
  const Graph graph = readRunGraph(s.problem, RunFootprint{s.N, s.workers, 1, false,
                                                           sizeof(ColoringSample)});
  const CountingPlan plan{s.runParameters(), s.terr, s.maxRuns, s.journal, s.seedGiven};
  ProgressDisplay progress = ProgressDisplay::onTerminal(0);
  int64_t journalled = 0;
  const CountingOutcome outcome = runCountingExperiment(
      graph, plan, executor, halt, reportEvents(s, graph, progress, journalled));
  progress.clear();
  const int status = countingStatus(outcome);
  // The summary of an experiment that ended in its pilot run: `concluded`
  // is not told then.
  if (outcome.end == CountingEnd::PilotHalted) {
    std::cerr << haltWords(outcome.cause) << " during the pilot run" << std::endl;
    if (s.jsonReport()) printJsonSummary(std::cout, outcome, status);
  } else if (outcome.end == CountingEnd::PilotStagnated) {
    if (s.jsonReport()) {
      printJsonSummary(std::cout, outcome, status);
    } else {
      printPilotStagnated(std::cout, outcome.pilot.levels.back(), s.colors);
    }
  }
  return status;
}

}  // namespace tintara
