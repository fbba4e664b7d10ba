#include "engine/run_executor.h"

#include <utility>
#include <vector>

namespace tintara {

RunJob<CountingRun> countingJob(const RunParameters& parameters, const CountingWork& work) {
  return [&parameters, &work](int64_t run, const AbandonQuery& abandoned) {
    return fixedLevelRun(work, parameters, run, abandoned);
  };
}

RunJob<ColorabilityOutcome> stepJob(const RunParameters& parameters, const Graph& graph,
                                    int32_t step, StepColors colors) {
  // Every test of a step counts in the answer, so a test is abandoned only
  // when the whole step is: after a halt, or another test's failure.
  return [&parameters, &graph, step, colors](int64_t index, const AbandonQuery& abandoned) {
    const auto test = static_cast<int32_t>(index - 1);
    return colorabilityTest(graph, parameters, colors.forTest(test), step, test, abandoned);
  };
}

std::optional<ColorabilityOutcome> runStep(RunPool<ColorabilityOutcome>& pool,
                                           RemoteSlots<ColorabilityOutcome>* remote, int64_t count,
                                           const std::function<bool()>& halted) {
  std::vector<ColorabilityOutcome> tests;
  tests.reserve(static_cast<std::size_t>(count));
  const RunBatchEnd end = runBatch<ColorabilityOutcome>(
      pool, remote, RunRange{1, count},
      [&](int64_t, ColorabilityOutcome&& outcome) {
        tests.push_back(std::move(outcome));
        return true;
      },
      BatchControl{halted, {}, {}});
  if (!end.exhausted) return std::nullopt;
  return combineTests(std::move(tests));
}

RunExecutor threadExecutor() {
  RunExecutor executor;
  executor.countingRuns = [](const RunParameters& parameters, const CountingWork& work,
                             RunRange range, const RunConsumer<CountingRun>& consume,
                             const BatchControl& control) {
    RunPool<CountingRun> pool(parameters.workers, countingJob(parameters, work));
    return runBatch<CountingRun>(pool, nullptr, range, consume, control);
  };
  executor.colorabilityStep = [](const RunParameters& parameters, const Graph& graph, int32_t step,
                                 const StepColors& colors, const std::function<bool()>& halted) {
    RunPool<ColorabilityOutcome> pool(parameters.workers, stepJob(parameters, graph, step, colors));
    return runStep(pool, nullptr, pool.size(), halted);
  };
  return executor;
}

}  // namespace tintara
