// Reading instance files: a million edge lines, with a p line and with the
// vertices counted from the distinct ids, and one line of a million blanks.
#include <benchmark/benchmark.h>

#include <sstream>

#include "graph/graph_reader.h"

namespace {

std::string edgeLines(int64_t lines, const std::string& head) {
  std::string text = head;
  for (int64_t i = 0; i < lines; ++i) {
    text +=
        "e " + std::to_string(i % 100000) + " " + std::to_string((i * 7919 + 1) % 100000) + "\n";
  }
  return text;
}

void readEdgeLines(benchmark::State& state, const std::string& head) {
  const int64_t lines = state.range(0);
  const std::string text = edgeLines(lines, head);
  for (auto _ : state) {
    std::istringstream in(text);
    auto result = tintara::parseGraph(in, "bench", UINT64_MAX);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * lines);
}

void BM_ReadEdgeLines(benchmark::State& state) {
  readEdgeLines(state, "p 100000\n");
}
BENCHMARK(BM_ReadEdgeLines)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_ReadEdgeLinesCountingIds(benchmark::State& state) {
  readEdgeLines(state, "");
}
BENCHMARK(BM_ReadEdgeLinesCountingIds)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_ReadLineOfBlanks(benchmark::State& state) {
  std::string text(static_cast<std::size_t>(state.range(0)) + 2, ' ');
  text.front() = 'c';
  text.back() = '\n';
  for (auto _ : state) {
    std::istringstream in(text);
    auto result = tintara::parseGraph(in, "bench", UINT64_MAX);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_ReadLineOfBlanks)->Arg(1'000'000)->Arg(4'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
