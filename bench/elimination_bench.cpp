// The exact value of a block by variable elimination: the time per unit of
// the plan's work (one (entry, colour) pair), which sets the default
// EliminationLimits, on grids, wheels and random graphs; and the same
// graphs by tables indexed by colour-equality patterns (EliminateByPatterns,
// a unit of work one (entry, class of the eliminated vertex) pair), beside
// the colour tables at k = 3, 4 and 10.
// Counters: n, k, width, work, largest table, peak MiB (tables alive at
// once, colouring bits included), ns_per_work, and whether the default
// limits take the graph (the benchmark itself runs without limits).
#include <benchmark/benchmark.h>

#include <set>
#include <string>

#include "exact/coloring_elimination.h"
#include "exact/partition_elimination.h"
#include "graph/simple_graph.h"
#include "support/graphs.h"

namespace {

using tintara::Graph;

void eliminate(benchmark::State& state, const Graph& input, int32_t k, bool withColoring) {
  const Graph g = tintara::simpleGraph(input);
  // Unlimited: the benchmark measures what the limits would have to refuse.
  const tintara::EliminationLimits unlimited{.maxTableEntries = uint64_t{1} << 26,
                                             .maxWork = uint64_t{1} << 40};
  const auto plan = tintara::planElimination(g, k, unlimited);
  if (!plan.feasible) {
    state.SkipWithError("refused");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(tintara::eliminate(g, k, plan, withColoring));
  }
  state.counters["n"] = g.vertexCount;
  state.counters["k"] = k;
  state.counters["width"] = plan.width;
  state.counters["work"] = static_cast<double>(plan.work);
  state.counters["largest"] = static_cast<double>(plan.largestTable);
  state.counters["peak_MiB"] = tintara::eliminationBytes(plan, withColoring) / (1 << 20);
  state.counters["default_limits_take_it"] = tintara::planElimination(g, k).feasible;
  state.counters["ns_per_work"] = benchmark::Counter(
      static_cast<double>(plan.work) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void eliminateByPatterns(benchmark::State& state, const Graph& input, int32_t k,
                         bool withColoring) {
  const tintara::WeightedGraph g = tintara::plainWeighted(tintara::simpleGraph(input));
  const tintara::EliminationLimits unlimited{.maxTableEntries = uint64_t{1} << 26,
                                             .maxWork = uint64_t{1} << 40};
  const auto plan = tintara::planPartitionElimination(g, k, unlimited);
  if (!plan.feasible) {
    state.SkipWithError("refused");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(tintara::eliminateByPartitions(g, k, plan, withColoring));
  }
  state.counters["n"] = g.vertexCount;
  state.counters["k"] = k;
  state.counters["width"] = plan.width;
  state.counters["work"] = static_cast<double>(plan.work);
  state.counters["largest"] = static_cast<double>(plan.largestTable);
  state.counters["peak_MiB"] = tintara::partitionEliminationBytes(plan, withColoring) / (1 << 20);
  state.counters["default_limits_take_it"] = tintara::planPartitionElimination(g, k).feasible;
  state.counters["ns_per_work"] = benchmark::Counter(
      static_cast<double>(plan.work) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void plan(benchmark::State& state, const Graph& input, int32_t k) {
  const Graph g = tintara::simpleGraph(input);
  bool feasible = false;
  for (auto _ : state) feasible = tintara::planElimination(g, k).feasible;
  state.counters["n"] = g.vertexCount;
  state.counters["feasible"] = feasible;
}

void registerAll() {
  using tintara::testing::gridGraph;
  using tintara::testing::randomGraph;
  struct Case {
    std::string name;
    Graph graph;
    std::vector<int32_t> ks;
  };
  const std::vector<Case> cases = {
      {"grid8x8", gridGraph(8, 8), {3, 4}},
      {"grid9x9", gridGraph(9, 9), {3}},
      {"grid10x10", gridGraph(10, 10), {3}},
      {"grid6x200", gridGraph(6, 200), {3, 4}},
      {"grid3x100000", gridGraph(3, 100'000), {3}},
      {"wheel1000", tintara::testing::wheelGraph(1000), {3, 4}},
      {"random60_100", randomGraph(60, 100, 1), {3, 4}},
      {"random80_120", randomGraph(80, 120, 2), {3, 4, 5}},
      {"random100_150", randomGraph(100, 150, 3), {3}},
  };
  std::set<std::string> colourDone;
  for (const auto& c : cases) {
    const auto g = std::make_shared<Graph>(c.graph);
    for (int32_t k : c.ks) {
      const std::string name = c.name + "/k" + std::to_string(k);
      colourDone.insert(name);
      benchmark::RegisterBenchmark(("Eliminate/" + name).c_str(), [g, k](auto& s) {
        eliminate(s, *g, k, false);
      })->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("EliminateWithColoring/" + name).c_str(), [g, k](auto& s) {
        eliminate(s, *g, k, true);
      })->Unit(benchmark::kMillisecond);
    }
  }
  // Tables of patterns against tables of colours on the same graphs.
  const std::vector<Case> versus = {
      {"grid6x6", gridGraph(6, 6), {3, 4, 10}},
      {"grid8x8", gridGraph(8, 8), {3, 4, 10}},
      {"wheel1000", tintara::testing::wheelGraph(1000), {3, 4, 10}},
      {"random60_100", randomGraph(60, 100, 1), {3, 4, 10}},
      {"random80_120", randomGraph(80, 120, 2), {3, 4, 10}},
      {"petersen", tintara::testing::petersenGraph(), {3, 4, 10}},
  };
  for (const auto& c : versus) {
    const auto g = std::make_shared<Graph>(c.graph);
    for (int32_t k : c.ks) {
      const std::string name = c.name + "/k" + std::to_string(k);
      if (colourDone.insert(name).second) {
        benchmark::RegisterBenchmark(("Eliminate/" + name).c_str(), [g, k](auto& s) {
          eliminate(s, *g, k, false);
        })->Unit(benchmark::kMillisecond);
      }
      benchmark::RegisterBenchmark(("EliminateByPatterns/" + name).c_str(), [g, k](auto& s) {
        eliminateByPatterns(s, *g, k, false);
      })->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("EliminateByPatternsWithColoring/" + name).c_str(),
                                   [g, k](auto& s) { eliminateByPatterns(s, *g, k, true); })
          ->Unit(benchmark::kMillisecond);
    }
  }
  // Planning a large block that the default limits refuse, and one they take.
  const auto hard = std::make_shared<Graph>(randomGraph(100'000, 150'000, 4));
  benchmark::RegisterBenchmark("PlanRefused/random100000_150000/k3", [hard](auto& s) {
    plan(s, *hard, 3);
  })->Unit(benchmark::kMillisecond);
  const auto long3 = std::make_shared<Graph>(gridGraph(3, 100'000));
  benchmark::RegisterBenchmark("Plan/grid3x100000/k3", [long3](auto& s) {
    plan(s, *long3, 3);
  })->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
