// Chromatic mode's search: bisect over the number of colours k, asking at
// each step whether k colours suffice.
//
// Each step makes independent tests (an executor decides how many: its
// threads, or every thread of every rank of an MPI job; test j of step s on
// stream (s, j) of the seed), and k passes when any of them reaches a proper
// colouring. A pass is a proper colouring, so the result is never below the
// chromatic number; more tests make a false "no" at the true number rarer.
// Every test runs to its end, so the search for a seed and a number of
// tests a step is reproducible. Nothing here prints.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "graph/graph.h"
#include "splitting/experiment_runs.h"

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

// Makes the tests of bisection step `step` (from 1) at k colours and
// combines their outcomes in test order.
using ColorabilityStep = std::function<ColorabilityOutcome(int32_t step, int32_t k)>;

struct ChromaticOutcome {
  int32_t steps = 0;
  double meanIterations = 0.0;    // over every test made: NaN when none was
  int32_t chromatic = 0;          // the smallest k found to suffice
  std::vector<int32_t> coloring;  // a proper colouring with `chromatic` colours
  // Processor time of the tests the executor made in other processes.
  int64_t elsewhereCpuMilliseconds = 0;
};

// The bisection over [0, vertexCount] with the tests of `step`. Until a
// test passes, the colouring that gives every vertex its own colour stands
// for the vertex count, the answer when none does.
ChromaticOutcome chromaticSearch(const Graph& graph, const ColorabilityStep& step,
                                 const BisectionObserver& observer = {});

}  // namespace tintara
