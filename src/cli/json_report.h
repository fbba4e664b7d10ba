// The report as JSON Lines (--format json): what standard output shows, one
// JSON object a line, each written whole and flushed as the text report's
// lines are. Standard error is told the same as with the text report.
//
// Every object but the error object has "type":
//
//   header     mode ("counting" or "chromatic"), seed (an integer up to
//              2^64 - 1), options (every option with a value, by its name:
//              "problem", "colors", "N", ..., "format"; the paths "" when not
//              given; workers as resolved)
//   levels     levels (how many the pilot or the journal fixed),
//              journalled_runs (runs the journal held, reported first)
//   run        run (1, 2, ...), estimate and average (numbers, below),
//              re, cpu (the run's processor seconds)
//   summary    runs, zero_runs (runs that gave 0), average and re (of the
//              list with the entry 0.0, as the text summary), cpu (the runs'
//              processor seconds), plain_mean and plain_re (over the run
//              estimates alone: plain_mean is (m+1)/m of average after m
//              runs), largest_share (the largest estimate over the runs' sum,
//              null while every estimate is 0), log_variance (the sample
//              variance of the natural logarithms of the estimates above 0,
//              null before two), heavy_tailed (whether standard error warns
//              that the estimates look heavy-tailed), decomposition
//              (counted by parts: blocks, exact_blocks, exact_factor,
//              means_multiplied, and parts, one object a hard part:
//              vertices, kernel_vertices (null for a part split whole),
//              weighted_edges, and with the means multiplied its own mean
//              and re, null otherwise; null without parts),
//              end, signal, during_pilot, stagnated_at, exit_status
//   chromatic  steps, mean_iterations (E(T)), cpu, chromatic (the number
//              found; an upper bound when the search was stopped), proved,
//              clique, end, signal, exit_status, step_list (one object a
//              completed step, in order: step, tests (each test's k and
//              passed, in test order), colors (the fewest colours known
//              after the step), cpu (the step's tests' processor seconds),
//              cpu_in_all (the run's processor seconds at the step's end,
//              reading the graph and the bounds included): the figures of
//              the lines on standard error)

// Every cpu is the milliseconds measured, as seconds (0.002), where the
// text report prints a single-precision figure.
//
// An estimate, an average or a plain mean may lie far below a double's
// range, so it is an object {"text", "mantissa", "exponent10"}: the value
// to 17 significant digits as text, and the same digits as mantissa *
// 10^exponent10 with 1 <= |mantissa| < 10 (0 is mantissa 0, exponent10 0).
// The mantissa is a double, the nearest to the text's digits; the text is
// exact. JSON has no NaN: an RE or E(T) that is not a number (every
// estimate 0, no test made) is null, and so are the average and the plain
// mean of no run.
//
// end is "target-met", "max-runs", "max-time", "signal",
// "pilot-stagnated" or "exact" in counting mode (exact: counted by parts
// with every block exact, so no run was made; the average and the plain
// mean are the probability itself and both REs 0); "finished", "max-time" or "signal" in
// chromatic mode. signal is "SIGINT" or "SIGTERM" when end is "signal",
// null otherwise. during_pilot is true when the experiment ended before the
// levels were fixed (a halt during the pilot run, or its stagnation: then no
// levels object comes before the summary); stagnated_at is the pilot's
// last level when it stagnated, null otherwise. clique is the size of the
// clique found with --bounds greedy (null with trivial), and proved whether
// the number found equals it. exit_status is the program's.
//
// A refusal or an error is the object {"error": MESSAGE} (the message the
// text report prints), the last line (after the header when it comes once
// the header is written); help and the version stay text.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/settings.h"
#include "engine/counting_session.h"
#include "process/halt.h"

namespace tintara {

void printJsonHeader(std::ostream& out, const RunSettings& settings);

void printJsonLevels(std::ostream& out, std::size_t levels, int64_t journalledRuns);

void printJsonRun(std::ostream& out, const RunRecord& record);

// The summary of `outcome`, however it ended (after no run too).
void printJsonSummary(std::ostream& out, const CountingOutcome& outcome, int exitStatus);

// One completed step of a chromatic search, as its line on standard error
// tells it.
struct StepFigures {
  int32_t step = 0;
  std::vector<TestAnswer> tests;
  int32_t colors = 0;
  int64_t cpuMilliseconds = 0;       // its tests'
  int64_t cpuInAllMilliseconds = 0;  // the run's so far
};

// Chromatic mode's figures, as its text line and standard error tell them.
struct ChromaticFigures {
  int32_t steps = 0;
  double meanIterations = 0.0;
  int64_t cpuMilliseconds = 0;
  int32_t chromatic = 0;
  HaltCause cause = HaltCause::None;  // what stopped the search, if anything
  std::optional<int32_t> clique;      // with --bounds greedy
  int exitStatus = 0;
  std::vector<StepFigures> stepList;
};

void printJsonChromatic(std::ostream& out, const ChromaticFigures& figures);

void printJsonError(std::ostream& out, const std::string& message);

}  // namespace tintara
