// One sweep of the kernel state's move (coloring/kernel_state.h) on the
// kernel that series and parallel reductions leave of a random graph of
// 1,000 vertices and average degree 2 at k = 3: about 200 vertices and 350
// edges, 140 of them with an activity bit. Beside it, the sweep as it was
// written before it read its coins ahead, for the ratio of the two in one
// run: both make the same draws and the same states.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "coloring/coloring_sample.h"
#include "coloring/kernel_state.h"
#include "exact/kernel_form.h"
#include "exact/series_parallel.h"
#include "support/graphs.h"

namespace {

using tintara::KernelGraph;
using tintara::KernelLink;
using tintara::KernelSample;
using tintara::RandomSource;

constexpr int32_t kColors = 3;

const KernelGraph& benchKernel() {
  static const KernelGraph kernel =
      tintara::kernelForm(
          tintara::reduceSeriesParallel(tintara::testing::randomGraph(1000, 1000, 7), kColors)
              .kernel)
          .graph;
  return kernel;
}

// The sweep before: the coin read at each position, the colours' counts in
// two tables cleared after each position, every colour tested in a loop,
// the slack divided out at each heads position.
struct PreviousWorkspace {
  std::vector<int32_t> unequalBad;
  std::vector<int32_t> equalGood;
};

bool linkActive(const KernelLink& link, const KernelSample& sample) {
  return link.bit < 0 || sample.active[static_cast<std::size_t>(link.bit)] != 0;
}

void previousKernelMove(KernelSample& sample, const KernelGraph& graph, int32_t k,
                        RandomSource& random, double level, PreviousWorkspace& workspace) {
  const int32_t n = graph.vertexCount;
  if (n > 0) random.shuffleOrder(sample.visitOrder.data(), sample.visitOrder.data() + n);
  if (workspace.unequalBad.size() < static_cast<std::size_t>(k)) {
    workspace.unequalBad.assign(static_cast<std::size_t>(k), 0);
    workspace.equalGood.assign(static_cast<std::size_t>(k), 0);
  }
  int32_t* unequalBad = workspace.unequalBad.data();
  int32_t* equalGood = workspace.equalGood.data();
  int32_t* colors = sample.colors.data();
  for (int32_t i = 0; i < n; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = sample.visitOrder[i];
    int32_t equalLinks = 0;
    for (const KernelLink& link : graph.linksOf(v)) {
      if (!linkActive(link, sample)) continue;
      if (link.equality) {
        ++equalLinks;
        ++equalGood[colors[link.neighbour]];
      } else {
        ++unequalBad[colors[link.neighbour]];
      }
    }
    const auto badWith = [&](int32_t c) { return unequalBad[c] + equalLinks - equalGood[c]; };
    const int32_t own = badWith(colors[v]);
    const double slack = std::floor((sample.score - level) / 2.0);
    const double limit = static_cast<double>(own) + slack;
    int32_t allowedCount = 0;
    for (int32_t c = 0; c < k; ++c) allowedCount += badWith(c) <= limit ? 1 : 0;
    if (allowedCount > 0) {
      int32_t index = tintara::scaledIndex(allowedCount, random.uniform01());
      for (int32_t c = 0; c < k; ++c) {
        if (badWith(c) > limit) continue;
        if (index-- == 0) {
          sample.score += 2.0 * static_cast<double>(own - badWith(c));
          colors[v] = c;
          break;
        }
      }
    }
    for (const KernelLink& link : graph.linksOf(v)) {
      unequalBad[colors[link.neighbour]] = 0;
      equalGood[colors[link.neighbour]] = 0;
    }
  }
  for (std::size_t b = 0; b < graph.bits.size(); ++b) {
    const tintara::KernelBit& bit = graph.bits[b];
    const double u = random.uniform01();
    const bool bad = bit.equality ? colors[bit.u] != colors[bit.v] : colors[bit.u] == colors[bit.v];
    uint8_t& active = sample.active[b];
    const double off = sample.score + (active && bad ? 2.0 : 0.0);
    const double on = off - (bad ? 2.0 : 0.0);
    if (off < level) continue;
    active = u < bit.activeProbability && on >= level ? 1 : 0;
    sample.score = active ? on : off;
  }
}

// Argument: the level, 0 the lowest score (every state allowed), 1 the
// sample's starting score (no move may take it lower).
template <class Sweep>
void runSweeps(benchmark::State& state, Sweep sweep) {
  const KernelGraph& kernel = benchKernel();
  RandomSource random(1, 2);
  KernelSample sample;
  tintara::randomKernelSample(sample, kernel, random, kColors);
  const double level = state.range(0) == 0 ? kernel.lowestScore() : sample.score;
  for (auto _ : state) {
    sweep(sample, random, level);
    benchmark::DoNotOptimize(std::as_const(sample.score));
  }
  state.counters["vertices"] = kernel.vertexCount;
  state.counters["bits"] = static_cast<double>(kernel.bits.size());
  state.SetLabel(state.range(0) == 0 ? "lowest level" : "at starting score");
}

void BM_KernelSweep(benchmark::State& state) {
  tintara::KernelWorkspace workspace;
  runSweeps(state, [&](KernelSample& sample, RandomSource& random, double level) {
    tintara::kernelGibbsMove(sample, benchKernel(), kColors, random, level, workspace);
  });
}
BENCHMARK(BM_KernelSweep)->Arg(0)->Arg(1);

void BM_KernelSweepPrevious(benchmark::State& state) {
  PreviousWorkspace workspace;
  runSweeps(state, [&](KernelSample& sample, RandomSource& random, double level) {
    previousKernelMove(sample, benchKernel(), kColors, random, level, workspace);
  });
}
BENCHMARK(BM_KernelSweepPrevious)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
