// Counting mode's report: what standard output shows (a header, the number
// of levels the pilot fixed, one line per fixed-level run in run order, then
// a summary), what standard error is told beside it, and the texts of the
// progress display. Every write to standard output is checked
// (ensureWritten).
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/settings.h"
#include "engine/counting_session.h"

namespace tintara {

// The opening lines, written before the instance is read.
void printCountingHeader(std::ostream& out, const RunSettings& settings);

// "# LEVELS = L" between star lines.
void printLevelCount(std::ostream& out, std::size_t levels);

// One run's line: its number, estimate, the average and RE of the list with
// it, and its processor seconds.
void printRun(std::ostream& out, const RunRecord& record);

// The summary: the average, RE and processor seconds of the runs taken.
void printSummary(std::ostream& out, const EstimateTally& tally);

// The summary of an experiment counted exactly, every block having an
// exact value: the probability, RE 0 and the processor seconds the
// decomposition took.
void printExactSummary(std::ostream& out, const WideDouble& probability, int64_t milliseconds);

// The line that ends a report whose pilot run stagnated at `level`.
void printPilotStagnated(std::ostream& out, double level, int32_t colors);

// What standard error is told once the runs end: why they stopped short of
// the target (nothing when it was met); after any run, the plain mean of
// the runs and its relative error (the average printed counts an entry 0.0
// before the first run); and a warning when the estimates look heavy-tailed
// (tailSigns: many runs at 0, or one run holding a large share of the sum).
void tellConclusion(std::ostream& err, const CountingOutcome& outcome, double terr);

// Those lines, without line ends, each empty when it is not told: for a
// caller that routes them elsewhere (the Python module's warnings).
struct ConclusionLines {
  std::string stopped;    // why the runs stopped short of the target
  std::string plainMean;  // the plain mean and its relative error
  // Each part whose every run gave 0, with the parts' means multiplied.
  std::vector<std::string> zeroParts;
  std::string skewed;  // the warning that the estimates look heavy-tailed
};
ConclusionLines conclusionLines(const CountingOutcome& outcome, double terr);

// The progress display's text while a pilot run climbs: which part, when
// there are several, then the level reached: "part 2 of 3: level -41 of the
// pilot run (from -180 up to 0)".
std::string pilotProgressText(int32_t part, int32_t parts, double level, double lowest);

// The progress display's text while runs are taken: "RE 0.19 after 132 runs
// (target 0.03): about 5100 more runs, 2 h 13 min". The runs still needed
// assume the spread of the estimates stays as it is (the relative error
// falls as one over the square root of the list's length); the time is at
// the pace of this invocation's `runsMadeHere` runs over `elapsed`. Beyond
// 10^12 runs only "more than 10^12 runs" is said.
std::string runsProgressText(const RunRecord& record, const EstimateTally& tally, double terr,
                             int64_t runsMadeHere, std::chrono::steady_clock::duration elapsed);

}  // namespace tintara
