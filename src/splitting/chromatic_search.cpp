#include "splitting/chromatic_search.h"

#include "coloring/clique.h"
#include "coloring/compact_colors.h"
#include "coloring/dsatur.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tintara {

int32_t Bisection::next() const {
  if (descend) return pending > 0 ? pending - 1 : hi - 1;
  return static_cast<int32_t>(std::ceil(static_cast<double>(lo + hi) * 0.5));
}

void Bisection::passed(int32_t k, int32_t colorsUsed) {
  if (hi == k) lo = hi;
  hi = colorsUsed;
  if (lo >= hi) lo = hi;
  // A failure at as many colours as a pass, or more, says nothing.
  if (pending >= hi) pending = 0;
}

void Bisection::failed(int32_t k) {
  if (!confirm) {
    lo = std::max(lo, k);
    return;
  }
  if (k >= hi) return;
  if (pending == k + 1) {
    lo = std::max(lo, pending);  // two failures in a row: the upper one stands
    pending = 0;
  } else {
    pending = std::max(pending, k);
  }
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
  start.clique = largeClique(graph);
  start.cliqueSize = static_cast<int32_t>(start.clique.size());
  start.coloring = dsaturColoring(graph);
  const int32_t d = compactColors(start.coloring);
  start.interval = Bisection{start.cliqueSize - 1, d, start.cliqueSize};
  start.tighten = true;
  return start;
}

void useTabuDescent(SearchStart& start) {
  start.interval.descend = true;
  start.interval.confirm = true;
  start.spread = true;
}

ChromaticOutcome chromaticSearch(const SearchStart& start, const ColorabilityStep& step,
                                 const BisectionObserver& observer,
                                 const StepObserver& stepObserver) {
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
    if (bisection.confirm) {
      // Every failure below hi, highest first, so that two in a row
      // (within the step, or the pending one and this step's) end it.
      std::vector<int32_t> failures;
      for (const TestAnswer& test : outcome->answers) {
        if (!test.passed && test.colors < bisection.hi) failures.push_back(test.colors);
      }
      std::sort(failures.rbegin(), failures.rend());
      failures.erase(std::unique(failures.begin(), failures.end()), failures.end());
      for (const int32_t k : failures) bisection.failed(k);
    } else if (outcome->failedBelow > 0) {
      bisection.failed(outcome->failedBelow);
    }
    if (stepObserver) {
      stepObserver(SearchStep{search.steps, std::move(outcome->answers), bisection.hi,
                              outcome->cpuMilliseconds});
    }
  }
  search.chromatic = bisection.hi;
  search.meanIterations = iterationSum / static_cast<double>(tests);
  return search;
}

}  // namespace tintara
