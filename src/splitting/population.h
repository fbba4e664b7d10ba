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

#include <cstdint>
#include <vector>

#include "coloring/coloring_sample.h"
#include "coloring/gibbs_move.h"
#include "splitting/chain_move.h"

namespace tintara {

// An ordered list of samples whose storage outlives its contents: shrinking
// keeps the samples' buffers, and push() copies into a kept slot, so a list
// refilled to the same size allocates nothing.
class SampleList {
 public:
  std::size_t size() const { return count; }
  bool empty() const { return count == 0; }
  void clear() { count = 0; }
  void push(const ColoringSample& sample) {
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
  ColoringSample& operator[](std::size_t i) { return slots[i]; }
  const ColoringSample& operator[](std::size_t i) const { return slots[i]; }
  ColoringSample* begin() { return slots.data(); }
  ColoringSample* end() { return slots.data() + count; }
  const ColoringSample* begin() const { return slots.data(); }
  const ColoringSample* end() const { return slots.data() + count; }

 private:
  std::vector<ColoringSample> slots;
  std::size_t count = 0;
};

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
void sortByScore(Population& population);

// Moves `level` to the candidate, or to candidate + 1 when the candidate
// equals the level and some of the first N samples scores above it. Returns
// the number of elites: the leading samples (of the first N) scoring at least
// the new level, up to the first one below it.
std::size_t selectElitesAdaptive(const Population& population, int32_t N, double& level,
                                 double candidate);

// The number of leading samples (of the first N) scoring at least `level`,
// up to the first one below it.
std::size_t selectElitesAtLevel(const Population& population, int32_t N, double level);

// One offspring count per elite, summing to N: N / c each, then the N mod c
// remaining units to elites drawn uniformly with replacement (one uniform01
// each). Throws std::logic_error when there is no elite.
void splittingFactors(std::size_t eliteCount, int32_t N, RandomSource& random,
                      std::vector<int32_t>& factors);

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

}  // namespace tintara
