// Counting mode's experiment: a pilot run fixes the levels, then
// fixed-level runs 1, 2, ... (each on its own stream of the seed) are taken
// in run order until the relative error of their estimates reaches the
// target. What the runs give is reported through callbacks; nothing here
// prints.
//
// The estimates form a list that starts with one entry 0.0: a first
// estimate alone would otherwise give a relative error of 0 and end the
// experiment at once. The entry counts in the mean, in the relative error
// and in the number of entries like a real estimate.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "graph/graph.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/estimate_sums.h"
#include "splitting/experiment_runs.h"

namespace tintara {

// The pilot run of part `part`, from stream (0, part) of the seed: the
// levels (see adaptiveRun) and, when it reached one, a proper colouring.
// Part 0 is the whole graph's when it is not counted by parts.
struct PilotOutcome {
  LevelList levels;
  std::vector<int32_t> coloring;
  bool stopped = false;  // by `stop`, before it succeeded or stagnated
  bool reachedProperColoring() const { return !stopped && !levels.empty() && levels.back() >= 0; }
};

PilotOutcome pilotRun(const Graph& graph, const RunParameters& parameters, uint32_t part = 0,
                      const LevelObserver& observer = {}, const StopQuery& stop = {});

// The pilot of a part as it is split: on its graph, or on its kernel's
// states, whose colours the outcome's colouring then holds (the kernel's
// vertices', not yet completed to the block's).
PilotOutcome pilotRun(const CountingPart& part, const RunParameters& parameters, uint32_t partIndex,
                      const LevelObserver& observer = {}, const StopQuery& stop = {});

// One run as the report shows it: its estimate, then the mean and the
// relative error of the list with it, and its processor seconds (as the
// text report prints them) and milliseconds (as measured).
struct RunRecord {
  int64_t run = 0;
  WideDouble estimate;
  WideDouble mean;
  double relativeError = 0.0;
  double cpuSeconds = 0.0;
  int64_t cpuMilliseconds = 0;
};

// The estimates taken so far and the stop rule, in O(1) a run
// (splitting/estimate_sums.h), in one of two conventions:
//   - the list: the runs' estimates after an entry 0.0 (a first estimate
//     alone would otherwise give a relative error of 0 and end the
//     experiment at once); the average is their mean, m/(m+1) of the plain
//     mean after m runs, and the RE the list's;
//   - the parts' means (two hard parts or more, counted by parts): every
//     run is one run of each part, and the average is the exact factor times
//     the product of the parts' plain means, unbiased since the parts are
//     independent. Its RE is sqrt(prod_p (1 + RE_p^2) - 1), RE_p^2 part p's
//     sample variance (divisor m - 1) over m mean_p^2: it grows with the
//     parts' count linearly, where the product of each run's parts (the
//     list's) grows as prod_p (1 + r_p^2), r_p a part's per-run spread.
//     Before two runs there is no RE, and the target is not met.
class EstimateTally {
 public:
  // The list's convention.
  EstimateTally() = default;
  // The parts' means when `parts` >= 2, with the exact factor of the rest.
  EstimateTally(std::size_t parts, const WideDouble& exactFactor);

  // Appends run `run`'s result (runs come in order) and returns its record.
  // With the parts' means the result carries each part's estimate.
  RunRecord add(int64_t run, const CountingRun& result);
  // The stop rule: the relative error is at or below terr. While every
  // estimate is 0 the relative error is not a number, and the target is
  // not met: the pilot reached a proper colouring, so the probability is
  // not 0 and more runs will show it.
  bool targetMet(double terr) const { return latestError <= terr; }

  bool multipliesMeans() const { return !partSums.empty(); }
  WideDouble mean() const;
  double relativeError() const;
  double cpuSeconds() const { return totalCpu; }
  int64_t cpuMilliseconds() const { return totalMilliseconds; }
  // The mean and relative error of the runs' estimates alone (each run's
  // estimate, the product of its parts' with them): NaN before the first
  // run, and the relative error NaN while every estimate is 0.
  WideDouble plainMean() const { return sums.mean(); }
  double plainRelativeError() const { return sums.relativeError(); }
  int64_t runs() const { return sums.count(); }
  int64_t zeroRuns() const { return sums.zeros(); }
  // The share of the runs' sum that the largest estimate holds: NaN while
  // every estimate is 0.
  double largestShare() const { return shareOfLargest(sums); }
  // The sample variance of the logarithms of the estimates above 0, and
  // their number (EstimateSums::logVariance).
  double logVariance() const { return sums.logVariance(); }
  int64_t positiveRuns() const { return sums.positiveCount(); }
  // The runs' own estimates, and with the parts' means each part's.
  const EstimateSums& runSums() const { return sums; }
  const std::vector<EstimateSums>& parts() const { return partSums; }
  static double shareOfLargest(const EstimateSums& sums);

 private:
  EstimateSums sums;
  std::vector<EstimateSums> partSums;
  WideDouble exactFactor = 1;
  double latestError = std::numeric_limits<double>::quiet_NaN();  // no run yet
  double totalCpu = 0.0;  // the sum of the records' seconds, as printed
  int64_t totalMilliseconds = 0;
};

// Signs that the runs' estimates are heavy-tailed, so that their relative
// error, computed from the same runs, is itself uncertain: splitting a
// graph made of pieces (or one large block) gives a right tail in which
// most runs land far below the mean, a few far above it, and some at 0.
// Each sign is read from the runs alone:
//   - manyZeros: more than one run in kZeroRunsIn gave 0;
//   - largeShare: past kShareRuns runs, the largest estimate holds more than
//     kLargestShare of the runs' sum. With fewer runs one run's share says
//     little: of 10 runs, even equal estimates give each 10%.
//   - wideLogSpread: past kLogRuns runs above 0, the variance of the
//     estimates' natural logarithms is above kLogVariance. A product of many
//     level fractions is close to log-normal; at a log-variance of 0.5 one
//     run's relative spread is 0.8, and the relative error computed from 40
//     such runs is itself uncertain by a third (its square's standard error
//     is sqrt((kurtosis - 1) / m), kurtosis 21 there). Most such experiments
//     stop at a mean below the probability, the rare large runs unseen.
// The largest share is bounded by the RE itself (share <= RE + 1/m), so it
// speaks only for experiments stopped far from a tight target; the
// log-spread speaks at any RE. The limits were read off the accuracy
// study's runs and the tori (docs/accuracy.md, "Heavy tails"): none of those
// experiments, whose estimates are as well behaved as splitting gives, comes
// near them, while graphs of many pieces split whole pass them.
// With the parts' means, each part's runs are judged: the first part that
// shows a sign is named (`part`, from 0; -1 for the runs themselves), with
// its figures.
struct TailSigns {
  bool manyZeros = false;
  bool largeShare = false;
  bool wideLogSpread = false;
  bool any() const { return manyZeros || largeShare || wideLogSpread; }
  int32_t part = -1;
  int64_t runs = 0;
  int64_t zeroRuns = 0;
  double largestShare = 0.0;
  double logVariance = 0.0;
};
constexpr int64_t kZeroRunsIn = 10;
constexpr double kLargestShare = 0.25;
constexpr int64_t kShareRuns = 20;
constexpr double kLogVariance = 0.5;
constexpr int64_t kLogRuns = 20;
TailSigns tailSigns(const EstimateSums& sums);
TailSigns tailSigns(const EstimateTally& tally);

// Whether `recorded` runs, taken in order into `empty` (a tally of no run,
// in the experiment's convention), end the experiment by themselves: the
// target met or run `maxRuns` taken among them.
bool recordedRunsEnd(EstimateTally empty, const std::vector<CountingRun>& recorded, double terr,
                     int64_t maxRuns);

// Where fixed-level runs come from: makes runs first, first + 1, ... up to
// last and hands each to `consume` in run order until it returns false.
// Returns true when a halt (a stop signal, the time budget) ended them first.
using CountingRunSource =
    std::function<bool(int64_t first, int64_t last,
                       const std::function<bool(int64_t run, CountingRun&& result)>& consume)>;

enum class ExperimentEnd { TargetMet, RunBudget, Halted };

// Takes runs from `source` into `tally` until the target is met, run
// `maxRuns` has been taken, or a halt; `onRun` is told each run's record as
// it is taken.
ExperimentEnd runToTarget(EstimateTally& tally, double terr, int64_t maxRuns,
                          const CountingRunSource& source,
                          const std::function<void(const RunRecord&)>& onRun);

}  // namespace tintara
