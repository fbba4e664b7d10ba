// The fixed-level splitting run of counting mode.
//
// From N fresh random k-colourings, for each level after the first of the
// LevelList in turn: sort, keep the leading samples at or above the level,
// record kept / N, and, unless the level is 0 or more, regrow the population
// from the kept samples by Gibbs moves at that level. The product of the
// recorded fractions estimates the probability that a uniformly random
// k-colouring is proper; it is formed as a WideDouble, since it is often far
// below the smallest double. A level that no sample reaches gives 0 at once.
//
// This is the generalized splitting estimator with fixed levels (Botev and
// Kroese, "Efficient Monte Carlo simulation via the generalized splitting
// method", Statistics and Computing 22, 2012): with levels fixed in advance
// and a move that keeps the uniform law on each level set (the Gibbs sweep
// of coloring/gibbs_move.h), the product of the fractions kept is an
// unbiased estimate, so independent runs average to the probability.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "graph/graph.h"
#include "numeric/wide_double.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"

namespace tintara {

// The run, asked before every level whether it is still wanted: once
// `abandoned` (when given) answers true the run stops there and gives
// nothing.
std::optional<WideDouble> estimateAtLevelsUnlessAbandoned(const LevelList& levels,
                                                          const Graph& graph, RandomSource& random,
                                                          int32_t N, int32_t k,
                                                          const std::function<bool()>& abandoned);

}  // namespace tintara
