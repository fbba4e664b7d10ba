// Population operations of the splitting method: ordering, elite selection,
// offspring counts and regrowth. None prints; only splittingFactors and
// regenerate (through gibbsMove) draw random numbers.
#pragma once

#include <cstdint>
#include <vector>

#include "coloring/coloring_sample.h"
#include "coloring/gibbs_move.h"

namespace tintara {

// An ordered list of samples whose storage outlives its contents: clear()
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

// Orders the population by descending score (ties in no particular order).
void sortByScore(Population& population);

// Moves `level` to the candidate, or to candidate + 1 when the candidate
// equals the level and some of the first N samples scores above it; then
// fills `elites` with copies of the leading samples scoring at least the new
// level, stopping at the first one below it.
void selectElitesAdaptive(const Population& population, int32_t N, double& level, double candidate,
                          SampleList& elites);

// Fills `elites` with copies of the leading samples (of the first N) scoring
// at least `level`, stopping at the first one below it.
void selectElitesAtLevel(const Population& population, int32_t N, double level, SampleList& elites);

// One offspring count per elite, summing to N: N / c each, then the N mod c
// remaining units to elites drawn uniformly with replacement (one uniform01
// each). Throws std::logic_error for an empty elite list.
void splittingFactors(const SampleList& elites, int32_t N, RandomSource& random,
                      std::vector<int32_t>& factors);

// Empties the population, then for each elite in order, factors[i] times:
// moves the elite in place by gibbsMove(level) and appends a copy of it.
void regenerate(Population& population, SampleList& elites, const std::vector<int32_t>& factors,
                double level, GibbsWorkspace& workspace);

}  // namespace tintara

namespace tintara {

// Empties `population` and appends N fresh samples, created one after the
// other (each takes vertexCount uniform01 draws for its colours).
void createPopulation(Population& population, const Graph& graph, RandomSource& random, int32_t N,
                      int32_t k);

// m = floor(N * rho), the index whose score is the adaptive runs' candidate.
// Throws std::invalid_argument unless N >= 1 and 0 <= m <= N - 1.
int32_t candidateIndex(int32_t N, double rho);

}  // namespace tintara
