// A counting experiment of many cheap runs, the tally's worst case: fixed-
// level runs on a single edge (N = 10, two levels), each taken into the
// tally, which computes the average and RE after every run. The time per
// run (items_per_second) should not fall as the runs grow to 10^5: the
// tally is O(1) a run. For comparison, the tally on its own, fed the same
// estimates.
#include <benchmark/benchmark.h>

#include <vector>

#include "splitting/counting_experiment.h"
#include "splitting/experiment_runs.h"
#include "support/graphs.h"

namespace {

using tintara::CountingPart;
using tintara::CountingRun;
using tintara::CountingWork;
using tintara::EstimateTally;
using tintara::Graph;
using tintara::RunParameters;

struct Experiment {
  Graph edge = tintara::testing::makeGraph(2, {{0, 1}});
  RunParameters parameters{10, 0.2, 3, 7, 1};
  CountingWork work;
  Experiment() {
    work.parts.push_back(CountingPart{&edge, tintara::pilotRun(edge, parameters).levels});
  }
};

void BM_RunsIntoTheTally(benchmark::State& state) {
  const Experiment e;
  const int64_t runs = state.range(0);
  for (auto _ : state) {
    EstimateTally tally;
    for (int64_t run = 1; run <= runs; ++run) {
      benchmark::DoNotOptimize(
          tally.add(run, *tintara::fixedLevelRun(e.work, e.parameters, run, {})));
    }
    benchmark::DoNotOptimize(tally.relativeError());
  }
  state.SetItemsProcessed(state.iterations() * runs);
  state.SetComplexityN(runs);
}
BENCHMARK(BM_RunsIntoTheTally)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_TallyAlone(benchmark::State& state) {
  const Experiment e;
  const int64_t runs = state.range(0);
  std::vector<CountingRun> made;
  for (int64_t run = 1; run <= runs; ++run) {
    made.push_back(*tintara::fixedLevelRun(e.work, e.parameters, run, {}));
  }
  for (auto _ : state) {
    EstimateTally tally;
    for (int64_t run = 1; run <= runs; ++run) {
      benchmark::DoNotOptimize(tally.add(run, made[static_cast<std::size_t>(run - 1)]));
    }
  }
  state.SetItemsProcessed(state.iterations() * runs);
  state.SetComplexityN(runs);
}
BENCHMARK(BM_TallyAlone)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
