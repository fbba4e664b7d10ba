#include "splitting/estimation.h"

#include <stdexcept>
#include <vector>

#include "splitting/population.h"

namespace tintara {

std::optional<WideDouble> estimateAtLevelsUnlessAbandoned(const LevelList& levels,
                                                          const Graph& graph, RandomSource& random,
                                                          int32_t N, int32_t k,
                                                          const std::function<bool()>& abandoned) {
  if (N < 1) throw std::invalid_argument("a fixed-level run needs N >= 1");
  Population population;
  createPopulation(population, graph, random, N, k);

  std::vector<double> ratios;
  std::vector<int32_t> factors;
  GibbsWorkspace workspace;
  for (std::size_t i = 1; i < levels.size(); ++i) {
    if (abandoned && abandoned()) return std::nullopt;
    sortByScore(population);
    const double level = levels[i];
    const std::size_t eliteCount = selectElitesAtLevel(population, N, level);
    ratios.push_back(static_cast<double>(eliteCount) / static_cast<double>(N));
    // Nothing to regrow from: the recorded 0 makes the product 0.
    if (eliteCount == 0) return WideDouble(0);
    if (level >= 0) break;
    splittingFactors(eliteCount, N, random, factors);
    regenerate(population, eliteCount, factors, level, workspace);
  }
  WideDouble estimate = 1;
  for (double ratio : ratios) estimate *= ratio;
  return estimate;
}

}  // namespace tintara
