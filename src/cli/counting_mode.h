// Counting mode as the program runs it: reads the instance, runs the
// experiment (splitting/counting_experiment.h) with the executor's runs,
// and prints the report: a header, the number of levels the pilot fixed,
// one line per fixed-level run in run order, then a summary. The report
// for a seed is the same however the runs are made, CPU figures aside.
#pragma once

#include "cli/settings.h"
#include "engine/run_executor.h"

namespace tintara {

// Runs counting mode; returns the exit status (0, or 1 when the pilot run
// stagnated without reaching a proper colouring, which is said on one line
// after the header). Throws InputError for an instance it cannot use and
// WriteError when the report (or the saved colouring) cannot be written.
int runCounting(const RunSettings& settings, const RunExecutor& executor);

}  // namespace tintara
