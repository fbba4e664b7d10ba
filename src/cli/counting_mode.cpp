#include "cli/counting_mode.h"

#include <iostream>
#include <sstream>
#include <string>

#include "cli/coloring_file.h"
#include "cli/cpu_clock.h"
#include "cli/output_check.h"
#include "cli/progress_display.h"
#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "graph/self_loop.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/estimate_list.h"

namespace tintara {

namespace {

const std::string kStarLine(79, '*');

}  // namespace

int runCounting(const RunSettings& s, const RunExecutor& executor) {
  std::ostream& out = std::cout;
  out << kStarLine << std::endl;
  out << "Starting  experiments for " << s.problem << " using N=" << s.N << ", rho=" << s.rho
      << " and target relative error=" << s.terr << std::endl;
  out << kStarLine << std::endl << kStarLine << std::endl;
  out << "Iteration #  |  iteration estimator | average estimator   |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);

  const uint64_t usable = usableMemoryBytes();
  const Graph graph = readGraph(s.problem, usable, [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, s.N, s.workers, usable);
  });
  refuseSelfLoops(graph);

  ProgressDisplay progress = ProgressDisplay::onTerminal(0);
  LevelList levels;
  std::vector<int32_t> properColoring;
  {
    RandomSource pilotRandom(StreamId{s.seed, kPilotStream});
    const auto observer = [&](double level) {
      std::ostringstream text;
      text << "pilot run: level " << level << " (from " << -graph.vertexCount << " up to 0)";
      progress.show(text.str());
    };
    levels = buildLevels(graph, pilotRandom, s.N, s.rho, s.colors, &properColoring,
                         progress.active() ? LevelObserver(observer) : LevelObserver());
  }
  progress.clear();
  if (levels.back() < 0) {
    out << "The pilot run stagnated at level " << levels.back()
        << " without reaching a proper coloring with " << s.colors
        << " colors, so no estimate is made" << std::endl;
    ensureWritten(out);
    return 1;
  }

  out << kStarLine << std::endl;
  out << "# LEVELS = " << levels.size() << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);

  // The seed entry 0.0 keeps a first estimate from ending the loop at once;
  // it counts in the mean and the relative error like a real estimate.
  EstimateList estimates{WideDouble(0)};
  double totalCpu = 0.0;
  executor.countingRuns(s, graph, levels, [&](int64_t run, CountingRun&& result) {
    estimates.push_back(result.estimate);
    const double cpu = cpuSeconds(result.cpuMilliseconds);
    totalCpu += cpu;
    const double u = relativeError(estimates);
    progress.clear();
    out << run << " ";
    writeNumber(out, result.estimate);
    out << " ";
    writeNumber(out, meanOf(estimates));
    out << " " << u << " " << cpu << std::endl;
    ensureWritten(out);
    std::ostringstream text;
    text << "runs: " << run << ", RE " << u << " (target " << s.terr << ")";
    progress.show(text.str());
    // The pilot reached a proper colouring, so the probability is not 0:
    // while every estimate so far is 0 the relative error is not a number,
    // and the runs go on.
    return !(u <= s.terr);
  });
  progress.clear();

  out << kStarLine << std::endl;
  out << "**********************    Result Summary    ***********************************"
      << std::endl;
  out << "estimator  |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  writeNumber(out, meanOf(estimates));
  out << " " << relativeError(estimates) << " " << totalCpu << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);
  if (!s.saveColoring.empty()) {
    saveColoring(s.saveColoring, graph, properColoring, s.colors, s.problem, s.seed);
  }
  return 0;
}

}  // namespace tintara
