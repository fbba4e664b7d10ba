#include "cli/chromatic_mode.h"

#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

}  // namespace

// What a search keeps besides the populations: the current colouring, and
// the results of a step's tests until they are combined, those of an MPI
// job's other ranks included (with the message one is decoded from). The
// last test's result is copied out of a population of N samples, within the
// N + 1 its thread is counted for: the current colouring and tests - 1
// results make `tests` colourings. The tabu walk's tables are counted for
// each thread when that move runs.
RunFootprint chromaticFootprint(const RunSettings& s, const RunExecutor& executor) {
  const RunParameters parameters = s.runParameters();
  const int32_t tests = executor.processes * s.workers;
  RunFootprint footprint{s.N, s.workers, tests + (executor.processes > 1 ? 1 : 0),
                         !s.trivialBounds(), sizeof(ColoringSample)};
  if (parameters.move == MoveKind::Tabu) {
    addWalkFootprint(footprint, testMove(parameters.move, parameters.crossover, s.N), s.N);
  }
  return footprint;
}

std::string stepProgressText(int32_t lo, int32_t hi, int32_t k, bool descending) {
  std::ostringstream text;
  text << "k = " << k << " in " << lo + 1 << ".." << hi << ": "
       << (descending ? "descent" : "bisection") << " step";
  return text.str();
}

std::string stoppedSearchLine(HaltCause cause, const ChromaticOutcome& search) {
  return haltWords(cause) + " after " + counted(search.steps, "bisection step") + ": " +
         counted(search.chromatic, "color") + " found so far, an upper bound";
}

ChromaticRun searchChromatic(const RunSettings& s, const Graph& graph, const RunExecutor& executor,
                             const Halt& halt, const BisectionObserver& observer,
                             const StepFiguresObserver& stepDone, int64_t cpuSince) {
  const bool bounded = !s.trivialBounds();
  const RunParameters parameters = s.runParameters();
  const auto halted = [&halt] { return halt(); };
  ChromaticRun run;
  run.start = bounded ? greedyStart(graph) : trivialStart(graph);
  // The tabu walk descends from the greedy bounds (see Bisection), its
  // step's tests spread over the next candidates (docs/tabu.md). The
  // trivial start implies the Gibbs sweep, and bisects.
  if (parameters.move == MoveKind::Tabu) useTabuDescent(run.start);
  int64_t elsewhere = 0;  // processor time of the tests other ranks made so far
  const auto recordStep = [&](const SearchStep& step) {
    const int64_t inAll = processorMilliseconds() - cpuSince + elsewhere;
    run.steps.push_back(
        StepFigures{step.step, step.answers, step.colors, step.cpuMilliseconds, inAll});
    if (stepDone) stepDone(run.steps.back());
  };
  run.search = chromaticSearch(
      run.start,
      [&](int32_t step, const StepColors& colors) {
        std::optional<ColorabilityOutcome> outcome =
            executor.colorabilityStep(parameters, graph, step, colors, halted);
        if (outcome) elsewhere += outcome->elsewhereCpuMilliseconds;
        return outcome;
      },
      observer, recordStep);
  run.cause = run.search.stopped ? halt.cause() : HaltCause::None;
  // Tests made by other processes of an MPI job count as well, so that the
  // figure is the job's, as it is for threads of one process.
  run.cpuMilliseconds = processorMilliseconds() - cpuSince + run.search.elsewhereCpuMilliseconds;
  return run;
}

namespace {

// A step's line on standard error: its tests' k and answers, the fewest
// colours known after it, its tests' processor seconds and the run's so
// far, e.g. "step 3: k = 19 no; 20 colors; 11.7 s CPU, 25.2 s in all".
std::string stepLine(const StepFigures& step) {
  std::ostringstream line;
  line << "step " << step.step << ":";
  for (std::size_t i = 0; i < step.tests.size(); ++i) {
    line << (i == 0 ? " k = " : ", k = ") << step.tests[i].colors
         << (step.tests[i].passed ? " yes" : " no");
  }
  line << "; " << counted(step.colors, "color") << "; " << cpuSeconds(step.cpuMilliseconds)
       << " s CPU, " << cpuSeconds(step.cpuInAllMilliseconds) << " s in all";
  return line.str();
}

// The report line (or JSON object), then on standard error what stopped the
// search early and whether the number is exact: a clique as large needs as
// many colours.
// `heldLines` are the step lines kept back while the report line stood open
// on the terminal they share.
void printOutcome(const RunSettings& s, const ChromaticOutcome& search, const SearchStart& start,
                  HaltCause cause, int64_t cpuMilliseconds, int status,
                  std::vector<StepFigures>&& steps, const std::string& heldLines) {
  const bool bounded = !s.trivialBounds();
  if (s.jsonReport()) {
    printJsonChromatic(
        std::cout,
        ChromaticFigures{search.steps, search.meanIterations, cpuMilliseconds, search.chromatic,
                         cause, bounded ? std::optional(start.cliqueSize) : std::nullopt, status,
                         std::move(steps)});
  } else {
    std::cout << search.steps << " " << search.meanIterations << " " << cpuSeconds(cpuMilliseconds)
              << " " << search.chromatic << std::endl;
    ensureWritten(std::cout);
  }
  std::cerr << heldLines;
  if (search.stopped) std::cerr << stoppedSearchLine(cause, search) << std::endl;
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
  const bool descending = s.runParameters().move == MoveKind::Tabu;
  const auto showStep = [&](int32_t lo, int32_t hi, int32_t k) {
    progress.show(stepProgressText(lo, hi, k, descending));
  };

  // The processor time counts reading the graph too. An error leaves
  // through the display's destructor, which erases it.
  const int64_t start = processorMilliseconds();
  const Graph graph = readRunGraph(s.problem, chromaticFootprint(s, executor));
  // Each step's line goes to standard error as the step ends, unless the
  // report line stands open on the same terminal: then after the report.
  // --bounds trivial, for studies of the method, keeps standard error
  // silent, as it always has; its JSON still lists the steps.
  const bool stepLines = !s.trivialBounds();
  const bool holdLines = !s.jsonReport() && outputSharesTerminal();
  std::string heldLines;
  const auto tellStep = [&](const StepFigures& step) {
    if (!stepLines) return;
    if (holdLines) {
      heldLines += stepLine(step) + "\n";
      return;
    }
    progress.clear();
    std::cerr << stepLine(step) << std::endl;
  };
  ChromaticRun run = searchChromatic(
      s, graph, executor, halt,
      progress.active() ? BisectionObserver(showStep) : BisectionObserver(), tellStep, start);

  progress.clear();
  const int status = run.search.stopped ? haltStatus(run.cause) : 0;
  printOutcome(s, run.search, run.start, run.cause, run.cpuMilliseconds, status,
               std::move(run.steps), heldLines);
  if (!s.saveColoring.empty()) {
    saveColoring(s.saveColoring, graph, run.search.coloring, run.search.chromatic, s.problem,
                 s.seed);
  }
  return status;
}

}  // namespace tintara
