#include "support/plain_runs.h"

#include <optional>
#include <vector>

#include "coloring/coloring_sample.h"

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

void plainKernelMove(KernelSample& sample, const KernelGraph& graph, int32_t k,
                     RandomSource& random, double level) {
  const int32_t n = graph.vertexCount;
  if (n > 0) random.shuffleOrder(sample.visitOrder.data(), sample.visitOrder.data() + n);
  for (int32_t i = 0; i < n; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = sample.visitOrder[i];
    const int32_t old = sample.colors[v];
    std::vector<int32_t> allowed;
    for (int32_t c = 0; c < k; ++c) {
      sample.colors[v] = c;
      if (kernelScore(graph, sample) >= level) allowed.push_back(c);
    }
    sample.colors[v] = old;
    if (allowed.empty()) continue;
    sample.colors[v] =
        allowed[scaledIndex(static_cast<int32_t>(allowed.size()), random.uniform01())];
  }
  for (std::size_t b = 0; b < graph.bits.size(); ++b) {
    const double u = random.uniform01();
    const uint8_t old = sample.active[b];
    sample.active[b] = 0;
    const bool offAllowed = kernelScore(graph, sample) >= level;
    sample.active[b] = 1;
    const bool onAllowed = kernelScore(graph, sample) >= level;
    if (!offAllowed) {
      sample.active[b] = old;
    } else {
      sample.active[b] = u < graph.bits[b].activeProbability && onAllowed ? 1 : 0;
    }
  }
  sample.score = kernelScore(graph, sample);
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
