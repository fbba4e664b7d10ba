#include "splitting/counting_experiment.h"

#include <cmath>
#include <stdexcept>

#include "process/cpu_clock.h"
#include "random/random_source.h"
#include "splitting/kernel_splitting.h"

namespace tintara {

PilotOutcome pilotRun(const Graph& graph, const RunParameters& parameters, uint32_t part,
                      const LevelObserver& observer, const StopQuery& stop) {
  PilotOutcome pilot;
  AdaptiveRun run = adaptiveRunOnStream(graph, parameters, parameters.colors, kPilotStream, part,
                                        &pilot.coloring, observer, stop);
  pilot.levels = std::move(run.levels);
  pilot.stopped = run.stopped;
  return pilot;
}

PilotOutcome pilotRun(const CountingPart& part, const RunParameters& parameters, uint32_t partIndex,
                      const LevelObserver& observer, const StopQuery& stop) {
  if (!part.kernel) return pilotRun(*part.graph, parameters, partIndex, observer, stop);
  PilotOutcome pilot;
  RandomSource random(StreamId{parameters.seed, kPilotStream, partIndex});
  AdaptiveRun run = kernelAdaptiveRun(*part.kernel, random, parameters.N, parameters.rho,
                                      parameters.colors, &pilot.coloring, observer, stop);
  pilot.levels = std::move(run.levels);
  pilot.stopped = run.stopped;
  return pilot;
}

EstimateTally::EstimateTally(std::size_t parts, const WideDouble& exactFactor)
    : exactFactor(exactFactor) {
  if (parts >= 2) partSums.resize(parts);
}

RunRecord EstimateTally::add(int64_t run, const CountingRun& result) {
  sums.add(result.estimate);
  if (multipliesMeans()) {
    if (result.partEstimates.size() != partSums.size()) {
      throw std::logic_error(
          "a run of parts multiplied by their means needs every part's estimate");
    }
    for (std::size_t p = 0; p < partSums.size(); ++p) partSums[p].add(result.partEstimates[p]);
  }
  RunRecord record;
  record.run = run;
  record.estimate = result.estimate;
  record.mean = mean();
  record.relativeError = relativeError();
  record.cpuSeconds = tintara::cpuSeconds(result.cpuMilliseconds);
  record.cpuMilliseconds = result.cpuMilliseconds;
  latestError = record.relativeError;
  totalCpu += record.cpuSeconds;
  totalMilliseconds += result.cpuMilliseconds;
  return record;
}

WideDouble EstimateTally::mean() const {
  if (!multipliesMeans()) return sums.mean(1);
  WideDouble product = exactFactor;
  for (const EstimateSums& part : partSums) product *= part.mean();
  return product;
}

double EstimateTally::relativeError() const {
  if (!multipliesMeans()) return sums.relativeError(1);
  double product = 1.0;
  // NaN before two runs, and while a part's mean is 0.
  for (const EstimateSums& part : partSums) product *= 1.0 + part.relativeVarianceOfMean();
  return std::sqrt(product - 1.0);
}

double EstimateTally::shareOfLargest(const EstimateSums& sums) {
  if (sums.sum() == 0) return std::numeric_limits<double>::quiet_NaN();
  return toDouble(sums.largest() / sums.sum());
}

TailSigns tailSigns(const EstimateSums& sums) {
  TailSigns signs;
  signs.runs = sums.count();
  signs.zeroRuns = sums.zeros();
  signs.largestShare = EstimateTally::shareOfLargest(sums);
  signs.logVariance = sums.logVariance();
  signs.manyZeros = signs.zeroRuns * kZeroRunsIn > signs.runs;
  signs.largeShare = signs.runs > kShareRuns && signs.largestShare > kLargestShare;
  signs.wideLogSpread = sums.positiveCount() > kLogRuns && signs.logVariance > kLogVariance;
  return signs;
}

TailSigns tailSigns(const EstimateTally& tally) {
  for (std::size_t p = 0; p < tally.parts().size(); ++p) {
    TailSigns signs = tailSigns(tally.parts()[p]);
    if (signs.any()) {
      signs.part = static_cast<int32_t>(p);
      return signs;
    }
  }
  if (tally.multipliesMeans()) return {};
  return tailSigns(tally.runSums());
}

bool recordedRunsEnd(EstimateTally empty, const std::vector<CountingRun>& recorded, double terr,
                     int64_t maxRuns) {
  EstimateTally& tally = empty;
  for (const CountingRun& run : recorded) {
    if (tally.targetMet(terr) || tally.runs() >= maxRuns) return true;
    tally.add(tally.runs() + 1, run);
  }
  return tally.targetMet(terr) || tally.runs() >= maxRuns;
}

ExperimentEnd runToTarget(EstimateTally& tally, double terr, int64_t maxRuns,
                          const CountingRunSource& source,
                          const std::function<void(const RunRecord&)>& onRun) {
  bool halted = false;
  if (!tally.targetMet(terr) && tally.runs() < maxRuns) {
    halted = source(tally.runs() + 1, maxRuns, [&](int64_t run, CountingRun&& result) {
      onRun(tally.add(run, result));
      return !tally.targetMet(terr);
    });
  }
  if (tally.targetMet(terr)) return ExperimentEnd::TargetMet;
  return halted ? ExperimentEnd::Halted : ExperimentEnd::RunBudget;
}

}  // namespace tintara
