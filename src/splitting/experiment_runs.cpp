#include "splitting/experiment_runs.h"

#include <ctime>

#include "random/random_source.h"
#include "splitting/estimation.h"

namespace tintara {

namespace {

// Processor time of the calling thread, in whole milliseconds.
int64_t threadMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

std::optional<CountingRun> fixedLevelRun(const LevelList& levels, const Graph& graph, int32_t N,
                                         int32_t k, uint64_t seed, int64_t run,
                                         const std::function<bool()>& abandoned) {
  const int64_t start = threadMilliseconds();
  RandomSource random(StreamId{seed, static_cast<uint64_t>(run)});
  std::optional<WideDouble> estimate =
      estimateAtLevelsUnlessAbandoned(levels, graph, random, N, k, abandoned);
  if (!estimate) return std::nullopt;
  return CountingRun{std::move(*estimate), threadMilliseconds() - start};
}

uint64_t colorabilityStream(int32_t step, int32_t test) {
  return (static_cast<uint64_t>(step) << 32) | static_cast<uint32_t>(test);
}

ColorabilityOutcome colorabilityTest(const Graph& graph, int32_t N, double rho, int32_t k,
                                     uint64_t seed, int32_t step, int32_t test) {
  RandomSource random(StreamId{seed, colorabilityStream(step, test)});
  ColorabilityOutcome outcome;
  outcome.passed = isColorable(graph, random, N, rho, k, outcome.iterations, &outcome.coloring);
  return outcome;
}

ColorabilityOutcome combineTests(std::vector<ColorabilityOutcome>&& tests) {
  ColorabilityOutcome step;
  step.tests = 0;
  for (ColorabilityOutcome& test : tests) {
    step.iterations += test.iterations;
    step.tests += test.tests;
    if (test.passed && !step.passed) {
      step.passed = true;
      step.coloring = std::move(test.coloring);
    }
  }
  return step;
}

}  // namespace tintara
