#include "splitting/chromatic_search.h"

#include "coloring/clique.h"
#include "coloring/compact_colors.h"
#include "coloring/dsatur.h"

#include <cmath>
#include <numeric>

namespace tintara {

int32_t Bisection::next() const {
  if (descend) return hi - 1;
  return static_cast<int32_t>(std::ceil(static_cast<double>(lo + hi) * 0.5));
}

void Bisection::passed(int32_t k, int32_t colorsUsed) {
  if (hi == k) lo = hi;
  hi = colorsUsed;
  if (lo >= hi) lo = hi;
}

SearchStart trivialStart(const Graph& graph) {
  SearchStart start;
  start.interval = Bisection{0, graph.vertexCount};
  start.coloring.resize(static_cast<std::size_t>(graph.vertexCount));
  std::iota(start.coloring.begin(), start.coloring.end(), 0);
  return start;
}

SearchStart greedyStart(const Graph& graph) {
  SearchStart start;
  start.cliqueSize = static_cast<int32_t>(largeClique(graph).size());
  start.coloring = dsaturColoring(graph);
  const int32_t d = compactColors(start.coloring);
  start.interval = Bisection{start.cliqueSize - 1, d, start.cliqueSize};
  start.tighten = true;
  return start;
}

ChromaticOutcome chromaticSearch(const SearchStart& start, const ColorabilityStep& step,
                                 const BisectionObserver& observer) {
  ChromaticOutcome search;
  search.coloring = start.coloring;
  Bisection bisection = start.interval;
  int64_t tests = 0;
  double iterationSum = 0.0;
  while (!bisection.finished()) {
    const int32_t mid = bisection.next();
    if (observer) observer(bisection.lo, bisection.hi, mid);
    std::optional<ColorabilityOutcome> outcome =
        step(search.steps + 1, StepColors{mid, bisection.lo + 1, start.spread});
    if (!outcome) {
      search.stopped = true;
      break;
    }
    ++search.steps;
    iterationSum += outcome->iterations;
    tests += outcome->tests;
    search.elsewhereCpuMilliseconds += outcome->elsewhereCpuMilliseconds;
    if (outcome->passed) {
      // Passes only lower hi, so the latest pass is the answer's.
      search.coloring = std::move(outcome->coloring);
      const int32_t used = start.tighten ? compactColors(search.coloring) : outcome->colors;
      bisection.passed(outcome->colors, used);
    }
    if (outcome->failedBelow > 0) bisection.failed(outcome->failedBelow);
  }
  search.chromatic = bisection.hi;
  search.meanIterations = iterationSum / static_cast<double>(tests);
  return search;
}

}  // namespace tintara
