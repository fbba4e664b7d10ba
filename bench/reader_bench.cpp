// Reading instance files: a million edge lines, and one line of a million
// blanks (the tokenizer must stay linear).
#include <benchmark/benchmark.h>

#include <sstream>

#include "graph/graph_reader.h"

namespace {

void BM_ReadEdgeLines(benchmark::State& state) {
  const int64_t lines = state.range(0);
  std::string text = "p 100000\n";
  for (int64_t i = 0; i < lines; ++i) {
    text +=
        "e " + std::to_string(i % 100000) + " " + std::to_string((i * 7919 + 1) % 100000) + "\n";
  }
  for (auto _ : state) {
    std::istringstream in(text);
    auto result = tintara::parseGraph(in, "bench", UINT64_MAX);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_ReadEdgeLines)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

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
