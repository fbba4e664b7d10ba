#include "splitting/experiment_runs.h"

#include "random/random_source.h"
#include "process/cpu_clock.h"
#include "splitting/estimation.h"

namespace tintara {

std::optional<CountingRun> fixedLevelRun(const CountingWork& work, const RunParameters& parameters,
                                         int64_t run, const std::function<bool()>& abandoned) {
  const int64_t start = threadMilliseconds();
  WideDouble estimate = work.exactFactor;
  for (std::size_t p = 0; p < work.parts.size() && estimate != 0; ++p) {
    const CountingPart& part = work.parts[p];
    RandomSource random(StreamId{parameters.seed, static_cast<uint64_t>(run),
                                 static_cast<uint32_t>(p)});
    std::optional<WideDouble> partEstimate = estimateAtLevelsUnlessAbandoned(
        part.levels, *part.graph, random, parameters.N, parameters.colors, abandoned);
    if (!partEstimate) return std::nullopt;
    estimate *= *partEstimate;
  }
  return CountingRun{std::move(estimate), threadMilliseconds() - start};
}

AdaptiveRun adaptiveRunOnStream(const Graph& graph, const RunParameters& parameters, int32_t k,
                                uint64_t stream, uint32_t part,
                                std::vector<int32_t>* properColoring,
                                const LevelObserver& observer, const StopQuery& stop,
                                const ChainMove& move) {
  RandomSource random(StreamId{parameters.seed, stream, part});
  return adaptiveRun(graph, random, parameters.N, parameters.rho, k, properColoring, observer,
                     stop, move);
}

uint64_t colorabilityStream(int32_t step, int32_t test) {
  return (static_cast<uint64_t>(step) << 32) | static_cast<uint32_t>(test);
}

std::optional<ColorabilityOutcome> colorabilityTest(const Graph& graph,
                                                    const RunParameters& parameters, int32_t k,
                                                    int32_t step, int32_t test,
                                                    const std::function<bool()>& abandoned) {
  const int64_t start = threadMilliseconds();
  ColorabilityOutcome outcome;
  const AdaptiveRun run =
      adaptiveRunOnStream(graph, parameters, k, colorabilityStream(step, test), 0,
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
