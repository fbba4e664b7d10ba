// The splitting runs on a kernel's extended states (coloring/kernel_state.h):
// the same adaptive and fixed-level runs as on colourings
// (splitting/splitting_loops.h), with the kernel's sample and move. Their
// ladder starts at the lowest score a state can have, minus twice the
// kernel's edges, and their goal, score 0, is a state without an active bad
// edge: a fixed-level run's product of fractions estimates the probability
// of that, P(no active bad edge), without bias.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "coloring/kernel_state.h"
#include "numeric/wide_double.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"

namespace tintara {

// The adaptive run: when it reaches a state of score 0 and `colors` is
// given, that receives the state's colours.
AdaptiveRun kernelAdaptiveRun(const KernelGraph& kernel, RandomSource& random, int32_t N,
                              double rho, int32_t k, std::vector<int32_t>* colors = nullptr,
                              const LevelObserver& observer = {}, const StopQuery& stop = {});

// The fixed-level run through `levels`, asked before every level whether it
// is still wanted (as estimateAtLevelsUnlessAbandoned).
std::optional<WideDouble> kernelEstimateAtLevels(const LevelList& levels, const KernelGraph& kernel,
                                                 RandomSource& random, int32_t N, int32_t k,
                                                 const std::function<bool()>& abandoned = {});

}  // namespace tintara
