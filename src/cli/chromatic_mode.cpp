#include "cli/chromatic_mode.h"

#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "cli/coloring_file.h"
#include "cli/json_report.h"
#include "cli/output_check.h"
#include "cli/progress_display.h"
#include "cli/wording.h"
#include "coloring/coloring_sample.h"
#include "coloring/tabu_walk.h"
#include "graph/run_graph.h"
#include "process/cpu_clock.h"
#include "splitting/chromatic_search.h"

namespace tintara {

namespace {

// Prints what comes before the search: the JSON header, or the text report's
// opening, whose line the progress display then shares. Returns the column
// at which the display starts.
std::size_t openReport(const RunSettings& s) {
  if (s.jsonReport()) {
    printJsonHeader(std::cout, s);
    return 0;
  }
  const std::string opening = s.problem + " #bin E(T) CPU Chrom# ";
  std::cout << opening << std::flush;
  ensureWritten(std::cout);
  return opening.size();
}

// What a search keeps besides the populations: the current colouring, and
// the results of a step's tests until they are combined, those of an MPI
// job's other ranks included (with the message one is decoded from). The
// last test's result is copied out of a population of N samples, within the
// N + 1 its thread is counted for: the current colouring and tests - 1
// results make `tests` colourings. The tabu walk's tables are counted for
// each thread when that move runs.
RunFootprint searchFootprint(const RunSettings& s, const RunExecutor& executor,
                             const RunParameters& parameters) {
  const int32_t tests = executor.processes * s.workers;
  RunFootprint footprint{s.N, s.workers, tests + (executor.processes > 1 ? 1 : 0),
                         !s.trivialBounds(), sizeof(ColoringSample)};
  if (parameters.move == MoveKind::Tabu) {
    const TabuSettings walk = defaultTabuSettings();
    footprint.walkCellBytes = kTabuCellBytes;
    footprint.walkVertexBytes = kTabuVertexBytes + 8.0 * walk.stepsPerVertex;
    footprint.walkFixedBytes = 8.0 * walk.walkSteps;
  }
  return footprint;
}

// The report line (or JSON object), then on standard error what stopped the
// search early and whether the number is exact: a clique as large needs as
// many colours.
void printOutcome(const RunSettings& s, const ChromaticOutcome& search, const SearchStart& start,
                  HaltCause cause, int64_t cpuMilliseconds, int status) {
  const bool bounded = !s.trivialBounds();
  if (s.jsonReport()) {
    printJsonChromatic(
        std::cout,
        ChromaticFigures{search.steps, search.meanIterations, cpuMilliseconds, search.chromatic,
                         cause, bounded ? std::optional(start.cliqueSize) : std::nullopt, status});
  } else {
    std::cout << search.steps << " " << search.meanIterations << " " << cpuSeconds(cpuMilliseconds)
              << " " << search.chromatic << std::endl;
    ensureWritten(std::cout);
  }
  if (search.stopped) {
    std::cerr << haltWords(cause) << " after " << counted(search.steps, "bisection step") << ": "
              << counted(search.chromatic, "color") << " found so far, an upper bound" << std::endl;
  }
  if (bounded) {
    const int32_t w = start.cliqueSize;
    if (search.chromatic == w) {
      std::cerr << "proved: a clique of " << counted(w, "vertex", "vertices") << " needs "
                << counted(w, "color") << std::endl;
    } else {
      std::cerr << "upper bound: the largest clique found has " << counted(w, "vertex", "vertices")
                << std::endl;
    }
  }
}

}  // namespace

int runChromatic(const RunSettings& s, const RunExecutor& executor, const Halt& halt) {
  ProgressDisplay progress = ProgressDisplay::onTerminal(openReport(s));
  bool descending = false;
  const auto showStep = [&](int32_t lo, int32_t hi, int32_t k) {
    std::ostringstream text;
    text << "k = " << k << " in " << lo + 1 << ".." << hi << ": "
         << (descending ? "descent" : "bisection") << " step";
    progress.show(text.str());
  };

  // The processor time counts reading the graph too. An error leaves
  // through the display's destructor, which erases it.
  const int64_t start = processorMilliseconds();
  const bool bounded = !s.trivialBounds();
  const RunParameters parameters = s.runParameters();
  const Graph graph = readRunGraph(s.problem, searchFootprint(s, executor, parameters));
  const auto halted = [&halt] { return halt(); };
  SearchStart searchStart = bounded ? greedyStart(graph) : trivialStart(graph);
  // The tabu walk descends from the greedy bounds (see Bisection), its
  // step's tests spread over the next candidates (docs/tabu.md). The
  // trivial start implies the Gibbs sweep, and bisects.
  descending = parameters.move == MoveKind::Tabu;
  searchStart.interval.descend = descending;
  searchStart.spread = descending;
  const ChromaticOutcome search = chromaticSearch(
      searchStart,
      [&](int32_t step, const StepColors& colors) {
        return executor.colorabilityStep(parameters, graph, step, colors, halted);
      },
      progress.active() ? BisectionObserver(showStep) : BisectionObserver());
  const HaltCause cause = search.stopped ? halt.cause() : HaltCause::None;
  // Tests made by other processes of an MPI job count as well, so that the
  // figure is the job's, as it is for threads of one process.
  const int64_t cpu = processorMilliseconds() - start + search.elsewhereCpuMilliseconds;

  progress.clear();
  const int status = search.stopped ? haltStatus(cause) : 0;
  printOutcome(s, search, searchStart, cause, cpu, status);
  if (!s.saveColoring.empty()) {
    saveColoring(s.saveColoring, graph, search.coloring, search.chromatic, s.problem, s.seed);
  }
  return status;
}

}  // namespace tintara
