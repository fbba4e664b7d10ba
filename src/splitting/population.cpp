#include "splitting/population.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace tintara {

void createPopulation(Population& population, const Graph& graph, RandomSource& random, int32_t N,
                      int32_t k) {
  population.clear();
  population.reserve(static_cast<std::size_t>(std::max(N, 0)));
  for (int32_t i = 0; i < N; ++i) population.push(ColoringSample(graph, random, k));
}

int32_t candidateIndex(int32_t N, double rho) {
  const double m = std::floor(static_cast<double>(N) * rho);
  if (N < 1 || !(m >= 0.0) || m > static_cast<double>(N - 1)) {
    throw std::invalid_argument("the population needs N >= 1 and 0 <= rho < 1");
  }
  return static_cast<int32_t>(m);
}

void splittingFactors(std::size_t eliteCount, int32_t N, RandomSource& random,
                      std::vector<int32_t>& factors) {
  if (eliteCount == 0) throw std::logic_error("splittingFactors needs at least one elite");
  const auto c = static_cast<double>(eliteCount);
  const auto q = static_cast<int32_t>(static_cast<double>(N) / c);
  factors.assign(eliteCount, q);
  const auto d = static_cast<int32_t>(static_cast<double>(q) * c);
  const auto count = static_cast<int32_t>(eliteCount);
  for (int32_t unit = d; unit < N; ++unit) ++factors[scaledIndex(count, random.uniform01())];
}

namespace {

// The Gibbs sweep and the tabu walk as regenerate's chain: step(sample,
// level) makes an elite's chain's next state.
struct GibbsChain {
  GibbsWorkspace& workspace;
  void step(ColoringSample& sample, double level) { gibbsMove(sample, level, workspace); }
};

// Each state is one walk from the state before. The walk keeps the best
// colouring it meets, never below its start, so it needs no level: a
// sample at the level stays at or above it. Once a halt has ended a walk,
// the chain's remaining steps leave their samples as they are (copies, for
// regenerate's caller to drop).
struct TabuChain {
  const TabuSettings& settings;
  TabuWorkspace& workspace;
  const WalkStop& stop;
  bool& halted;
  void step(ColoringSample& sample, [[maybe_unused]] double level) {
    if (halted) return;
    [[maybe_unused]] const double start = sample.score;
    halted = !tabuWalk(sample, settings, workspace, stop);
    assert(sample.score >= start && (sample.score >= level || start < level));
  }
};

}  // namespace

void regenerate(Population& population, std::size_t eliteCount, const std::vector<int32_t>& factors,
                double level, GibbsWorkspace& workspace) {
  growChains(population, eliteCount, factors, level, GibbsChain{workspace});
}

namespace {

// The children of a regrowth, into workspace.children (whose buffers are
// reused from one regrowth to the next); false when a halt ended a walk.
bool makeChildren(const Population& population, std::size_t eliteCount, int32_t children,
                  double level, const ChainMove& move, ChainWorkspace& workspace,
                  const WalkStop& stop) {
  std::vector<ColoringSample>& made = workspace.children;
  const auto elites = static_cast<int32_t>(eliteCount);
  for (int32_t i = 0; i < children; ++i) {
    if (made.size() <= static_cast<std::size_t>(i)) made.push_back(population[0]);
    ColoringSample& child = made[static_cast<std::size_t>(i)];
    RandomSource& random = *population[0].randomSource;
    const int32_t a = scaledIndex(elites, random.uniform01());
    int32_t b = scaledIndex(elites - 1, random.uniform01());
    if (b >= a) ++b;
    child.randomSource = population[0].randomSource;
    child.graph = population[0].graph;
    gpxCrossover(population[a], population[b], child, workspace.gpx);
    if (!tabuWalk(child, move.tabu, workspace.tabu, stop)) return false;
    if (child.score >= level) continue;
    // Below the level: a walk from the first parent instead, which keeps
    // the level as a clone's does.
    child = population[a];
    if (!tabuWalk(child, move.tabu, workspace.tabu, stop)) return false;
    assert(child.score >= level);
  }
  return true;
}

}  // namespace

bool regenerate(Population& population, std::size_t eliteCount, const std::vector<int32_t>& factors,
                int32_t children, double level, const ChainMove& move, ChainWorkspace& workspace,
                const WalkStop& stop) {
  if (children <= 0) {
    return regenerate(population, eliteCount, factors, level, move, workspace, stop);
  }
  if (move.kind != MoveKind::Tabu || eliteCount < 2) {
    throw std::logic_error("the crossover needs the tabu walk and two elites");
  }
  if (!makeChildren(population, eliteCount, children, level, move, workspace, stop)) return false;
  if (!regenerate(population, eliteCount, factors, level, move, workspace, stop)) return false;
  const std::size_t clones = population.size();
  population.resize(clones + static_cast<std::size_t>(children));
  for (std::size_t i = 0; i < static_cast<std::size_t>(children); ++i) {
    std::swap(population[clones + i], workspace.children[i]);
  }
  return true;
}

bool regenerate(Population& population, std::size_t eliteCount, const std::vector<int32_t>& factors,
                double level, const ChainMove& move, ChainWorkspace& workspace,
                const WalkStop& stop) {
  if (move.kind == MoveKind::Gibbs) {
    regenerate(population, eliteCount, factors, level, workspace.gibbs);
    return true;
  }
  bool halted = false;
  growChains(population, eliteCount, factors, level,
             TabuChain{move.tabu, workspace.tabu, stop, halted});
  return !halted;
}

}  // namespace tintara
