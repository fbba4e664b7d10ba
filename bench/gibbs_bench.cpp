// One Gibbs sweep against the raw cost of the random draws it makes: a
// shuffle of the visiting order plus one coin per position and one choice
// per treated position (about half of them).
#include <benchmark/benchmark.h>

#include <limits>
#include <numeric>
#include <utility>

#include "coloring/gibbs_move.h"
#include "draw_cost.h"
#include "support/graphs.h"

// DoNotOptimize is only ever given values or const references here: its
// form for a modifiable double lets GCC 12 hand back a clobbered value (the
// sample's score came back as garbage, and the sweeps ran at another level).

namespace {

using tintara::ColoringSample;
using tintara::Graph;
using tintara::RandomSource;

Graph benchGraph(int which) {
  return which == 0 ? tintara::testing::gridGraph(30, 30)
                    : tintara::testing::randomGraph(1000, 5000, 7);
}

const char* graphName(int which) {
  return which == 0 ? "grid30x30" : "random1000deg10";
}

// Arguments: graph (0 grid, 1 random), level (0: every colour allowed,
// 1: the sample's starting score, so moves may not lower it).
void BM_GibbsSweep(benchmark::State& state) {
  const Graph graph = benchGraph(static_cast<int>(state.range(0)));
  RandomSource random(1, 2);
  ColoringSample sample(graph, random, 4);
  const double level =
      state.range(1) == 0 ? -std::numeric_limits<double>::infinity() : sample.score;
  tintara::GibbsWorkspace workspace;
  for (auto _ : state) {
    tintara::gibbsMove(sample, level, workspace);
    benchmark::DoNotOptimize(std::as_const(sample.score));
  }
  state.SetLabel(std::string(graphName(static_cast<int>(state.range(0)))) +
                 (state.range(1) == 0 ? " all colours" : " at starting score"));
}
BENCHMARK(BM_GibbsSweep)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1});

// The sweep's cost per vertex on random graphs of average degree 10 with
// k = 8, at the sample's starting score, for n = 1,000 and 100,000: the
// larger graph's data no longer fits the nearer caches, the smaller one's
// does. ns_per_vertex is CPU time per position.
void BM_SweepPerVertex(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  const Graph graph = tintara::testing::randomGraph(n, 5 * n, 7);
  RandomSource random(1, 2);
  ColoringSample sample(graph, random, 8);
  const double level = sample.score;
  tintara::GibbsWorkspace workspace;
  const double t0 = tintara::bench::threadCpuSeconds();
  for (auto _ : state) {
    tintara::gibbsMove(sample, level, workspace);
    benchmark::DoNotOptimize(std::as_const(sample.score));
  }
  const double cpu = tintara::bench::threadCpuSeconds() - t0;
  state.counters["ns_per_vertex"] = 1e9 * cpu / (static_cast<double>(state.iterations()) * n);
}
BENCHMARK(BM_SweepPerVertex)->Arg(1000)->Arg(100'000);

void BM_SweepDraws(benchmark::State& state) {
  const Graph graph = benchGraph(static_cast<int>(state.range(0)));
  const auto n = static_cast<std::size_t>(graph.vertexCount);
  RandomSource random(1, 2);
  std::vector<int32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  for (auto _ : state) {
    random.shuffleOrder(order.data(), order.data() + n);
    double sum = 0.0;
    for (std::size_t i = 0; i < n + n / 2; ++i) sum += random.uniform01();
    benchmark::DoNotOptimize(std::as_const(sum));
  }
  state.SetLabel(graphName(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_SweepDraws)->Arg(0)->Arg(1);

void BM_Uniform01(benchmark::State& state) {
  RandomSource random(1, 2);
  for (auto _ : state) benchmark::DoNotOptimize(random.uniform01());
}
BENCHMARK(BM_Uniform01);

void BM_RandDraw(benchmark::State& state) {
  RandomSource random(1, 2);
  for (auto _ : state) benchmark::DoNotOptimize(random.randDraw());
}
BENCHMARK(BM_RandDraw);

void BM_LibcRand(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std::rand());
}
BENCHMARK(BM_LibcRand);

}  // namespace

BENCHMARK_MAIN();
