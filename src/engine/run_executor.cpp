#include "engine/run_executor.h"

#include <utility>
#include <vector>

namespace tintara {

RunJob<CountingRun> countingJob(const RunParameters& parameters, const Graph& graph,
                                const LevelList& levels) {
  return [&parameters, &graph, &levels](int64_t run, const AbandonQuery& abandoned) {
    return fixedLevelRun(levels, graph, parameters, run, abandoned);
  };
}

RunJob<ColorabilityOutcome> stepJob(const RunParameters& parameters, const Graph& graph,
                                    int32_t step, int32_t k) {
  // A test runs to its end: every test of a step counts in the answer.
  return [&parameters, &graph, step, k](int64_t index,
                                        const AbandonQuery&) -> std::optional<ColorabilityOutcome> {
    return colorabilityTest(graph, parameters, k, step, static_cast<int32_t>(index - 1));
  };
}

ColorabilityOutcome runStep(RunPool<ColorabilityOutcome>& pool,
                            RemoteSlots<ColorabilityOutcome>* remote, int64_t count) {
  std::vector<ColorabilityOutcome> tests;
  tests.reserve(static_cast<std::size_t>(count));
  runBatch<ColorabilityOutcome>(pool, remote, RunRange{1, count},
                                [&](int64_t, ColorabilityOutcome&& outcome) {
                                  tests.push_back(std::move(outcome));
                                  return true;
                                });
  return combineTests(std::move(tests));
}

RunExecutor threadExecutor() {
  RunExecutor executor;
  executor.countingRuns = [](const RunParameters& parameters, const Graph& graph,
                             const LevelList& levels, RunRange range,
                             const RunConsumer<CountingRun>& consume) {
    RunPool<CountingRun> pool(parameters.workers, countingJob(parameters, graph, levels));
    return runBatch<CountingRun>(pool, nullptr, range, consume);
  };
  executor.colorabilityStep = [](const RunParameters& parameters, const Graph& graph, int32_t step,
                                 int32_t k) {
    RunPool<ColorabilityOutcome> pool(parameters.workers, stepJob(parameters, graph, step, k));
    return runStep(pool, nullptr, pool.size());
  };
  return executor;
}

}  // namespace tintara
