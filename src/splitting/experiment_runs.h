// The units of work of the two modes, each fixed by the seed and its own
// index, whichever thread or process makes it: a fixed-level run of counting
// mode, and a colourability test of chromatic mode.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "graph/graph.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/wide_double.h"

namespace tintara {

// What every run of an experiment shares, whichever thread or rank makes
// it: the population size, the rarity parameter of adaptive runs, the
// colours of counting mode, the seed, the threads each process uses, and
// the move of chromatic mode's tests (counting mode always uses Gibbs).
struct RunParameters {
  int32_t N = 0;
  double rho = 0.0;
  int32_t colors = 0;
  uint64_t seed = 0;
  int32_t workers = 1;
  MoveKind move = MoveKind::Gibbs;
};

// Counting mode's streams: the pilot draws from stream 0 of the seed,
// fixed-level run i (from 1) from stream i.
constexpr uint64_t kPilotStream = 0;

// A finished fixed-level run: its estimate and its own processor time (the
// thread's clock, whatever other threads do meanwhile).
struct CountingRun {
  WideDouble estimate;
  int64_t cpuMilliseconds = 0;
};

// Fixed-level run `run` of the seed; nothing when `abandoned` answers true
// before it ends.
std::optional<CountingRun> fixedLevelRun(const LevelList& levels, const Graph& graph,
                                         const RunParameters& parameters, int64_t run,
                                         const std::function<bool()>& abandoned);

// The stream of test `test` (0-based) of bisection step `step` (1-based):
// apart from counting mode's streams.
uint64_t colorabilityStream(int32_t step, int32_t test);

// The outcome of one colourability test, or of a step's tests together:
// whether any reached a proper k-colouring, the iterations of all of them,
// how many tests they were, and (when one passed) the colouring of the
// first that did. The count is what the mean iterations per test divide by:
// a step of an MPI job makes more tests than one process has threads.
// A test's processor time is its own thread's clock; a step's counts only
// the tests made in other processes (an MPI job's other ranks), whose time
// the process clock of rank 0 cannot see.
struct ColorabilityOutcome {
  bool passed = false;
  double iterations = 0.0;
  int32_t tests = 1;
  int64_t cpuMilliseconds = 0;
  int64_t elsewhereCpuMilliseconds = 0;
  std::vector<int32_t> coloring;
};

// Test `test` of bisection step `step`, asking whether k colours suffice;
// nothing when `abandoned` answers true before an iteration.
std::optional<ColorabilityOutcome> colorabilityTest(const Graph& graph,
                                                    const RunParameters& parameters, int32_t k,
                                                    int32_t step, int32_t test,
                                                    const std::function<bool()>& abandoned = {});

// A step's outcome from its tests' outcomes, in test order.
ColorabilityOutcome combineTests(std::vector<ColorabilityOutcome>&& tests);

}  // namespace tintara
