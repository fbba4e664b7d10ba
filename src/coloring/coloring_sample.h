// One k-colouring of the Graph and its score.
//
// score is minus the number of (vertex, adjacency entry) pairs whose two ends
// share a colour: a monochromatic edge counts -2, a proper colouring scores 0.
// Creation draws every vertex's colour uniformly (one uniform01 per vertex,
// vertex 0 first) and computes the score; after that only gibbsMove changes a
// sample, keeping the score current incrementally.
//
// A sample is a value: copies duplicate the colours, the visiting order and
// the score, and share the Graph and the RandomSource, which the run owns and
// which outlive every sample.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "random/random_source.h"

namespace tintara {

struct ColoringSample {
  int32_t vertexCount = 0;
  int32_t colorCount = 0;
  std::vector<int32_t> vertexColors;
  std::vector<int32_t> visitOrder;       // the Gibbs move's visiting order; identity at creation
  RandomSource* randomSource = nullptr;  // shared, not owned
  const Graph* graph = nullptr;          // shared, not owned
  double score = 0.0;

  // Random colours from `random`, score computed. colorCount must be >= 1.
  ColoringSample(const Graph& graph, RandomSource& random, int32_t colorCount);

  // Gives every vertex a new uniform colour; leaves score alone.
  void randomizeColors();
  // Sets score from the colouring and the Graph, from scratch.
  void computeScore();
};

// floor(count * u) for u in [0, 1), kept below count even where the product
// rounds up to count (counts of 2^21 and more).
inline int32_t scaledIndex(int32_t count, double u) {
  const auto index = static_cast<int32_t>(static_cast<double>(count) * u);
  return index < count ? index : count - 1;
}

}  // namespace tintara
