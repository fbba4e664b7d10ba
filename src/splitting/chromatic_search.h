// Chromatic mode's search: bisect over the number of colours k, asking at
// each step whether k colours suffice.
//
// Each step makes independent tests (an executor decides how many: its
// threads, or every thread of every rank of an MPI job; test j of step s on
// stream (s, j) of the seed), all at one k, which passes when any of them
// reaches a proper colouring; or, spread (SearchStart::spread), test j at
// the j-th next candidate below hi, the step then moving by what they say.
// A pass is a proper colouring (checked from scratch before it counts), so
// the result is never below the chromatic number; more tests make a false
// "no" at the true number rarer.
// Every test runs to its end, so the search for a seed and a number of
// tests a step is reproducible. Nothing here prints.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "graph/graph.h"
#include "splitting/experiment_runs.h"

namespace tintara {

// The interval (lo, hi] the bisection narrows: k = hi is known to suffice,
// k = lo is taken to fail. Each step tests mid = ceil((lo + hi) / 2); a pass
// sets hi = mid (and lo = hi when hi was mid), a failure sets lo = mid. A
// pass whose colouring uses c < mid colours sets hi = c instead, and when c
// is not above lo the search ends at c: a proper c-colouring outranks the
// failure that set lo. Once lo >= hi, or hi reaches `floor`, a number of
// colours known to be needed (a clique's size), the answer is hi.
//
// A descending search (`descend`) tests hi - 1 instead of mid, and so ends
// at its first failure. With --move tabu it makes fewer and cheaper tests
// than the bisection: a pass costs the walk a few iterations, a failure at
// least six, and the bisection's failures far below the answer are the
// dearest (docs/tabu.md).
//
// A descent that confirms its failures (`confirm`) takes a failure at k as
// final only when k - 1 fails too: after a lone failure it tests k - 1
// (`pending` holds k), and a pass there goes on down as before. A tabu
// test's difficulty need not fall as k grows: on the dense Leighton graphs
// a test at k can stagnate where one at k - 1 passes (docs/tabu.md).
struct Bisection {
  int32_t lo = 0;
  int32_t hi = 0;
  int32_t floor = 0;
  bool descend = false;
  bool confirm = false;
  int32_t pending = 0;  // a failure the descent has yet to confirm; 0 for none

  bool finished() const { return lo >= hi || hi <= floor || (descend && next() <= lo); }
  int32_t next() const;
  void passed(int32_t k, int32_t colorsUsed);
  // A failure at k (a spread step's failures may lie below lo); with
  // `confirm`, a step's failures below hi in descending order.
  void failed(int32_t k);
};

// Told the interval (lo, hi] and the k about to be tested.
using BisectionObserver = std::function<void(int32_t lo, int32_t hi, int32_t k)>;

// What one completed step asked and found: its tests' colours and answers
// in test order, the colours of the best colouring known after it (hi),
// and the processor time of its tests (their threads', every rank's).
struct SearchStep {
  int32_t step = 0;
  std::vector<TestAnswer> answers;
  int32_t colors = 0;
  int64_t cpuMilliseconds = 0;
};

// Told each step as it completes (for the per-step lines and the JSON).
using StepObserver = std::function<void(const SearchStep& step)>;

// Makes the tests of bisection step `step` (from 1) at the colours given
// and combines their outcomes in test order (combineTests); nothing when a
// halt stopped them.
using ColorabilityStep =
    std::function<std::optional<ColorabilityOutcome>(int32_t step, const StepColors& colors)>;

// Where a search starts: the interval, and a proper colouring with hi
// colours that stands for the answer until a test passes.
struct SearchStart {
  Bisection interval;
  std::vector<int32_t> coloring;
  // Take hi from the colours a passing colouring uses (renumbered without
  // gaps), rather than from the k tested.
  bool tighten = false;
  int32_t cliqueSize = 0;            // the clique that set the floor; 0 for none
  std::vector<int32_t> clique = {};  // its vertices, ascending; empty for none
  // Spread a step's tests over the next candidates, next(), next() - 1, ...
  // down to lo + 1, rather than making them all at next() (StepColors).
  bool spread = false;
};

// The plain search: (0, vertexCount], the colouring that gives every vertex
// its own colour, no floor and no tightening.
SearchStart trivialStart(const Graph& graph);

// The search between greedy bounds: a large clique of w vertices proves
// that w colours are needed, a DSATUR colouring with d colours that d
// suffice; the bisection runs over (w - 1, d] with floor w and takes hi from
// the colours each passing test uses. When w = d no test is needed. Both
// bounds are deterministic, and cheap next to a test (milliseconds on
// graphs of hundreds of vertices).
SearchStart greedyStart(const Graph& graph);

// How the search goes with the tabu walk: a descent from the greedy
// bounds that confirms its failures, a step's tests spread over the next
// candidates (docs/tabu.md).
void useTabuDescent(SearchStart& start);

struct ChromaticOutcome {
  int32_t steps = 0;              // steps completed
  double meanIterations = 0.0;    // over every test made: NaN when none was
  int32_t chromatic = 0;          // the smallest k found to suffice
  std::vector<int32_t> coloring;  // a proper colouring with `chromatic` colours
  bool stopped = false;           // a halt ended the search before its end
  // Processor time of the tests the executor made in other processes.
  int64_t elsewhereCpuMilliseconds = 0;
};

ChromaticOutcome chromaticSearch(const SearchStart& start, const ColorabilityStep& step,
                                 const BisectionObserver& observer = {},
                                 const StepObserver& stepObserver = {});

}  // namespace tintara
