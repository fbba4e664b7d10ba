#include "splitting/adaptive_splitting.h"

#include "splitting/level_window.h"
#include "splitting/population.h"

namespace tintara {

namespace {

struct AdaptiveOutcome {
  bool reachedProperColoring = false;
  int64_t iterations = 0;
};

// The shared run; every level it sets is appended to `levels`.
AdaptiveOutcome runAdaptive(const Graph& graph, RandomSource& random, int32_t N, double rho,
                            int32_t k, LevelList& levels, std::vector<int32_t>* properColoring,
                            const LevelObserver& observer) {
  const int32_t m = candidateIndex(N, rho);
  Population population;
  createPopulation(population, graph, random, N, k);

  AdaptiveOutcome outcome;
  double level = static_cast<double>(-graph.vertexCount);
  levels.assign(1, level);
  LevelWindow window;
  window.push(level);

  std::vector<int32_t> factors;
  GibbsWorkspace workspace;
  for (;;) {
    if (window.stagnated()) return outcome;
    ++outcome.iterations;
    sortByScore(population);
    const double candidate = population[m].score;
    const std::size_t eliteCount = selectElitesAdaptive(population, N, level, candidate);
    levels.push_back(level);
    if (observer) observer(level);
    // The candidate, not the level: a level raised to candidate + 1 still
    // counts as standing still when the candidate does.
    window.push(candidate);
    if (level >= 0) {
      // The population is sorted and its first member is an elite, so it
      // scores at least the level: it is proper.
      if (properColoring) *properColoring = population[0].vertexColors;
      outcome.reachedProperColoring = true;
      return outcome;
    }
    splittingFactors(eliteCount, N, random, factors);
    regenerate(population, eliteCount, factors, level, workspace);
  }
}

}  // namespace

LevelList buildLevels(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                      std::vector<int32_t>* properColoring, const LevelObserver& observer) {
  LevelList levels;
  runAdaptive(graph, random, N, rho, k, levels, properColoring, observer);
  return levels;
}

bool isColorable(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                 double& iterations, std::vector<int32_t>* properColoring) {
  iterations = 0.0;
  LevelList levels;
  const AdaptiveOutcome outcome = runAdaptive(graph, random, N, rho, k, levels, properColoring, {});
  iterations = static_cast<double>(outcome.iterations);
  return outcome.reachedProperColoring;
}

}  // namespace tintara
