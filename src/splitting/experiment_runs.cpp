#include "splitting/experiment_runs.h"

#include <algorithm>
#include <stdexcept>

#include "coloring/proper_coloring.h"
#include "process/cpu_clock.h"
#include "random/random_source.h"
#include "splitting/estimation.h"
#include "splitting/kernel_splitting.h"

namespace tintara {

double CountingPart::startLevel() const {
  return kernel ? kernel->lowestScore() : -static_cast<double>(graph->vertexCount);
}

CountingWork countingWork(const PartsPlan& plan) {
  CountingWork work;
  work.exactFactor = plan.exactFactor;
  work.multiplyMeans = plan.multipliesMeans();
  for (const HardPart& hard : plan.hardParts) {
    work.parts.push_back(CountingPart{&hard.graph, {}, hard.byKernel() ? &hard.kernel : nullptr});
  }
  return work;
}

std::optional<CountingRun> fixedLevelRun(const CountingWork& work, const RunParameters& parameters,
                                         int64_t run, const std::function<bool()>& abandoned) {
  const int64_t start = threadMilliseconds();
  CountingRun result;
  WideDouble estimate = work.exactFactor;
  for (std::size_t p = 0; p < work.parts.size() && (work.multiplyMeans || estimate != 0); ++p) {
    const CountingPart& part = work.parts[p];
    RandomSource random(
        StreamId{parameters.seed, static_cast<uint64_t>(run), static_cast<uint32_t>(p)});
    std::optional<WideDouble> partEstimate =
        part.kernel ? kernelEstimateAtLevels(part.levels, *part.kernel, random, parameters.N,
                                             parameters.colors, abandoned)
                    : estimateAtLevelsUnlessAbandoned(part.levels, *part.graph, random,
                                                      parameters.N, parameters.colors, abandoned);
    if (!partEstimate) return std::nullopt;
    estimate *= *partEstimate;
    if (work.multiplyMeans) result.partEstimates.push_back(*partEstimate);
  }
  result.estimate = std::move(estimate);
  result.cpuMilliseconds = threadMilliseconds() - start;
  return result;
}

AdaptiveRun adaptiveRunOnStream(const Graph& graph, const RunParameters& parameters, int32_t k,
                                uint64_t stream, uint32_t part,
                                std::vector<int32_t>* properColoring, const LevelObserver& observer,
                                const StopQuery& stop, const ChainMove& move) {
  RandomSource random(StreamId{parameters.seed, stream, part});
  return adaptiveRun(graph, random, parameters.N, parameters.rho, k, properColoring, observer, stop,
                     move);
}

uint64_t colorabilityStream(int32_t step, int32_t test) {
  return (static_cast<uint64_t>(step) << 32) | static_cast<uint32_t>(test);
}

int32_t StepColors::forTest(int32_t test) const {
  if (!spread) return top;
  return std::max(top - test, lowest);
}

std::optional<ColorabilityOutcome> colorabilityTest(const Graph& graph,
                                                    const RunParameters& parameters, int32_t k,
                                                    int32_t step, int32_t test,
                                                    const std::function<bool()>& abandoned) {
  const int64_t start = threadMilliseconds();
  ColorabilityOutcome outcome;
  outcome.colors = k;
  const AdaptiveRun run = adaptiveRunOnStream(
      graph, parameters, k, colorabilityStream(step, test), 0, &outcome.coloring, {}, abandoned,
      testMove(parameters.move, parameters.crossover, parameters.N));
  if (run.stopped) return std::nullopt;
  // The walk's tables are incremental: a fault in them must never make an
  // answer below the chromatic number, so a pass is recounted first.
  if (run.reachedProperColoring && !isProperColoring(graph, outcome.coloring, k)) {
    throw std::logic_error("a colourability test passed with a colouring that is not proper");
  }
  outcome.passed = run.reachedProperColoring;
  if (!outcome.passed) outcome.failedBelow = k;
  outcome.iterations = static_cast<double>(run.iterations);
  outcome.cpuMilliseconds = threadMilliseconds() - start;
  return outcome;
}

ColorabilityOutcome combineTests(std::vector<ColorabilityOutcome>&& tests) {
  ColorabilityOutcome step;
  step.tests = 0;
  for (ColorabilityOutcome& test : tests) {
    step.answers.push_back(TestAnswer{test.colors, test.passed});
    step.iterations += test.iterations;
    step.tests += test.tests;
    step.cpuMilliseconds += test.cpuMilliseconds;
    step.elsewhereCpuMilliseconds += test.elsewhereCpuMilliseconds;
    if (test.passed && (!step.passed || test.colors < step.colors)) {
      step.passed = true;
      step.colors = test.colors;
      step.coloring = std::move(test.coloring);
    }
  }
  for (const ColorabilityOutcome& test : tests) {
    if (!test.passed && (!step.passed || test.colors < step.colors)) {
      step.failedBelow = std::max(step.failedBelow, test.colors);
    }
  }
  if (!step.passed) step.colors = step.failedBelow;
  return step;
}

}  // namespace tintara
