// The colouring bounds on the DIMACS benchmarks in examples/dimacs: the
// greedy clique alone, the clique with its branch and bound, and DSATUR.
// Counters: n, m (distinct edges), the bound found and best_known, the
// chromatic number from best-known.tsv.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "coloring/clique.h"
#include "coloring/dsatur.h"
#include "graph/graph_reader.h"
#include "graph/simple_graph.h"

namespace {

const std::string kDir = TINTARA_SOURCE_DIR "/examples/dimacs/";

void setCounters(benchmark::State& state, const tintara::Graph& g, int32_t bound, int32_t best) {
  state.counters["n"] = g.vertexCount;
  state.counters["m"] = tintara::simpleGraph(g).edgeCount;
  state.counters["bound"] = bound;
  state.counters["best_known"] = best;
}

void clique(benchmark::State& state, const tintara::Graph& g, tintara::CliqueBudget budget,
            int32_t best) {
  std::size_t size = 0;
  for (auto _ : state) size = tintara::largeClique(g, budget).size();
  setCounters(state, g, static_cast<int32_t>(size), best);
}

void dsatur(benchmark::State& state, const tintara::Graph& g, int32_t best) {
  int32_t colors = 0;
  for (auto _ : state) {
    const auto coloring = tintara::dsaturColoring(g);
    colors = *std::max_element(coloring.begin(), coloring.end()) + 1;
  }
  setCounters(state, g, colors, best);
}

// One benchmark of each kind per line of best-known.tsv, in its order.
void registerAll() {
  std::ifstream table(kDir + "best-known.tsv");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string file;
    int32_t n = 0, edges = 0, best = 0;
    fields >> file >> n >> edges >> best;
    const auto g = std::make_shared<tintara::Graph>(tintara::readGraph(kDir + file, UINT64_MAX));
    const std::string name = file.substr(0, file.size() - 4);
    benchmark::RegisterBenchmark(("GreedyClique/" + name).c_str(), [g, best](auto& s) {
      clique(s, *g, {.searchWork = 0}, best);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("SearchedClique/" + name).c_str(), [g, best](auto& s) {
      clique(s, *g, {}, best);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Dsatur/" + name).c_str(), [g, best](auto& s) {
      dsatur(s, *g, best);
    })->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  registerAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
