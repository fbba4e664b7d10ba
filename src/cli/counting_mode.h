// Counting mode: estimate the probability that a uniformly random k-colouring
// of the instance is proper, and print the report.
//
// A pilot run fixes the levels; then fixed-level runs repeat until the
// relative error of the estimates, a list seeded with one entry 0.0, is at
// or below terr. One table line per run, then a summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tintara {

// Runs counting mode; returns the exit status (0, or 1 when the run would
// not fit in memory or the pilot run stagnated without reaching a proper
// colouring; either is said on one line after the header).
int runCounting(const std::string& problem, int32_t N, double rho, double terr, int32_t k);

// Population standard deviation over |mean| * sqrt(n); NaN for an empty list
// or a zero mean.
double relativeError(const std::vector<double>& values);

}  // namespace tintara
