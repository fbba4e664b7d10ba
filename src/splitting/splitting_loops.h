// The two splitting runs, written once for any kind of sample: the adaptive
// run (adaptive_splitting.h) and the fixed-level run (estimation.h), on
// colourings of a graph or on a kernel's extended states (kernel_splitting.h).
//
// A Space supplies what differs between them:
//   using Sample                 with a double `score`, 0 at the goal;
//   void create(SampleListOf<Sample>&, int32_t N)
//                                N fresh random samples, in order;
//   double startLevel() const    the ladder's first entry;
//   RandomSource& random()       the run's source, for the offspring counts;
//   int32_t children(std::size_t elites, int32_t n)
//                                how many of the n samples a regrowth makes
//                                as crossover children (0 without one);
//   bool regrow(SampleListOf<Sample>&, std::size_t elites,
//               const std::vector<int32_t>& factors, int32_t children,
//               double level)    regenerate's chains at `level`, the factors
//                                summing to n - children; false when a stop
//                                ended them part way;
//   bool lengthen(int32_t& n)    asked when the adaptive run would stagnate:
//                                true when the space lengthened its chains
//                                (chromatic mode's tabu walks, which may then
//                                also shrink the population to n) and the run
//                                goes on with a window started afresh.
// The loops are the runs' own, draw for draw: each space's create and
// regrow draw exactly what the runs drew before they were shared.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "numeric/wide_double.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/level_window.h"
#include "splitting/population.h"

namespace tintara {

// The adaptive run in `space`; when it reaches the goal, `atGoal` is shown
// the first sample of the sorted population, which scores at least the
// level, 0 or more.
template <class Space, class AtGoal>
AdaptiveRun adaptiveRunIn(Space& space, int32_t N, double rho, AtGoal atGoal,
                          const LevelObserver& observer, const StopQuery& stop) {
  int32_t n = N;  // the population's size, which lengthened chains may shrink
  int32_t m = candidateIndex(n, rho);
  SampleListOf<typename Space::Sample> population;
  space.create(population, N);

  AdaptiveRun run;
  double level = space.startLevel();
  run.levels.assign(1, level);
  LevelWindow window;
  window.push(level);

  std::vector<int32_t> factors;
  for (;;) {
    if (window.stagnated()) {
      if (!space.lengthen(n)) return run;
      ++run.walkDoublings;
      m = candidateIndex(n, rho);
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
      // scores at least the level: it is at the goal.
      atGoal(population[0]);
      run.reachedProperColoring = true;
      return run;
    }
    const int32_t children = space.children(eliteCount, n);
    splittingFactors(eliteCount, n - children, space.random(), factors);
    // An iteration of N walks may take seconds: the walks ask `stop` too.
    if (!space.regrow(population, eliteCount, factors, children, level)) {
      run.stopped = true;
      return run;
    }
  }
}

// The fixed-level run in `space` through `levels`: the product of the
// fractions kept, 0 as soon as a level keeps nothing; nothing once
// `abandoned` (asked before every level, when given) answers true.
template <class Space>
std::optional<WideDouble> estimateAtLevelsIn(Space& space, const LevelList& levels, int32_t N,
                                             const std::function<bool()>& abandoned) {
  SampleListOf<typename Space::Sample> population;
  space.create(population, N);

  std::vector<double> ratios;
  std::vector<int32_t> factors;
  for (std::size_t i = 1; i < levels.size(); ++i) {
    if (abandoned && abandoned()) return std::nullopt;
    sortByScore(population);
    const double level = levels[i];
    const std::size_t eliteCount = selectElitesAtLevel(population, N, level);
    ratios.push_back(static_cast<double>(eliteCount) / static_cast<double>(N));
    // Nothing to regrow from: the recorded 0 makes the product 0.
    if (eliteCount == 0) return WideDouble(0);
    if (level >= 0) break;
    splittingFactors(eliteCount, N, space.random(), factors);
    space.regrow(population, eliteCount, factors, 0, level);
  }
  WideDouble estimate = 1;
  for (double ratio : ratios) estimate *= ratio;
  return estimate;
}

}  // namespace tintara
