#include "splitting/chromatic_search.h"

#include <cmath>
#include <numeric>

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

ChromaticOutcome chromaticSearch(const Graph& graph, const ColorabilityStep& step,
                                 const BisectionObserver& observer) {
  ChromaticOutcome search;
  search.coloring.resize(static_cast<std::size_t>(graph.vertexCount));
  std::iota(search.coloring.begin(), search.coloring.end(), 0);
  int64_t tests = 0;
  double iterationSum = 0.0;
  search.chromatic = bisectColorCount(
      graph.vertexCount,
      [&](int32_t k, double& iterations) {
        // `steps` already counts this step.
        ColorabilityOutcome outcome = step(search.steps, k);
        iterations = outcome.iterations;
        tests += outcome.tests;
        search.elsewhereCpuMilliseconds += outcome.elsewhereCpuMilliseconds;
        // Passes only lower hi, so the latest pass is the answer's.
        if (outcome.passed) search.coloring = std::move(outcome.coloring);
        return outcome.passed;
      },
      search.steps, iterationSum, observer);
  search.meanIterations = iterationSum / static_cast<double>(tests);
  return search;
}

}  // namespace tintara
