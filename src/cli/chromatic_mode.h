// Chromatic mode as the program runs it: reads the instance, runs the
// search (splitting/chromatic_search.h) with the executor's tests, and
// prints the one-line report: the file, the bisection steps, the mean
// iterations per test, the processor seconds and the number found; or, with
// --format json, a header object and one object of the same figures
// (cli/json_report.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "cli/settings.h"
#include "engine/run_executor.h"
#include "graph/graph.h"
#include "process/halt.h"
#include "process/run_memory.h"
#include "splitting/chromatic_search.h"

namespace tintara {

// SIGINT, SIGTERM and --max-time end the search early: the line then
// reports the steps completed and the smallest number of colours reached,
// an upper bound, and one line on standard error says why.
//
// Returns the exit status: 0, or 130, 143 or 3 after a halt (see
// haltStatus). The report line's opening is written before the instance is
// read, so an InputError leaves with the line open, for the entry to finish
// it with the message (a JSON report's header is a whole line).
int runChromatic(const RunSettings& settings, const RunExecutor& executor, const Halt& halt);

// What the search holds besides the graph, for the memory check made before
// the graph is built (readRunGraph, or a caller that builds it itself).
RunFootprint chromaticFootprint(const RunSettings& settings, const RunExecutor& executor);

// A search's figures, with the start it was made from (the clique, with
// --bounds greedy).
struct ChromaticRun {
  SearchStart start;
  ChromaticOutcome search;
  HaltCause cause = HaltCause::None;  // what stopped the search early, if anything
  // This process's processor time since `cpuSince` (searchChromatic), and
  // that of the tests other processes made.
  int64_t cpuMilliseconds = 0;
  std::vector<StepFigures> steps;  // each step's tests, answers and CPU, in order
};

// Told each step's figures as the step ends.
using StepFiguresObserver = std::function<void(const StepFigures& step)>;

// Chromatic mode's search on `graph` as the program makes it (the start
// --bounds chooses, the descent the tabu move takes, the executor's tests),
// printing nothing: runChromatic reports what it returns, and an embedding
// (the Python module) returns the same figures for the same settings.
// `observer` is told each step's interval and k before its tests, and
// `stepDone` (if set) each step's figures after them; `cpuSince` is
// processorMilliseconds() when the work began.
ChromaticRun searchChromatic(const RunSettings& settings, const Graph& graph,
                             const RunExecutor& executor, const Halt& halt,
                             const BisectionObserver& observer, const StepFiguresObserver& stepDone,
                             int64_t cpuSince);

// The progress display's text before a step's tests: "k = 7 in 5..8:
// bisection step" (or "descent step" for the tabu walk's descent).
std::string stepProgressText(int32_t lo, int32_t hi, int32_t k, bool descending);

// The line standard error is told when a halt stopped the search: "stopped
// by --max-time after 3 bisection steps: 5 colors found so far, an upper
// bound".
std::string stoppedSearchLine(HaltCause cause, const ChromaticOutcome& search);

}  // namespace tintara
