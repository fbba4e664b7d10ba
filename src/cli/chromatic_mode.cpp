#include "cli/chromatic_mode.h"

#include <cmath>
#include <iostream>
#include <numeric>
#include <sstream>

#include "cli/coloring_file.h"
#include "cli/cpu_clock.h"
#include "cli/output_check.h"
#include "cli/progress_display.h"
#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "graph/self_loop.h"

namespace tintara {

int32_t bisectColorCount(int32_t vertexCount, const ColorabilityTest& test, int32_t& steps,
                         double& iterationSum, const BisectionObserver& observer) {
  int32_t lo = 0;
  int32_t hi = vertexCount;
  while (lo < hi) {
    ++steps;
    const auto mid = static_cast<int32_t>(std::ceil(static_cast<double>(lo + hi) * 0.5));
    if (observer) observer(lo, hi, mid);
    double iterations = 0.0;
    const bool colorable = test(mid, iterations);
    iterationSum += iterations;
    if (colorable) {
      if (hi == mid) lo = hi;
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return lo;
}

Graph findChromaticNumber(const RunSettings& s, const RunExecutor& executor, int32_t& steps,
                          double& meanIterations, double& cpuSeconds, int32_t& chromatic,
                          std::vector<int32_t>& coloring, const BisectionObserver& observer) {
  const int64_t start = processorMilliseconds();
  const uint64_t usable = usableMemoryBytes();
  Graph graph = readGraph(s.problem, usable, [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, s.N, s.workers, usable);
  });
  refuseSelfLoops(graph);
  steps = 0;
  meanIterations = 0.0;
  cpuSeconds = 0.0;
  chromatic = -1;
  // Until a test passes, the colouring that gives every vertex its own
  // colour stands for the vertex count, the search's answer when none does.
  coloring.resize(static_cast<std::size_t>(graph.vertexCount));
  std::iota(coloring.begin(), coloring.end(), 0);
  // The executor decides how many tests a step makes: settings.workers on
  // this process's threads, more across an MPI job's ranks.
  int64_t tests = 0;
  chromatic = bisectColorCount(
      graph.vertexCount,
      [&](int32_t k, double& iterations) {
        // `steps` already counts this step.
        ColorabilityOutcome outcome = executor.colorabilityStep(s, graph, steps, k);
        iterations = outcome.iterations;
        tests += outcome.tests;
        // Passes only lower hi, so the latest pass is the answer's.
        if (outcome.passed) coloring = std::move(outcome.coloring);
        return outcome.passed;
      },
      steps, meanIterations, observer);
  cpuSeconds = tintara::cpuSeconds(processorMilliseconds() - start);
  meanIterations = meanIterations / static_cast<double>(tests);
  return graph;
}

int runChromatic(const RunSettings& s, const RunExecutor& executor) {
  int32_t steps = -1;
  double meanIterations = -1.0;
  double cpu = 1.0;
  int32_t chromatic = -1;
  std::vector<int32_t> coloring;
  const std::string opening = s.problem + " #bin E(T) CPU Chrom# ";
  std::cout << opening << std::flush;
  ensureWritten(std::cout);
  ProgressDisplay progress = ProgressDisplay::onTerminal(opening.size());
  const auto observer = [&](int32_t lo, int32_t hi, int32_t k) {
    std::ostringstream text;
    text << "[bisection: testing k = " << k << " in " << lo + 1 << ".." << hi << "]";
    progress.show(text.str());
  };
  // An error leaves through the display's destructor, which erases it.
  const Graph graph =
      findChromaticNumber(s, executor, steps, meanIterations, cpu, chromatic, coloring,
                          progress.active() ? BisectionObserver(observer) : BisectionObserver());
  progress.clear();
  std::cout << steps << " " << meanIterations << " " << cpu << " " << chromatic << std::endl;
  ensureWritten(std::cout);
  if (!s.saveColoring.empty()) {
    saveColoring(s.saveColoring, graph, coloring, chromatic, s.problem, s.seed);
  }
  return 0;
}

}  // namespace tintara
