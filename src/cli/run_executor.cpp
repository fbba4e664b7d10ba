#include "cli/run_executor.h"

#include <vector>

#include "splitting/parallel_runs.h"

namespace tintara {

RunExecutor threadExecutor() {
  RunExecutor executor;
  executor.countingRuns = [](const RunSettings& s, const Graph& graph, const LevelList& levels,
                             const RunConsumer& consume) {
    runInOrder<CountingRun>(
        s.workers,
        [&](int64_t run, const std::function<bool()>& abandoned) {
          return fixedLevelRun(levels, graph, s.N, s.colors, s.seed, run, abandoned);
        },
        consume);
  };
  executor.colorabilityStep = [](const RunSettings& s, const Graph& graph, int32_t step,
                                 int32_t k) {
    std::vector<ColorabilityOutcome> tests(static_cast<std::size_t>(s.workers));
    runTogether(s.workers, [&](int32_t j) {
      tests[static_cast<std::size_t>(j)] = colorabilityTest(graph, s.N, s.rho, k, s.seed, step, j);
    });
    return combineTests(std::move(tests));
  };
  return executor;
}

}  // namespace tintara
