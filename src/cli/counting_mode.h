// Counting mode: estimate the probability that a uniformly random k-colouring
// of the instance is proper, and print the report.
//
// A pilot run (stream 0 of the seed) fixes the levels; then fixed-level runs
// 1, 2, ... (each on its own stream) are made on `workers` threads until the
// relative error of the estimates, a list seeded with one entry 0.0, is at
// or below terr. Estimates are appended and lines printed in run order, so
// the report for a seed is the same for every number of threads (CPU
// figures aside). One table line per run, then a summary.
#pragma once

#include "cli/settings.h"

namespace tintara {

// Runs counting mode; returns the exit status (0, or 1 when the pilot run
// stagnated without reaching a proper colouring, which is said on one line
// after the header). Throws InputError for an instance it cannot use and
// WriteError when the report cannot be written.
int runCounting(const RunSettings& settings);

}  // namespace tintara
