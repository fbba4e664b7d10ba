// Whole fixed-level runs (N = 1000, rho = 0.2, levels from a seeded pilot)
// against the raw cost of the random draws they make.
//
// After each run, with the clock paused, the benchmark counts the draws the
// run made by replaying the source's two streams in a twin (draw_cost.h) and
// times one draw of each stream in tight loops. A run's ratio is its CPU over
// (engine draws * engine ns + rand draws * rand ns): the cost of the run as a
// multiple of the random numbers it cannot avoid; ratio is the median over
// the runs. The grids give the growth of the per-run cost with n (run_ms
// against n).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <vector>

#include "draw_cost.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/estimation.h"
#include "support/graphs.h"
#include "support/plain_runs.h"

namespace {

using tintara::Graph;
using tintara::LevelList;
using tintara::RandomSource;

constexpr int32_t kN = 1000;
constexpr double kRho = 0.2;

struct Fixture {
  Graph graph;
  int32_t k = 0;
  LevelList levels;
};

// Argument: 8, 12 or 16 for a square grid with k = 4; 1000 for the random
// graph on 1,000 vertices with 5,000 edges (average degree 10) and k = 8.
// Built once per process: the random graph's pilot takes seconds.
const Fixture& fixture(int64_t which) {
  static std::map<int64_t, Fixture> cache;
  auto found = cache.find(which);
  if (found != cache.end()) return found->second;
  Fixture f;
  if (which == 1000) {
    f.graph = tintara::testing::randomGraph(1000, 5000, 7);
    f.k = 8;
  } else {
    const auto side = static_cast<int32_t>(which);
    f.graph = tintara::testing::gridGraph(side, side);
    f.k = 4;
  }
  RandomSource pilot(static_cast<uint32_t>(which), static_cast<uint32_t>(which) + 1000);
  f.levels = tintara::testing::buildLevels(f.graph, pilot, kN, kRho, f.k);
  return cache.emplace(which, std::move(f)).first->second;
}

void BM_RunVersusDraws(benchmark::State& state) {
  const Fixture& f = fixture(state.range(0));
  constexpr uint32_t kRandSeed = 5;
  constexpr uint32_t kEngineSeed = 6;
  RandomSource random(kRandSeed, kEngineSeed);
  tintara::bench::DrawCounter counter(kRandSeed, kEngineSeed);
  // Per run: its CPU, its draws, and the raw draw costs timed right after
  // it, so that a run and its yardstick see the same machine load.
  std::vector<double> ratios;
  std::vector<double> engineNs;
  std::vector<double> randNs;
  double cpu = 0.0;
  tintara::bench::DrawCounts total;
  for (auto _ : state) {
    const double t0 = tintara::bench::threadCpuSeconds();
    benchmark::DoNotOptimize(
        tintara::testing::estimateAtLevels(f.levels, f.graph, random, kN, f.k));
    const double runCpu = tintara::bench::threadCpuSeconds() - t0;
    state.PauseTiming();
    const auto counts = counter.count(random);
    const auto costs = tintara::bench::timeRawDraws();
    const double drawSeconds = 1e-9 * (static_cast<double>(counts.engine) * costs.engineNs +
                                       static_cast<double>(counts.rand) * costs.randNs);
    ratios.push_back(runCpu / drawSeconds);
    engineNs.push_back(costs.engineNs);
    randNs.push_back(costs.randNs);
    cpu += runCpu;
    total.engine += counts.engine;
    total.rand += counts.rand;
    state.ResumeTiming();
  }
  const auto runs = static_cast<double>(state.iterations());
  const auto median = [](std::vector<double>& values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
  };
  state.counters["n"] = f.graph.vertexCount;
  state.counters["levels"] = static_cast<double>(f.levels.size());
  state.counters["run_ms"] = 1e3 * cpu / runs;
  state.counters["engine_draws"] = static_cast<double>(total.engine) / runs;
  state.counters["rand_draws"] = static_cast<double>(total.rand) / runs;
  state.counters["engine_ns"] = median(engineNs);
  state.counters["rand_ns"] = median(randNs);
  state.counters["ratio"] = median(ratios);
}
BENCHMARK(BM_RunVersusDraws)
    ->Arg(8)
    ->Arg(12)
    ->Arg(16)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
