// Counting mode as the program runs it: reads the instance, runs the
// experiment (splitting/counting_experiment.h) with the executor's runs,
// and prints the report: a header, the number of levels the pilot fixed,
// one line per fixed-level run in run order, then a summary; or, with
// --format json, the same as JSON objects (cli/json_report.h). The report
// for a seed is the same however the runs are made, CPU figures aside.
#pragma once

#include <functional>
#include <string>

#include "cli/progress_display.h"
#include "cli/settings.h"
#include "engine/counting_session.h"
#include "engine/run_executor.h"
#include "graph/graph.h"
#include "process/halt.h"
#include "process/run_memory.h"

namespace tintara {

// With --journal the runs are recorded as they are taken, and an existing
// journal of the same experiment is resumed: its runs are reported as if
// made again, and new runs follow them. --max-runs and --max-time, SIGINT
// and SIGTERM end the runs early: the summary of the runs taken is printed
// at once, with one line on standard error saying why.
//
// Runs counting mode; returns the exit status: 0 when the target was met;
// 1 when the pilot run stagnated without reaching a proper colouring (said
// on one line after the header); 3 when a budget ended the experiment; 130
// or 143 after SIGINT or SIGTERM. Throws InputError for an instance or a
// journal it cannot use and WriteError when the report, the journal or the
// saved colouring cannot be written.
int runCounting(const RunSettings& settings, const RunExecutor& executor, const Halt& halt);

// The progress display's event for the pilots' levels: "part 2 of 3: level
// -40 of the pilot run (from -90 up to 0)".
std::function<void(int32_t part, int32_t parts, double level)> pilotProgress(
    ProgressDisplay& progress);

// What the experiment holds besides the graph, for the memory check made
// before the graph is built (readRunGraph, or a caller that builds it
// itself). Counted by parts, the populations are checked later, once the
// plan knows the largest part split (countingPlan).
RunFootprint countingFootprint(const RunSettings& settings);

// The experiment runCounting runs on `graph` for these settings, with the
// memory checks of counting by parts, which throw InputError to refuse the
// run. The plan refers to `settings` and `graph`: both must outlive it.
// `note` is told, for standard error, that a journal made by an older plan
// of the parts goes on with that plan.
CountingPlan countingPlan(const RunSettings& settings, const Graph& graph,
                          const std::function<void(const std::string&)>& note);

}  // namespace tintara
