#include "splitting/population.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace tintara {

namespace {

std::size_t leadersAtOrAbove(const Population& population, int32_t N, double level) {
  const std::size_t limit = std::min(population.size(), static_cast<std::size_t>(std::max(N, 0)));
  std::size_t count = 0;
  while (count < limit && population[count].score >= level) ++count;
  return count;
}

}  // namespace

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

void sortByScore(Population& population) {
  std::sort(population.begin(), population.end(),
            [](const ColoringSample& a, const ColoringSample& b) { return a.score > b.score; });
}

std::size_t selectElitesAdaptive(const Population& population, int32_t N, double& level,
                                 double candidate) {
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
  return leadersAtOrAbove(population, N, level);
}

std::size_t selectElitesAtLevel(const Population& population, int32_t N, double level) {
  return leadersAtOrAbove(population, N, level);
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

// regenerate with the chain's move as a parameter. Inlined into each
// caller, so the Gibbs path keeps its code.
template <class Chain>
[[gnu::always_inline]] inline void growChains(Population& population, std::size_t eliteCount,
                                              const std::vector<int32_t>& factors, double level,
                                              Chain chain) {
  // Elite i's chain fills the range [start, start + f) of the new population.
  // Its last state is the elite itself, so the elite's buffer goes to the end
  // of its range and each earlier state is copied into a free buffer before
  // it: no elite is ever copied out, and every buffer is reused.
  std::size_t total = 0;
  std::size_t parents = 0;  // elites with offspring, moved to the front in order
  for (std::size_t i = 0; i < eliteCount; ++i) {
    if (factors[i] <= 0) continue;
    total += static_cast<std::size_t>(factors[i]);
    if (parents != i) std::swap(population[parents], population[i]);
    ++parents;
  }
  if (total == 0) {
    population.clear();
    return;
  }
  population.resize(total);

  // Each range ends at or after its parent's index (every range is at least
  // one long), and the ends increase, so placing the last parent first never
  // disturbs a parent still waiting.
  std::size_t end = total;
  for (std::size_t p = parents, i = eliteCount; p-- > 0;) {
    do {
      --i;  // back to the elite whose offspring parent p carries
    } while (factors[i] <= 0);
    const auto f = static_cast<std::size_t>(factors[i]);
    end -= f;
    assert(p <= end + f - 1);  // the parent sits at or before its range's last slot
    std::swap(population[p], population[end + f - 1]);
  }
  assert(end == 0);  // the ranges tile the population from its start

  std::size_t start = 0;
  for (std::size_t i = 0; i < eliteCount; ++i) {
    if (factors[i] <= 0) continue;
    const auto f = static_cast<std::size_t>(factors[i]);
    ColoringSample& sample = population[start + f - 1];
    for (std::size_t move = 0; move < f; ++move) {
      chain.step(sample, level);
      if (move + 1 < f) population[start + move] = sample;
    }
    start += f;
  }
  assert(start == total);
}

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
