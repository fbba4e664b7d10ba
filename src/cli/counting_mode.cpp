#include "cli/counting_mode.h"

#include <chrono>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

#include "cli/coloring_file.h"
#include "cli/counting_report.h"
#include "cli/json_report.h"
#include "cli/progress_display.h"
#include "cli/wording.h"
#include "coloring/coloring_sample.h"
#include "engine/counting_session.h"
#include "engine/journal.h"
#include "graph/run_graph.h"
#include "io/path_names.h"
#include "process/memory_limit.h"
#include "process/run_memory.h"

namespace tintara {

namespace {

// The exit status that tells how the experiment ended.
int countingStatus(const CountingOutcome& outcome) {
  switch (outcome.end) {
    case CountingEnd::TargetMet:
    case CountingEnd::Exact:
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
  events.planned = [&progress, &graph](const PartsPlan& plan) {
    progress.clear();
    std::cerr << partsSummary(plan, graph.idBase) << std::endl;
  };
  if (progress.active()) events.pilotLevel = pilotProgress(progress);
  events.levelsFixed = [&s, &progress, &journalled](const CountingOutcome& outcome) {
    progress.clear();
    journalled = outcome.journalledRuns;
    if (s.jsonReport()) {
      printJsonLevels(std::cout, outcome.levelCount(), outcome.journalledRuns);
    } else {
      printLevelCount(std::cout, outcome.levelCount());
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
      saveColoring(s.saveColoring, graph, outcome.coloring, s.colors, s.problem, s.seed);
    }
  };
  return events;
}

}  // namespace

std::function<void(int32_t, int32_t, double)> pilotProgress(ProgressDisplay& progress) {
  return [&progress, shown = -1, lowest = 0.0](int32_t part, int32_t parts, double level) mutable {
    if (part != shown) {  // levels only rise, so a pilot's first is its lowest
      shown = part;
      lowest = level;
    }
    progress.show(pilotProgressText(part, parts, level, lowest));
  };
}

// What the run holds beside the graph: a population a thread, the
// colouring kept for the save, and a decomposition. Counted by parts, the
// populations are colourings of the largest part split, which only the plan
// finds, and none at all when every block is exact: the graph is read with
// the plan's own bytes checked alone, and the runs once the parts are known
// (countingPlan).
RunFootprint countingFootprint(const RunSettings& s) {
  RunFootprint footprint{s.N, s.workers, 1, false, sizeof(ColoringSample)};
  if (s.decompose == 1) {
    footprint.N = 0;
    footprint.sampleVertices = 0;
    footprint.besides = partsPlanBytes();
  }
  return footprint;
}

// Counted by parts, the plan's memory checks are each block's elimination
// tables before they are made, then the populations of the largest part
// split.
CountingPlan countingPlan(const RunSettings& s, const Graph& graph,
                          const std::function<void(const std::string&)>& note) {
  CountingPlan plan;
  plan.parameters = s.runParameters();
  plan.terr = s.terr;
  plan.maxRuns = s.maxRuns;
  plan.journal = s.journal;
  plan.seedGiven = s.seedGiven;
  plan.decompose = s.decompose == 1;
  plan.wantColoring = !s.saveColoring.empty();
  if (!plan.decompose) return plan;
  // A journal made by an older plan of the parts resumes with that plan:
  // its parts, its exact factor and its runs are that plan's.
  if (!s.journal.empty()) {
    const std::optional<JournalHeader> recorded = journalHeader(s.journal);
    if (recorded && recorded->decompose && recorded->plan < kPartsPlanVersion) {
      plan.partsPlanVersion = recorded->plan;
      note("journal " + printable(s.journal) + " was made by version " +
           std::to_string(recorded->plan) +
           " of the plan of parts (before series and parallel reductions): its experiment goes "
           "on with that plan");
    }
  }
  plan.checkTables = [&s, &graph](double bytes, int32_t vertices) {
    RunFootprint footprint = countingFootprint(s);
    footprint.tableBytes = bytes;
    footprint.tableBlockVertices = vertices;
    checkRunMemory(graph.vertexCount, graph.edgeCount, footprint, usableMemory());
  };
  plan.checkRuns = [&s, &graph](PartSize largest) {
    RunFootprint footprint = countingFootprint(s);
    footprint.N = s.N;
    footprint.sampleVertices = largest.vertices;
    // A kernel's sample holds a byte a bit besides its colours.
    footprint.sampleBytes += static_cast<std::size_t>(largest.bits);
    checkRunMemory(graph.vertexCount, graph.edgeCount, footprint, usableMemory());
  };
  return plan;
}

namespace {

// The end of a report that made no run: a pilot halted or stagnated, or
// every block was counted exactly.
void reportWithoutRuns(const RunSettings& s, const CountingOutcome& outcome, const Graph& graph,
                       int status) {
  switch (outcome.end) {
    case CountingEnd::PilotHalted:
      std::cerr << haltWords(outcome.cause) << " during the pilot run" << std::endl;
      if (s.jsonReport()) printJsonSummary(std::cout, outcome, status);
      break;
    case CountingEnd::PilotStagnated:
      if (s.jsonReport()) {
        printJsonSummary(std::cout, outcome, status);
      } else {
        printPilotStagnated(std::cout, outcome.levels.back().back(), s.colors);
      }
      break;
    case CountingEnd::Exact:
      if (s.jsonReport()) {
        printJsonLevels(std::cout, 0, 0);
        printJsonSummary(std::cout, outcome, status);
      } else {
        printLevelCount(std::cout, 0);
        printExactSummary(std::cout, outcome.exactValue, outcome.exactMilliseconds);
      }
      if (!s.saveColoring.empty() && outcome.exactValue != 0) {
        saveColoring(s.saveColoring, graph, outcome.coloring, s.colors, s.problem, s.seed);
      }
      break;
    default:
      break;
  }
}

}  // namespace

int runCounting(const RunSettings& s, const RunExecutor& executor, const Halt& halt) {
  if (s.jsonReport()) {
    printJsonHeader(std::cout, s);
  } else {
    printCountingHeader(std::cout, s);
  }
  const Graph graph = readRunGraph(s.problem, countingFootprint(s));
  const CountingPlan plan =
      countingPlan(s, graph, [](const std::string& note) { std::cerr << note << std::endl; });
  ProgressDisplay progress = ProgressDisplay::onTerminal(0);
  int64_t journalled = 0;
  const CountingOutcome outcome = runCountingExperiment(
      graph, plan, executor, halt, reportEvents(s, graph, progress, journalled));
  progress.clear();
  const int status = countingStatus(outcome);
  reportWithoutRuns(s, outcome, graph, status);
  return status;
}

}  // namespace tintara
