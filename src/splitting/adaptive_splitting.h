// Adaptive splitting runs: the pilot that fixes counting mode's levels, and
// the colourability test of chromatic mode. Both are the same run.
//
// From N random k-colourings and the level -vertexCount, every iteration
// sorts the population, takes the candidate score at index m = floor(N * rho),
// moves the level by selectElitesAdaptive, and regrows the population from
// the elites by Gibbs moves at that level (or, in chromatic mode with --move
// tabu, by tabu walks, each keeping the best colouring it meets, and with
// --crossover gpx some as children of two elites). The run succeeds when
// the level reaches 0 (a proper colouring is in the population) and gives
// up when the last seven candidates (the starting level counted first) are
// all equal. A tabu run first doubles its walks' length, up to
// move.walkDoublings times, each time starting the window afresh: a
// population of short walks stands still on graphs where longer walks
// still climb (the dense Leighton graphs), and a "no" should mean that
// longer walks no longer help (docs/tabu.md).
//
// This is adaptive multilevel splitting (Cerou and Guyader, "Adaptive
// multilevel splitting for rare event analysis", Stochastic Analysis and
// Applications 25, 2007): each level is a quantile of the population's
// scores, so that about a fraction rho of it survives every step. Regrowing
// the survivors by a Markov chain that keeps the uniform law on the set
// above the level is the generalized splitting method (Botev and Kroese,
// "Efficient Monte Carlo simulation via the generalized splitting method",
// Statistics and Computing 22, 2012). The pilot's levels are then fixed for
// the estimating runs (splitting/estimation.h): an adaptive run's product
// of fractions is biased, a fixed-level run's is not.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "graph/graph.h"
#include "random/random_source.h"
#include "splitting/chain_move.h"

namespace tintara {

using LevelList = std::vector<double>;

// Told each new level as the run sets it (for a progress display).
using LevelObserver = std::function<void(double level)>;

// Asked before every iteration, and within the tabu walks: true stops the
// run there (a halt).
using StopQuery = std::function<bool()>;

struct AdaptiveRun {
  // -vertexCount followed by every iteration's level: the last is 0 when a
  // proper colouring was reached, the (negative) level the run stagnated or
  // was stopped at otherwise.
  LevelList levels;
  bool reachedProperColoring = false;
  bool stopped = false;  // `stop` ended the run before it succeeded or stagnated
  int64_t iterations = 0;
  int32_t walkDoublings = 0;  // the times a tabu run doubled its walks' length
};

// The run; when it reaches a proper colouring and `properColoring` is
// given, that receives one. `move` grows the chains (Gibbs by default).
AdaptiveRun adaptiveRun(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                        std::vector<int32_t>* properColoring = nullptr,
                        const LevelObserver& observer = {}, const StopQuery& stop = {},
                        const ChainMove& move = {});

}  // namespace tintara
