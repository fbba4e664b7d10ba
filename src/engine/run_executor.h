// Where a mode's runs are made: on this process's threads (the tintara
// executable), or across the ranks of an MPI job (tintara-mpi). Both go
// through the one run engine (run_engine.h), and every run draws from its
// own stream of the seed, so what a mode receives does not depend on the
// executor.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/run_engine.h"
#include "graph/graph.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/experiment_runs.h"

namespace tintara {

struct RunExecutor {
  // The processes whose threads make the runs: 1, or an MPI job's ranks.
  int32_t processes = 1;
  // Makes fixed-level runs range.first, range.first + 1, ... of `work`
  // and hands each to `consume` in run order until it returns false,
  // range.last is consumed or `control` halts them; runs still under way
  // then are abandoned and give nothing.
  std::function<RunBatchEnd(const RunParameters& parameters, const CountingWork& work,
                            RunRange range, const RunConsumer<CountingRun>& consume,
                            const BatchControl& control)>
      countingRuns;
  // Makes the tests of one bisection step (parameters.workers of them a
  // process, so P x workers in an MPI job of P ranks; test j on stream
  // (step, j), at colors.forTest(j) colours), and combines their outcomes
  // in test order; nothing when `halted` stopped them first.
  std::function<std::optional<ColorabilityOutcome>(
      const RunParameters& parameters, const Graph& graph, int32_t step, const StepColors& colors,
      const std::function<bool()>& halted)>
      colorabilityStep;
};

// Runs on parameters.workers threads of this process.
RunExecutor threadExecutor();

// The job of counting mode's runs, and of a bisection step's tests (test j
// is index j + 1, so that indices start at 1 as the engine's do).
RunJob<CountingRun> countingJob(const RunParameters& parameters, const CountingWork& work);
RunJob<ColorabilityOutcome> stepJob(const RunParameters& parameters, const Graph& graph,
                                    int32_t step, StepColors colors);

// A step's tests 1 .. count from `pool` (and `remote`), combined; nothing
// when `halted` stopped them first.
std::optional<ColorabilityOutcome> runStep(RunPool<ColorabilityOutcome>& pool,
                                           RemoteSlots<ColorabilityOutcome>* remote, int64_t count,
                                           const std::function<bool()>& halted);

}  // namespace tintara
