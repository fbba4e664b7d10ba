// Counting mode's experiment as the program runs it, from a Graph to its
// end: the journal (engine/journal.h) or a pilot run fixes the levels, then
// the journal's runs and new fixed-level runs from the executor are taken
// in run order until the relative error reaches the target, the run budget
// is spent, or a halt (a stop signal, the time budget) comes. What happens
// is told through CountingEvents as it happens; nothing here prints.
//
// A halt ends the experiment at once: `concluded` is told before the runs
// under way are waited for (and abandoned), so that the summary goes out
// while the process is still wanted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/run_executor.h"
#include "graph/graph.h"
#include "process/halt.h"
#include "splitting/counting_experiment.h"

namespace tintara {

// What fixes the experiment besides the graph.
struct CountingPlan {
  RunParameters parameters;
  double terr = 0.0;
  int64_t maxRuns = 0;   // the experiment's runs in all; 0: no limit
  std::string journal;   // empty: none
  bool seedGiven = false;  // a journal's seed must then be the same
};

enum class CountingEnd {
  TargetMet,       // the relative error reached the target
  RunBudget,       // --max-runs runs were taken first
  Halted,          // a halt ended the runs
  PilotHalted,     // a halt ended the pilot run: no levels, no runs
  PilotStagnated,  // the pilot run stagnated: no proper colouring, no runs
};

struct CountingOutcome {
  CountingEnd end = CountingEnd::TargetMet;
  HaltCause cause = HaltCause::None;  // what halted, for the two halts
  PilotOutcome pilot;                 // the levels and the pilot's colouring
  EstimateTally tally;                // the runs taken
  int64_t journalledRuns = 0;         // runs the journal held at the start
};

// What the experiment tells as it goes; every member may be left empty.
struct CountingEvents {
  // A note for standard error (what the journal found as it was read).
  std::function<void(const std::string& note)> note;
  // Each level of a pilot run while it is made (journalled levels are not).
  std::function<void(double level)> pilotLevel;
  // The levels, once fixed, before any run, and how many runs the journal
  // holds (those are told as runs first, made again by no one).
  std::function<void(const LevelList& levels, int64_t journalledRuns)> levelsFixed;
  // Each run as it is taken, in run order, with the tally that includes it.
  std::function<void(const RunRecord& record, const EstimateTally& tally)> run;
  // Once, as soon as the runs' end is known (for the halts, before the runs
  // under way are waited for): the outcome so far. Not told when the pilot
  // halted or stagnated.
  std::function<void(const CountingOutcome& outcome)> concluded;
};

// Runs the experiment on `graph`. Throws InputError for a journal it cannot
// use (another experiment's, damaged, locked, or read-only while runs
// remain) and WriteError when the journal cannot be written.
CountingOutcome runCountingExperiment(const Graph& graph, const CountingPlan& plan,
                                      const RunExecutor& executor, const Halt& halt,
                                      const CountingEvents& events);

}  // namespace tintara
