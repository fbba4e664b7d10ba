#include "cli/counting_mode.h"

#include <iostream>
#include <sstream>
#include <string>

#include "cli/coloring_file.h"
#include "cli/output_check.h"
#include "cli/progress_display.h"
#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "graph/self_loop.h"
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

}  // namespace

int runCounting(const RunSettings& s, const RunExecutor& executor) {
  std::ostream& out = std::cout;
  printHeader(out, s);

  // The pilot's proper colouring is kept for the save while the runs go on.
  const RunFootprint footprint{s.N, s.workers, 1};
  const Graph graph = readGraph(s.problem, usableMemoryBytes(), [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, footprint, usableMemory());
  });
  refuseSelfLoops(graph);
  const RunParameters parameters = s.runParameters();

  ProgressDisplay progress = ProgressDisplay::onTerminal(0);
  const auto showLevel = [&](double level) {
    std::ostringstream text;
    text << "pilot run: level " << level << " (from " << -graph.vertexCount << " up to 0)";
    progress.show(text.str());
  };
  const PilotOutcome pilot =
      pilotRun(graph, parameters, progress.active() ? LevelObserver(showLevel) : LevelObserver());
  progress.clear();
  if (!pilot.reachedProperColoring()) {
    out << "The pilot run stagnated at level " << pilot.levels.back()
        << " without reaching a proper coloring with " << s.colors
        << " colors, so no estimate is made" << std::endl;
    ensureWritten(out);
    return 1;
  }

  out << kStarLine << std::endl;
  out << "# LEVELS = " << pilot.levels.size() << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);

  EstimateTally tally;
  runToTarget(
      tally, s.terr,
      [&](int64_t first, const RunConsumer<CountingRun>& consume) {
        executor.countingRuns(parameters, graph, pilot.levels, RunRange{first}, consume);
      },
      [&](const RunRecord& record) {
        progress.clear();
        printRun(out, record);
        std::ostringstream text;
        text << "runs: " << record.run << ", RE " << record.relativeError << " (target " << s.terr
             << ")";
        progress.show(text.str());
      });
  progress.clear();

  printSummary(out, tally);
  if (!s.saveColoring.empty()) {
    saveColoring(s.saveColoring, graph, pilot.coloring, s.colors, s.problem, s.seed);
  }
  return 0;
}

}  // namespace tintara
