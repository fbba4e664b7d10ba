#include "splitting/counting_experiment.h"

#include "random/random_source.h"
#include "splitting/cpu_clock.h"

namespace tintara {

PilotOutcome pilotRun(const Graph& graph, const RunParameters& parameters,
                      const LevelObserver& observer) {
  PilotOutcome pilot;
  RandomSource random(StreamId{parameters.seed, kPilotStream});
  pilot.levels = buildLevels(graph, random, parameters.N, parameters.rho, parameters.colors,
                             &pilot.coloring, observer);
  return pilot;
}

RunRecord EstimateTally::add(int64_t run, const CountingRun& result) {
  estimates.push_back(result.estimate);
  if (result.estimate == 0) ++zeros;
  RunRecord record;
  record.run = run;
  record.estimate = result.estimate;
  record.mean = meanOf(estimates);
  record.relativeError = tintara::relativeError(estimates);
  record.cpuSeconds = tintara::cpuSeconds(result.cpuMilliseconds);
  latestError = record.relativeError;
  totalCpu += record.cpuSeconds;
  return record;
}

void runToTarget(EstimateTally& tally, double terr, const CountingRunSource& source,
                 const std::function<void(const RunRecord&)>& onRun) {
  if (tally.targetMet(terr)) return;
  source(tally.runs() + 1, [&](int64_t run, CountingRun&& result) {
    onRun(tally.add(run, result));
    return !tally.targetMet(terr);
  });
}

}  // namespace tintara
