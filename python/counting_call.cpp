#include "counting_call.h"

#include <chrono>
#include <cmath>
#include <sstream>
#include <utility>

#include "cli/counting_mode.h"
#include "cli/counting_report.h"
#include "cli/progress_display.h"
#include "cli/wording.h"

namespace tintara::python {

PartsFigures partsFigures(const PartsPlan& plan) {
  PartsFigures parts;
  parts.blocks = plan.blocks.blockCount();
  parts.exactBlocks = plan.exactBlocks();
  parts.exactFactor = plan.exactFactor;
  for (const HardPart& hard : plan.hardParts) {
    HardPartFigures figures;
    figures.vertices = hard.vertices;
    figures.edges = hard.graph.edgeCount;
    parts.hard.push_back(std::move(figures));
  }
  parts.summary = partsSummary(plan, 0);
  return parts;
}

namespace {

// The events of the experiment, as the program's report takes them, kept
// in `figures` instead of printed; the progress display as the program
// draws it.
CountingEvents keepingEvents(const RunSettings& s, CountingFigures& figures,
                             ProgressDisplay& progress, int64_t& journalled) {
  CountingEvents events;
  events.note = [&figures, &progress](const std::string& note) {
    progress.clear();
    figures.notes.push_back(note);
    figures.warnings.push_back(note);
  };
  events.planned = [&figures](const PartsPlan& plan) {
    figures.parts = partsFigures(plan);
    figures.notes.push_back(figures.parts->summary);
  };
  events.levelsFixed = [&journalled](const CountingOutcome& outcome) {
    journalled = outcome.journalledRuns;
  };
  events.run = [&s, &figures, &progress, &journalled, started = std::chrono::steady_clock::now()](
                   const RunRecord& record, const EstimateTally& tally) {
    figures.runs.push_back(record);
    if (progress.active()) {
      progress.show(runsProgressText(record, tally, s.terr, record.run - journalled,
                                     std::chrono::steady_clock::now() - started));
    }
  };
  if (progress.active()) events.pilotLevel = pilotProgress(progress);
  events.concluded = [&s, &figures, &progress](const CountingOutcome& outcome) {
    progress.clear();
    // In the order standard error is told them; all but the plain mean warn.
    const ConclusionLines lines = conclusionLines(outcome, s.terr);
    std::vector<std::pair<const std::string*, bool>> told{{&lines.stopped, true},
                                                          {&lines.plainMean, false}};
    for (const std::string& line : lines.zeroParts) told.emplace_back(&line, true);
    told.emplace_back(&lines.skewed, true);
    for (const auto& [line, warns] : told) {
      if (line->empty()) continue;
      figures.notes.push_back(*line);
      if (warns) figures.warnings.push_back(*line);
    }
  };
  return events;
}

}  // namespace

CountingFigures countOnGraph(const RunSettings& settings, const Graph& graph,
                             const RunExecutor& executor, const Halt& halt, bool progress) {
  CountingFigures figures;
  ProgressDisplay display = progress ? ProgressDisplay::onTerminal(0) : ProgressDisplay();
  int64_t journalled = 0;
  const CountingPlan plan = countingPlan(settings, graph, [&figures](const std::string& note) {
    figures.notes.push_back(note);
    figures.warnings.push_back(note);
  });
  figures.outcome = runCountingExperiment(graph, plan, executor, halt,
                                          keepingEvents(settings, figures, display, journalled));
  display.clear();
  CountingOutcome& outcome = figures.outcome;
  if (figures.parts) {
    std::vector<HardPartFigures>& hard = figures.parts->hard;
    for (std::size_t p = 0; p < hard.size(); ++p) {
      if (p < outcome.levels.size()) hard[p].levels = outcome.levels[p];
      if (outcome.partsFound && p < outcome.partsFound->parts.size()) {
        hard[p].kernelVertices = outcome.partsFound->parts[p].kernelVertices;
        hard[p].weightedEdges = outcome.partsFound->parts[p].weightedEdges;
      }
      if (p < outcome.tally.parts().size() && outcome.tally.parts()[p].count() > 0) {
        const EstimateSums& runs = outcome.tally.parts()[p];
        hard[p].mean = runs.mean();
        hard[p].re = std::sqrt(runs.relativeVarianceOfMean());
      }
    }
  }
  switch (outcome.end) {
    case CountingEnd::PilotStagnated: {
      std::ostringstream line;
      printPilotStagnated(line, outcome.levels.back().back(), settings.colors);
      figures.noEstimate = line.str();
      if (!figures.noEstimate.empty() && figures.noEstimate.back() == '\n') {
        figures.noEstimate.pop_back();
      }
      break;
    }
    case CountingEnd::PilotHalted:
      figures.noEstimate = haltWords(outcome.cause) + " during the pilot run";
      break;
    case CountingEnd::Halted:
      if (outcome.tally.runs() == 0) {
        figures.noEstimate = conclusionLines(outcome, settings.terr).stopped;
      }
      break;
    default:
      break;
  }
  return figures;
}

}  // namespace tintara::python
