// Chromatic mode as the program runs it: reads the instance, runs the
// search (splitting/chromatic_search.h) with the executor's tests, and
// prints the one-line report: the file, the bisection steps, the mean
// iterations per test, the processor seconds and the number found; or, with
// --format json, a header object and one object of the same figures
// (cli/json_report.h).
#pragma once

#include "cli/settings.h"
#include "engine/run_executor.h"
#include "process/halt.h"

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

}  // namespace tintara
