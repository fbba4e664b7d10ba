// Where a mode's runs are made. The modes decide what is run and print the
// report; an executor only makes the runs: on this process's threads (the
// tintara executable), or across the ranks of an MPI job (tintara-mpi).
// Either way every run draws from its own stream of the seed, so the
// report does not depend on the executor.
#pragma once

#include <cstdint>
#include <functional>

#include "cli/settings.h"
#include "graph/graph.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/experiment_runs.h"

namespace tintara {

// Takes the results of fixed-level runs in run order; false ends the runs.
using RunConsumer = std::function<bool(int64_t run, CountingRun&& result)>;

struct RunExecutor {
  // Makes fixed-level runs 1, 2, ... at `levels` and hands each to
  // `consume` in run order until it returns false; runs still under way
  // then are abandoned and give nothing.
  std::function<void(const RunSettings& settings, const Graph& graph, const LevelList& levels,
                     const RunConsumer& consume)>
      countingRuns;
  // Makes the tests of one bisection step at k colours (settings.workers of
  // them a process, so P x workers in an MPI job of P ranks; test j on
  // stream (step, j)), and combines their outcomes in test order.
  std::function<ColorabilityOutcome(const RunSettings& settings, const Graph& graph, int32_t step,
                                    int32_t k)>
      colorabilityStep;
};

// Runs on settings.workers threads of this process.
RunExecutor threadExecutor();

}  // namespace tintara
