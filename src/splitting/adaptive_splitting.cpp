#include "splitting/adaptive_splitting.h"

#include "splitting/level_window.h"
#include "splitting/population.h"

namespace tintara {

AdaptiveRun adaptiveRun(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                        std::vector<int32_t>* properColoring, const LevelObserver& observer,
                        const StopQuery& stop, const ChainMove& move) {
  int32_t n = N;  // the population's size, which a tabu run may halve
  int32_t m = candidateIndex(n, rho);
  Population population;
  createPopulation(population, graph, random, N, k);

  AdaptiveRun run;
  double level = static_cast<double>(-graph.vertexCount);
  run.levels.assign(1, level);
  LevelWindow window;
  window.push(level);

  std::vector<int32_t> factors;
  ChainWorkspace workspace;
  // The walks' length as the test goes: doubled each time it would
  // stagnate, until the doublings run out.
  ChainMove current = move;
  for (;;) {
    if (window.stagnated()) {
      if (current.kind != MoveKind::Tabu || run.walkDoublings >= move.walkDoublings) return run;
      ++run.walkDoublings;
      current.tabu.walkSteps *= 2;
      current.tabu.stepsPerVertex *= 2;
      if (move.halvePopulation && n > 1) {
        n /= 2;
        m = candidateIndex(n, rho);
      }
      window.restart();
    }
    if (stop && stop()) {
      run.stopped = true;
      return run;
    }
    ++run.iterations;
    sortByScore(population);
    const double candidate = population[m].score;
    const std::size_t eliteCount = selectElitesAdaptive(population, n, level, candidate);
    run.levels.push_back(level);
    if (observer) observer(level);
    // The candidate, not the level: a level raised to candidate + 1 still
    // counts as standing still when the candidate does.
    window.push(candidate);
    if (level >= 0) {
      // The population is sorted and its first member is an elite, so it
      // scores at least the level: it is proper.
      if (properColoring) *properColoring = population[0].vertexColors;
      run.reachedProperColoring = true;
      return run;
    }
    // Children need two elites; with one, the regrowth makes clones alone.
    const int32_t children = eliteCount >= 2 ? childrenPerRegrowth(current, n) : 0;
    splittingFactors(eliteCount, n - children, random, factors);
    // An iteration of N walks may take seconds: the walks ask `stop` too.
    if (!regenerate(population, eliteCount, factors, children, level, current, workspace, stop)) {
      run.stopped = true;
      return run;
    }
  }
}

}  // namespace tintara
