// One fixed-level run (N = 1000, k = 4) on square grids, and the same run
// replayed phase by phase to see what the Gibbs moves cost against all the
// rest (sorting, selection, offspring counts, copies), and how much heap the
// run holds at its peak against the population's own size.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "splitting/adaptive_splitting.h"
#include "splitting/estimation.h"
#include "splitting/population.h"
#include "support/graphs.h"
#include "support/plain_runs.h"

// Heap accounting for the peak-memory figure: every operator new in this
// binary goes through here.
namespace {
std::size_t liveBytes = 0;
std::size_t peakBytes = 0;
}  // namespace

void* operator new(std::size_t size) {
  void* p = std::malloc(size);
  if (!p) throw std::bad_alloc();
  liveBytes += malloc_usable_size(p);
  peakBytes = std::max(peakBytes, liveBytes);
  return p;
}
void operator delete(void* p) noexcept {
  if (p) liveBytes -= malloc_usable_size(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  operator delete(p);
}

namespace {

using Clock = std::chrono::steady_clock;
using tintara::Graph;
using tintara::LevelList;
using tintara::RandomSource;

constexpr int32_t kN = 1000;
constexpr int32_t kColors = 4;

struct Fixture {
  Graph graph;
  LevelList levels;
};

Fixture makeFixture(int32_t side) {
  Fixture f{tintara::testing::gridGraph(side, side), {}};
  RandomSource random(side, 1000 + side);
  f.levels = tintara::testing::buildLevels(f.graph, random, kN, 0.2, kColors);
  return f;
}

void BM_EstimateAtLevels(benchmark::State& state) {
  const Fixture f = makeFixture(static_cast<int32_t>(state.range(0)));
  RandomSource random(1, 2);
  const std::size_t before = liveBytes;
  peakBytes = liveBytes;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tintara::testing::estimateAtLevels(f.levels, f.graph, random, kN, kColors));
  }
  const double n = f.graph.vertexCount;
  const double populationBytes = static_cast<double>(kN) * 2.0 * n * sizeof(int32_t);
  // Heap held by the run at its peak, over the population's own size.
  state.counters["peak_heap_vs_population"] =
      static_cast<double>(peakBytes - before) / populationBytes;
  state.counters["n"] = f.graph.vertexCount;
  state.counters["levels"] = static_cast<double>(f.levels.size());
}
BENCHMARK(BM_EstimateAtLevels)->DenseRange(5, 20, 5)->Unit(benchmark::kMillisecond);

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void BM_EstimatePhases(benchmark::State& state) {
  const Fixture f = makeFixture(static_cast<int32_t>(state.range(0)));
  RandomSource random(1, 2);
  double sortTime = 0, selectTime = 0, factorTime = 0, regenerateTime = 0, copyTime = 0;
  for (auto _ : state) {
    tintara::Population population;
    tintara::createPopulation(population, f.graph, random, kN, kColors);
    tintara::SampleList copies;
    std::vector<int32_t> factors;
    tintara::GibbsWorkspace workspace;
    for (std::size_t i = 1; i < f.levels.size(); ++i) {
      auto t0 = Clock::now();
      tintara::sortByScore(population);
      auto t1 = Clock::now();
      const std::size_t elites = tintara::selectElitesAtLevel(population, kN, f.levels[i]);
      auto t2 = Clock::now();
      if (elites == 0 || f.levels[i] >= 0) break;
      tintara::splittingFactors(elites, kN, random, factors);
      auto t3 = Clock::now();
      tintara::regenerate(population, elites, factors, f.levels[i], workspace);
      auto t4 = Clock::now();
      // The N - elites copies regenerate made, made again on their own.
      copies.clear();
      for (std::size_t c = elites; c < population.size(); ++c) copies.push(population[c]);
      auto t5 = Clock::now();
      sortTime += seconds(t1 - t0);
      selectTime += seconds(t2 - t1);
      factorTime += seconds(t3 - t2);
      regenerateTime += seconds(t4 - t3);
      copyTime += seconds(t5 - t4);
    }
  }
  const double moves = regenerateTime - copyTime;
  const double rest = sortTime + selectTime + factorTime + copyTime;
  state.counters["overhead_vs_moves"] = rest / moves;
  state.counters["sort_share"] = sortTime / moves;
  state.counters["copy_share"] = copyTime / moves;
}
BENCHMARK(BM_EstimatePhases)->DenseRange(5, 20, 5)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
