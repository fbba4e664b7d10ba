// Chromatic mode: bisect over the number of colours k in [0, vertexCount],
// asking adaptive splitting tests at each step whether k colours suffice.
//
// Each step makes independent tests (`workers` of them in one process, P x
// `workers` in an MPI job of P ranks; test j of step s on stream (s, j) of
// the seed), and k passes when any of them reaches a proper
// colouring. A pass is a proper colouring, so the result is never below the
// chromatic number; more tests make a false "no" at the true number rarer.
// Every test runs to its end, so the report for a seed and a number of
// tests a step is reproducible.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "cli/run_executor.h"
#include "cli/settings.h"

namespace tintara {

// Answers whether k colours suffice, setting `iterations` to the work done.
using ColorabilityTest = std::function<bool(int32_t k, double& iterations)>;
// Told the interval (lo, hi] and the k about to be tested.
using BisectionObserver = std::function<void(int32_t lo, int32_t hi, int32_t k)>;

// The bisection: lo = 0, hi = vertexCount; while lo < hi test mid =
// ceil((lo + hi) / 2); a pass sets hi = mid (and lo = hi when hi was mid),
// a failure sets lo = mid. Returns lo, the smallest passing k tested (or
// vertexCount). `steps` counts the tests and `iterationSum` adds up their
// iterations.
int32_t bisectColorCount(int32_t vertexCount, const ColorabilityTest& test, int32_t& steps,
                         double& iterationSum, const BisectionObserver& observer = {});

// Reads the instance, runs the search with the executor's tests, and
// reports the bisection steps, the mean iterations per test, the processor
// seconds of this process (reading the graph included) and the chromatic
// number found; `coloring` receives a proper colouring with that many
// colours. Returns the Graph it read. Throws InputError for an instance it
// cannot read, a graph with a self-loop, or runs that would not fit in
// memory.
Graph findChromaticNumber(const RunSettings& settings, const RunExecutor& executor, int32_t& steps,
                          double& meanIterations, double& cpuSeconds, int32_t& chromatic,
                          std::vector<int32_t>& coloring, const BisectionObserver& observer = {});

// Chromatic mode as the program runs it: the one-line report around the
// search. Returns the exit status, 0; an InputError leaves with the report
// line open, for the entry to finish it with the message.
int runChromatic(const RunSettings& settings, const RunExecutor& executor);

}  // namespace tintara
