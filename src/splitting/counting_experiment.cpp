#include "splitting/counting_experiment.h"

#include "process/cpu_clock.h"
#include "random/random_source.h"

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

RunRecord EstimateTally::add(int64_t run, const CountingRun& result) {
  sums.add(result.estimate);
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

double EstimateTally::largestShare() const {
  if (sums.sum() == 0) return std::numeric_limits<double>::quiet_NaN();
  return toDouble(sums.largest() / sums.sum());
}

TailSigns tailSigns(const EstimateTally& tally) {
  TailSigns signs;
  signs.manyZeros = tally.zeroRuns() * kZeroRunsIn > tally.runs();
  signs.largeShare = tally.runs() > kShareRuns && tally.largestShare() > kLargestShare;
  signs.wideLogSpread = tally.positiveRuns() > kLogRuns && tally.logVariance() > kLogVariance;
  return signs;
}

bool recordedRunsEnd(const std::vector<CountingRun>& recorded, double terr, int64_t maxRuns) {
  EstimateTally tally;
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
