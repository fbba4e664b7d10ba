// The units of work of the two modes, each fixed by the seed and its own
// index, whichever thread or process makes it: a fixed-level run of counting
// mode, and a colourability test of chromatic mode.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "coloring/kernel_state.h"
#include "exact/parts.h"
#include "graph/graph.h"
#include "numeric/wide_double.h"
#include "splitting/adaptive_splitting.h"

namespace tintara {

// What every run of an experiment shares, whichever thread or rank makes
// it: the population size, the rarity parameter of adaptive runs, the
// colours of counting mode, the seed, the threads each process uses, and
// the move and crossover of chromatic mode's tests (counting mode always
// uses Gibbs, without crossover).
struct RunParameters {
  int32_t N = 0;
  double rho = 0.0;
  int32_t colors = 0;
  uint64_t seed = 0;
  int32_t workers = 1;
  MoveKind move = MoveKind::Gibbs;
  Crossover crossover = Crossover::None;
};

// Counting mode's streams: the pilot draws from stream 0 of the seed,
// fixed-level run i (from 1) from stream i. When the graph is counted by
// parts, part p's pilot and run i draw from stream (0, p) and (i, p), part
// 0 on the streams above.
constexpr uint64_t kPilotStream = 0;

// An adaptive run (adaptiveRun) with k colours on stream (stream, part) of
// parameters.seed: the one way the program starts one, for counting mode's
// pilots and for each colourability test (part 0).
AdaptiveRun adaptiveRunOnStream(const Graph& graph, const RunParameters& parameters, int32_t k,
                                uint64_t stream, uint32_t part,
                                std::vector<int32_t>* properColoring,
                                const LevelObserver& observer = {}, const StopQuery& stop = {},
                                const ChainMove& move = {});

// A finished fixed-level run: its estimate and its own processor time (the
// thread's clock, whatever other threads do meanwhile).
struct CountingRun {
  CountingRun() = default;
  CountingRun(WideDouble estimate, int64_t cpuMilliseconds)
      : estimate(std::move(estimate)), cpuMilliseconds(cpuMilliseconds) {}

  WideDouble estimate;
  int64_t cpuMilliseconds = 0;
  // With the parts' means multiplied (CountingWork::multiplyMeans): each
  // part's own estimate, whose product with the exact factor is `estimate`.
  // Empty otherwise.
  std::vector<WideDouble> partEstimates;
};

// One part of counting mode's runs: a graph (the whole graph, or a block
// of it that has no exact value), or the kernel a block reduced to
// (coloring/kernel_state.h), and the levels its pilot fixed. Neither is
// owned: they outlive the runs.
struct CountingPart {
  const Graph* graph = nullptr;
  LevelList levels = {};
  const KernelGraph* kernel = nullptr;  // split on the kernel's states when given
  // The ladder's first entry: minus the vertices of a graph, the lowest
  // score of a kernel's states.
  double startLevel() const;
};

// What every fixed-level run works on: its parts, and the exact value of
// the rest of the graph (1 when the whole graph is the one part). The
// parts are independent, so the product of their estimates times the
// factor is unbiased for the whole graph's probability, and so is the
// product of their means (multiplyMeans, with two parts or more: each run
// then makes every part's run, and keeps each part's estimate).
struct CountingWork {
  WideDouble exactFactor = 1;
  std::vector<CountingPart> parts;
  bool multiplyMeans = false;
};

// The work of the plan's hard parts: each split on its kernel, or as its
// block, with the plan's exact factor and convention. The parts point into
// the plan, which must outlive the work. Levels are left for the pilots.
CountingWork countingWork(const PartsPlan& plan);

// Fixed-level run `run` of the seed: each part's run in turn, part p's on
// stream (run, p), and the exact factor times the product of their
// estimates (without multiplyMeans, a part that gives 0 makes the rest
// unneeded). Nothing when `abandoned` answers true before it ends.
std::optional<CountingRun> fixedLevelRun(const CountingWork& work, const RunParameters& parameters,
                                         int64_t run, const std::function<bool()>& abandoned);

// The stream of test `test` (0-based) of bisection step `step` (1-based):
// apart from counting mode's streams.
uint64_t colorabilityStream(int32_t step, int32_t test);

// The colours a step's tests ask about: every test `top` (the bisection's
// tests at one k), or, when `spread`, test j max(top - j, lowest) (the
// descent's next candidates at once, none below `lowest`).
struct StepColors {
  int32_t top = 0;
  int32_t lowest = 1;
  bool spread = false;
  int32_t forTest(int32_t test) const;
};

// The outcome of one colourability test, or of a step's tests together.
// Of one test: whether it reached a proper colouring (`colors` colours
// asked for), its iterations, and its colouring when it passed. Of a step:
// whether any test passed; then `colors` is the fewest colours a passing
// test asked for and `coloring` the colouring of the first test (in test
// order) that passed with that many; `failedBelow` is the most colours a
// failing test asked for below `colors` (below every test's, when none
// passed; 0 when none failed there: a failure at as many colours as a pass,
// or more, says nothing). The count is what the mean iterations per test
// divide by: a step of an MPI job makes more tests than one process has
// threads.
// A test's processor time is its own thread's clock; a step's counts only
// the tests made in other processes (an MPI job's other ranks), whose time
// the process clock of rank 0 cannot see.
struct TestAnswer {
  int32_t colors = 0;  // asked for
  bool passed = false;
};

struct ColorabilityOutcome {
  bool passed = false;
  int32_t colors = 0;
  int32_t failedBelow = 0;
  double iterations = 0.0;
  int32_t tests = 1;
  int64_t cpuMilliseconds = 0;
  int64_t elsewhereCpuMilliseconds = 0;
  std::vector<int32_t> coloring;
  // Of a step: each test's colours and answer, in test order.
  std::vector<TestAnswer> answers;
};

// Test `test` of bisection step `step`, asking whether k colours suffice;
// nothing when `abandoned` answers true before the test's end. A passing
// test's colouring is checked from scratch (isProperColoring): one that is
// not proper throws std::logic_error rather than count.
std::optional<ColorabilityOutcome> colorabilityTest(const Graph& graph,
                                                    const RunParameters& parameters, int32_t k,
                                                    int32_t step, int32_t test,
                                                    const std::function<bool()>& abandoned = {});

// A step's outcome from its tests' outcomes, in test order.
ColorabilityOutcome combineTests(std::vector<ColorabilityOutcome>&& tests);

}  // namespace tintara
