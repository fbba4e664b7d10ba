// Chromatic mode: bisect over the number of colours k in [0, vertexCount],
// asking an adaptive splitting test at each step whether k colours suffice.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tintara {

// Answers whether k colours suffice, setting `iterations` to the work done.
using ColorabilityTest = std::function<bool(int32_t k, double& iterations)>;

// The bisection: lo = 0, hi = vertexCount; while lo < hi test mid =
// ceil((lo + hi) / 2); a pass sets hi = mid (and lo = hi when hi was mid),
// a failure sets lo = mid. Returns lo, the smallest passing k tested (or
// vertexCount). `steps` counts the tests and `iterationSum` adds up their
// iterations.
int32_t bisectColorCount(int32_t vertexCount, const ColorabilityTest& test, int32_t& steps,
                         double& iterationSum);

// Reads the instance, runs the search with the colourability test, and
// reports the bisection steps, the mean iterations per test, the processor
// seconds (reading the graph included) and the chromatic number found.
// Throws InputError for an instance it cannot read or runs that would not
// fit in memory.
void findChromaticNumber(const std::string& problem, int32_t N, double rho, int32_t& steps,
                         double& meanIterations, double& cpuSeconds, int32_t& chromatic);

// Chromatic mode as the program runs it: the one-line report around the
// search. Returns the exit status, 0; an InputError leaves with the report
// line open, for the entry to finish it with the message.
int runChromatic(const std::string& problem, int32_t N, double rho);

}  // namespace tintara
