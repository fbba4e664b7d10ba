// Counting mode's experiment as the program runs it, from a Graph to its
// end: the journal (engine/journal.h) or a pilot run fixes the levels, then
// the journal's runs and new fixed-level runs from the executor are taken
// in run order until the relative error reaches the target, the run budget
// is spent, or a halt (a stop signal, the time budget) comes. What happens
// is told through CountingEvents as it happens; nothing here prints.
//
// Counted by parts (--decompose 1, exact/parts.h), the graph's blocks
// with an exact value multiply into one exact factor, and each other block,
// a hard part, gets its own pilot run and levels; run i is then the exact
// factor times the product of the hard parts' runs i. A graph whose every
// block is exact needs no run at all.
//
// A halt ends the experiment at once: `concluded` is told before the runs
// under way are waited for (and abandoned), so that the summary goes out
// while the process is still wanted.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_executor.h"
#include "exact/parts.h"
#include "graph/graph.h"
#include "process/halt.h"
#include "splitting/counting_experiment.h"

namespace tintara {

// The samples of the largest part the runs split: its vertices, and its
// activity bits when it is split on a kernel.
struct PartSize {
  int32_t vertices = 0;
  int64_t bits = 0;
};

// What fixes the experiment besides the graph.
struct CountingPlan {
  RunParameters parameters;
  double terr = 0.0;
  int64_t maxRuns = 0;     // the experiment's runs in all; 0: no limit
  std::string journal;     // empty: none
  bool seedGiven = false;  // a journal's seed must then be the same
  bool decompose = false;  // count by parts
  // The parts plan's version (exact/parts.h): today's, or an older one a
  // resumed journal was made with.
  int32_t partsPlanVersion = kPartsPlanVersion;
  // Keep a proper colouring of the whole graph for the outcome (the pilot's,
  // or the parts' joined).
  bool wantColoring = false;
  // Counted by parts, the memory checks the plan calls for, each of which
  // throws to refuse the run (either may be left empty): before a block is
  // eliminated, its tables' bytes and its vertices; once the parts are
  // known and before any pilot, the size of the largest part the runs
  // split, whose samples the populations hold.
  std::function<void(double bytes, int32_t vertices)> checkTables;
  std::function<void(PartSize largest)> checkRuns;
};

enum class CountingEnd {
  TargetMet,       // the relative error reached the target
  RunBudget,       // --max-runs runs were taken first
  Halted,          // a halt ended the runs
  PilotHalted,     // a halt ended a pilot run: no levels, no runs
  PilotStagnated,  // a pilot run stagnated: no proper colouring, no runs
  Exact,           // by parts, every block exact: the probability, no run
};

// What counting by parts found: the blocks, the exact factor, and each part
// the runs split (in the plan's order, the journal's and the tally's).
struct PartsFound {
  struct Part {
    int32_t vertices = 0;        // the block's
    int32_t kernelVertices = 0;  // split on its kernel: the kernel's; 0 split whole
    int32_t weightedEdges = 0;   // the kernel's edges with an activity bit
  };
  int32_t blocks = 0;
  int32_t exactBlocks = 0;
  WideDouble exactFactor = 1;
  int32_t zeroBlock = -1;  // the block without a proper colouring, or -1
  std::vector<Part> parts;
};

struct CountingOutcome {
  CountingEnd end = CountingEnd::TargetMet;
  HaltCause cause = HaltCause::None;  // what halted, for the two halts
  // Counted by parts: what the plan found. Without parts, nothing.
  std::optional<PartsFound> partsFound;
  // The pilots' levels, one list per part (the whole graph's alone without
  // parts); for PilotStagnated, the stagnated pilot's levels are last.
  std::vector<LevelList> levels;
  EstimateTally tally;         // the runs taken
  int64_t journalledRuns = 0;  // runs the journal held at the start
  // For Exact: the probability (0 when a block has no proper colouring) and
  // the processor time the decomposition took.
  WideDouble exactValue = 0;
  int64_t exactMilliseconds = 0;
  // With wantColoring, once the levels are fixed (and for Exact unless the
  // value is 0): a proper colouring of the whole graph.
  std::vector<int32_t> coloring;

  // The number of levels the report shows: the sum over the parts.
  std::size_t levelCount() const;
};

// What the experiment tells as it goes; every member may be left empty.
struct CountingEvents {
  // A note for standard error: what the journal found as it was read.
  std::function<void(const std::string& note)> note;
  // Counted by parts, the plan once it is made, before any pilot (the
  // program tells its one-line summary, partsSummary, on standard error).
  std::function<void(const PartsPlan& plan)> planned;
  // Each level of a pilot run while it is made (journalled levels are not),
  // with the pilot's part and the number of parts.
  std::function<void(int32_t part, int32_t parts, double level)> pilotLevel;
  // The levels, once fixed, before any run, and how many runs the journal
  // holds (those are told as runs first, made again by no one).
  std::function<void(const CountingOutcome& outcome)> levelsFixed;
  // Each run as it is taken, in run order, with the tally that includes it.
  std::function<void(const RunRecord& record, const EstimateTally& tally)> run;
  // Once, as soon as the runs' end is known (for the halts, before the runs
  // under way are waited for): the outcome so far. Not told when a pilot
  // halted or stagnated, nor for an exact value.
  std::function<void(const CountingOutcome& outcome)> concluded;
};

// Runs the experiment on `graph`. Throws InputError for a journal it cannot
// use (another experiment's, damaged, locked, or read-only while runs
// remain) and WriteError when the journal cannot be written.
CountingOutcome runCountingExperiment(const Graph& graph, const CountingPlan& plan,
                                      const RunExecutor& executor, const Halt& halt,
                                      const CountingEvents& events);

}  // namespace tintara
