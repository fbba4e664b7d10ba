#include "support/plain_runs.h"

#include <optional>

#include "splitting/chromatic_search.h"
#include "splitting/estimation.h"

namespace tintara::testing {

LevelList buildLevels(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                      std::vector<int32_t>* properColoring, const LevelObserver& observer) {
  return adaptiveRun(graph, random, N, rho, k, properColoring, observer).levels;
}

bool isColorable(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                 double& iterations, std::vector<int32_t>* properColoring) {
  const AdaptiveRun run = adaptiveRun(graph, random, N, rho, k, properColoring);
  iterations = static_cast<double>(run.iterations);
  return run.reachedProperColoring;
}

WideDouble estimateAtLevels(const LevelList& levels, const Graph& graph, RandomSource& random,
                            int32_t N, int32_t k) {
  return *estimateAtLevelsUnlessAbandoned(levels, graph, random, N, k, {});
}

int32_t bisectColorCount(int32_t vertexCount, const ColorabilityTest& test, int32_t& steps,
                         double& iterationSum) {
  const ChromaticOutcome search = chromaticSearch(
      SearchStart{Bisection{0, vertexCount}, {}, false, 0}, [&](int32_t, const StepColors& colors) {
        const int32_t k = colors.top;
        ColorabilityOutcome outcome;
        outcome.passed = test(k, outcome.iterations);
        outcome.colors = k;
        outcome.failedBelow = outcome.passed ? 0 : k;
        iterationSum += outcome.iterations;
        return std::optional<ColorabilityOutcome>(std::move(outcome));
      });
  steps += search.steps;
  return search.chromatic;
}

}  // namespace tintara::testing
