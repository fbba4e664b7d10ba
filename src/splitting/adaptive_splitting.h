// Adaptive splitting runs: the pilot that fixes counting mode's levels, and
// the colourability test of chromatic mode. Both are the same run.
//
// From N random k-colourings and the level -vertexCount, every iteration
// sorts the population, takes the candidate score at index m = floor(N * rho),
// moves the level by selectElitesAdaptive, and regrows the population from
// the elites by Gibbs moves at that level. The run succeeds when the level
// reaches 0 (a proper colouring is in the population) and gives up when the
// last seven candidates (the starting level counted first) are all equal.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "graph/graph.h"
#include "random/random_source.h"

namespace tintara {

using LevelList = std::vector<double>;

// Told each new level as the run sets it (for a progress display).
using LevelObserver = std::function<void(double level)>;

// The pilot run: returns -vertexCount followed by every iteration's level.
// When a proper colouring was reached the last entry is 0 and, if asked
// for, `properColoring` receives one such colouring; when the run stagnated
// first, the last entry is the (negative) level it stopped at.
LevelList buildLevels(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                      std::vector<int32_t>* properColoring = nullptr,
                      const LevelObserver& observer = {});

// True when k colours were found to suffice, and then `properColoring`, if
// asked for, receives a proper k-colouring; `iterations` is set to the
// number of iterations this call made.
bool isColorable(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                 double& iterations, std::vector<int32_t>* properColoring = nullptr);

}  // namespace tintara
