#include "splitting/population.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tintara {

namespace {

void copyLeadersAtOrAbove(const Population& population, int32_t N, double level,
                          SampleList& elites) {
  elites.clear();
  const std::size_t limit = std::min(population.size(), static_cast<std::size_t>(std::max(N, 0)));
  for (std::size_t i = 0; i < limit && population[i].score >= level; ++i) {
    elites.push(population[i]);
  }
}

}  // namespace

void sortByScore(Population& population) {
  // Samples move (their lists change hands); nothing is deep-copied.
  std::sort(population.begin(), population.end(),
            [](const ColoringSample& a, const ColoringSample& b) { return a.score > b.score; });
}

void selectElitesAdaptive(const Population& population, int32_t N, double& level, double candidate,
                          SampleList& elites) {
  if (candidate == level && N >= 1) {
    const std::size_t limit = std::min(population.size(), static_cast<std::size_t>(N));
    for (std::size_t i = 0; i < limit; ++i) {
      if (population[i].score > level) {
        candidate += 1.0;
        break;
      }
    }
  }
  level = candidate;
  copyLeadersAtOrAbove(population, N, level, elites);
}

void selectElitesAtLevel(const Population& population, int32_t N, double level,
                         SampleList& elites) {
  copyLeadersAtOrAbove(population, N, level, elites);
}

void splittingFactors(const SampleList& elites, int32_t N, RandomSource& random,
                      std::vector<int32_t>& factors) {
  if (elites.empty()) throw std::logic_error("splittingFactors needs at least one elite");
  const auto c = static_cast<double>(elites.size());
  const auto q = static_cast<int32_t>(static_cast<double>(N) / c);
  factors.assign(elites.size(), q);
  const auto d = static_cast<int32_t>(static_cast<double>(q) * c);
  const auto eliteCount = static_cast<int32_t>(elites.size());
  for (int32_t unit = d; unit < N; ++unit) {
    ++factors[scaledIndex(eliteCount, random.uniform01())];
  }
}

void regenerate(Population& population, SampleList& elites, const std::vector<int32_t>& factors,
                double level, GibbsWorkspace& workspace) {
  population.clear();
  for (std::size_t i = 0; i < elites.size(); ++i) {
    for (int32_t move = 0; move < factors[i]; ++move) {
      gibbsMove(elites[i], level, workspace);
      population.push(elites[i]);
    }
  }
}

}  // namespace tintara

namespace tintara {

void createPopulation(Population& population, const Graph& graph, RandomSource& random, int32_t N,
                      int32_t k) {
  population.clear();
  for (int32_t i = 0; i < N; ++i) population.push(ColoringSample(graph, random, k));
}

int32_t candidateIndex(int32_t N, double rho) {
  const double m = std::floor(static_cast<double>(N) * rho);
  if (N < 1 || !(m >= 0.0) || m > static_cast<double>(N - 1)) {
    throw std::invalid_argument("the population needs N >= 1 and 0 <= rho < 1");
  }
  return static_cast<int32_t>(m);
}

}  // namespace tintara
