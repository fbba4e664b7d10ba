#include "splitting/experiment_runs.h"

#include "random/random_source.h"
#include "splitting/cpu_clock.h"
#include "splitting/estimation.h"

namespace tintara {

std::optional<CountingRun> fixedLevelRun(const LevelList& levels, const Graph& graph,
                                         const RunParameters& parameters, int64_t run,
                                         const std::function<bool()>& abandoned) {
  const int64_t start = threadMilliseconds();
  RandomSource random(StreamId{parameters.seed, static_cast<uint64_t>(run)});
  std::optional<WideDouble> estimate = estimateAtLevelsUnlessAbandoned(
      levels, graph, random, parameters.N, parameters.colors, abandoned);
  if (!estimate) return std::nullopt;
  return CountingRun{std::move(*estimate), threadMilliseconds() - start};
}

uint64_t colorabilityStream(int32_t step, int32_t test) {
  return (static_cast<uint64_t>(step) << 32) | static_cast<uint32_t>(test);
}

std::optional<ColorabilityOutcome> colorabilityTest(const Graph& graph,
                                                    const RunParameters& parameters, int32_t k,
                                                    int32_t step, int32_t test,
                                                    const std::function<bool()>& abandoned) {
  const int64_t start = threadMilliseconds();
  RandomSource random(StreamId{parameters.seed, colorabilityStream(step, test)});
  ColorabilityOutcome outcome;
  const AdaptiveRun run = adaptiveRun(graph, random, parameters.N, parameters.rho, k,
                                      &outcome.coloring, {}, abandoned, ChainMove{parameters.move});
  if (run.stopped) return std::nullopt;
  outcome.passed = run.reachedProperColoring;
  outcome.iterations = static_cast<double>(run.iterations);
  outcome.cpuMilliseconds = threadMilliseconds() - start;
  return outcome;
}

ColorabilityOutcome combineTests(std::vector<ColorabilityOutcome>&& tests) {
  ColorabilityOutcome step;
  step.tests = 0;
  for (ColorabilityOutcome& test : tests) {
    step.iterations += test.iterations;
    step.tests += test.tests;
    step.cpuMilliseconds += test.cpuMilliseconds;
    step.elsewhereCpuMilliseconds += test.elsewhereCpuMilliseconds;
    if (test.passed && !step.passed) {
      step.passed = true;
      step.coloring = std::move(test.coloring);
    }
  }
  return step;
}

}  // namespace tintara
