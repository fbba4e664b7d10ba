// The splitting runs in their plain forms, as tests and benchmarks call
// them: on a RandomSource the caller owns, never stopped or abandoned. The
// program itself makes each run on a stream of its seed
// (splitting/experiment_runs.h).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "coloring/kernel_state.h"
#include "graph/graph.h"
#include "numeric/wide_double.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"

namespace tintara::testing {

// The pilot run's levels (adaptiveRun's); `properColoring`, when given,
// receives a proper colouring when one was reached.
LevelList buildLevels(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                      std::vector<int32_t>* properColoring = nullptr,
                      const LevelObserver& observer = {});

// True when k colours were found to suffice, and then `properColoring`, if
// asked for, receives a proper k-colouring; `iterations` is set to the
// number of iterations this call made.
bool isColorable(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                 double& iterations, std::vector<int32_t>* properColoring = nullptr);

// One fixed-level run's estimate.
WideDouble estimateAtLevels(const LevelList& levels, const Graph& graph, RandomSource& random,
                            int32_t N, int32_t k);

// The kernel state's sweep (kernelGibbsMove) written plainly: each heads
// position tries every colour and recounts the score from scratch, and so
// does each bit; the same draws in the same order.
void plainKernelMove(KernelSample& sample, const KernelGraph& graph, int32_t k,
                     RandomSource& random, double level);

// Answers whether k colours suffice, setting `iterations` to the work done.
using ColorabilityTest = std::function<bool(int32_t k, double& iterations)>;

// The plain bisection over (0, vertexCount] (chromaticSearch from
// trivialStart's interval) with every pass counting as mid colours. Returns
// the smallest passing k tested (or vertexCount). `steps` counts the tests
// and `iterationSum` adds up their iterations.
int32_t bisectColorCount(int32_t vertexCount, const ColorabilityTest& test, int32_t& steps,
                         double& iterationSum);

}  // namespace tintara::testing
