// Population operations of the splitting method: ordering, elite selection,
// offspring counts and regrowth. None prints; only splittingFactors and
// regenerate (through its move) draw random numbers.
//
// Storage: a selection keeps the leading samples of the sorted population,
// so the elites are reported as a count and stay where they are, as the
// population's first samples; regenerate then grows every elite's chain in
// the population's own buffers. The result, draw for draw, is that of
// copying the elites out, emptying the population and appending a copy of
// each elite after each of its moves; but a warm run allocates nothing, and
// a population of N samples never needs more than N samples' storage.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <utility>
#include <vector>

#include "coloring/coloring_sample.h"
#include "coloring/gibbs_move.h"
#include "splitting/chain_move.h"

namespace tintara {

// An ordered list of samples whose storage outlives its contents: shrinking
// keeps the samples' buffers, and push() copies into a kept slot, so a list
// refilled to the same size allocates nothing. Samples of any kind with a
// `score`: colourings (ColoringSample), or a kernel's states
// (coloring/kernel_state.h).
template <class Sample>
class SampleListOf {
 public:
  std::size_t size() const { return count; }
  bool empty() const { return count == 0; }
  void clear() { count = 0; }
  void push(const Sample& sample) {
    if (count < slots.size()) {
      slots[count] = sample;
    } else {
      slots.push_back(sample);
    }
    ++count;
  }
  // Makes room for `size` samples, so that filling the list up to it never
  // holds two copies of the slots (a vector that grows by doubling would).
  void reserve(std::size_t size) { slots.reserve(size); }
  // Sets the size to `size`; new slots start as copies of the first sample.
  void resize(std::size_t size) {
    while (slots.size() < size) slots.push_back(slots.front());
    count = size;
  }
  Sample& operator[](std::size_t i) { return slots[i]; }
  const Sample& operator[](std::size_t i) const { return slots[i]; }
  Sample* begin() { return slots.data(); }
  Sample* end() { return slots.data() + count; }
  const Sample* begin() const { return slots.data(); }
  const Sample* end() const { return slots.data() + count; }

 private:
  std::vector<Sample> slots;
  std::size_t count = 0;
};

using SampleList = SampleListOf<ColoringSample>;
using Population = SampleList;

// Empties `population` and appends N fresh samples, created one after the
// other (each takes vertexCount uniform01 draws for its colours).
void createPopulation(Population& population, const Graph& graph, RandomSource& random, int32_t N,
                      int32_t k);

// m = floor(N * rho), the index whose score is the adaptive runs' candidate.
// Throws std::invalid_argument unless N >= 1 and 0 <= m <= N - 1.
int32_t candidateIndex(int32_t N, double rho);

// Orders the population by descending score (ties in no particular order).
// Samples are moved, never deep-copied.
template <class Sample>
void sortByScore(SampleListOf<Sample>& population) {
  std::sort(population.begin(), population.end(),
            [](const Sample& a, const Sample& b) { return a.score > b.score; });
}

// The number of leading samples (of the first N) scoring at least `level`,
// up to the first one below it.
template <class Sample>
std::size_t selectElitesAtLevel(const SampleListOf<Sample>& population, int32_t N, double level) {
  const std::size_t limit = std::min(population.size(), static_cast<std::size_t>(std::max(N, 0)));
  std::size_t count = 0;
  while (count < limit && population[count].score >= level) ++count;
  return count;
}

// Moves `level` to the candidate, or to candidate + 1 when the candidate
// equals the level and some of the first N samples scores above it. Returns
// the number of elites: the leading samples (of the first N) scoring at least
// the new level, up to the first one below it.
template <class Sample>
std::size_t selectElitesAdaptive(const SampleListOf<Sample>& population, int32_t N, double& level,
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
  return selectElitesAtLevel(population, N, level);
}

// One offspring count per elite, summing to N: N / c each, then the N mod c
// remaining units to elites drawn uniformly with replacement (one uniform01
// each). Throws std::logic_error when there is no elite.
void splittingFactors(std::size_t eliteCount, int32_t N, RandomSource& random,
                      std::vector<int32_t>& factors);

// Regrows `population` from its first `eliteCount` samples, the elites: for
// each elite in order, factors[i] times, chain.step(sample, level) moves it
// and its new state becomes the next sample (see regenerate below). Every
// buffer is reused: the elites are never copied out.
template <class Sample, class Chain>
void growChains(SampleListOf<Sample>& population, std::size_t eliteCount,
                const std::vector<int32_t>& factors, double level, Chain chain);

// Regrows the population from its first `eliteCount` samples, the elites:
// for each elite in order, factors[i] times, the elite is moved by
// gibbsMove(level) and its new state becomes the next sample. The population
// ends with sum(factors) samples, ordered by elite and then by move; an elite
// whose factor is 0 contributes nothing and draws nothing.
void regenerate(Population& population, std::size_t eliteCount, const std::vector<int32_t>& factors,
                double level, GibbsWorkspace& workspace);

// The same with the chain's move chosen: Gibbs as above, or the tabu walk,
// which makes each offspring by one walk (tabuWalk) from the sample before
// it. Either way every offspring scores at least `level` when its elite
// does. `stop` is asked within the walks (the Gibbs sweep never asks it):
// false when it ended the regrowth, leaving the population's samples valid
// but only partly regrown, for the caller to drop.
bool regenerate(Population& population, std::size_t eliteCount, const std::vector<int32_t>& factors,
                double level, const ChainMove& move, ChainWorkspace& workspace,
                const WalkStop& stop = {});

// The same with `children` of the N samples made by the GPX crossover
// (tabu walk only, at least two elites): factors sum to N - children. Each
// child is built from two distinct elites drawn uniformly (the first
// parent one uniform01 among the elites, the second one among the others),
// then walked; a child whose walk ends below `level` is replaced by a walk
// from a copy of its first parent, so that every sample still scores at
// least the level. The children are made first, while the elites are
// intact, and end as the population's last samples, after the clones'
// chains as regenerate grows them.
bool regenerate(Population& population, std::size_t eliteCount, const std::vector<int32_t>& factors,
                int32_t children, double level, const ChainMove& move, ChainWorkspace& workspace,
                const WalkStop& stop = {});

// Inlined into each caller, so that the Gibbs path keeps its code.
template <class Sample, class Chain>
[[gnu::always_inline]] inline void growChains(SampleListOf<Sample>& population,
                                              std::size_t eliteCount,
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
    Sample& sample = population[start + f - 1];
    for (std::size_t move = 0; move < f; ++move) {
      chain.step(sample, level);
      if (move + 1 < f) population[start + move] = sample;
    }
    start += f;
  }
  assert(start == total);
}

}  // namespace tintara
