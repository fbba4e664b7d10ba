#include "chromatic_call.h"

#include "cli/progress_display.h"
#include "process/cpu_clock.h"
#include "splitting/chain_move.h"

namespace tintara::python {

SearchFigures searchOnGraph(const RunSettings& settings, const Graph& graph,
                            const RunExecutor& executor, const Halt& halt, bool progress) {
  const int64_t start = processorMilliseconds();
  ProgressDisplay display = progress ? ProgressDisplay::onTerminal(0) : ProgressDisplay();
  const bool descending = settings.runParameters().move == MoveKind::Tabu;
  BisectionObserver observer;
  if (display.active()) {
    observer = [&display, descending](int32_t lo, int32_t hi, int32_t k) {
      display.show(stepProgressText(lo, hi, k, descending));
    };
  }
  SearchFigures figures;
  figures.run = searchChromatic(settings, graph, executor, halt, observer, {}, start);
  display.clear();
  if (figures.run.search.stopped) {
    figures.warnings.push_back(stoppedSearchLine(figures.run.cause, figures.run.search));
  }
  return figures;
}

}  // namespace tintara::python
