// One call of counting mode from the module: the experiment runCounting runs
// (cli/counting_mode.h: the same plan, memory checks and events), on a graph
// already built, printing nothing. What the program's report and standard
// error would say comes back as figures and lines. Knows nothing of Python:
// this is the one place where the module reads the counting engine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/settings.h"
#include "engine/counting_session.h"
#include "engine/run_executor.h"
#include "exact/parts.h"
#include "graph/graph.h"
#include "numeric/wide_double.h"
#include "process/halt.h"

namespace tintara::python {

// A block the runs split, a hard part: its vertices (ids of the whole
// graph, ascending), its edges, the levels its pilot fixed and its kernel.
struct HardPartFigures {
  std::vector<int32_t> vertices;
  int32_t edges = 0;
  std::vector<double> levels;
  int32_t kernelVertices = 0;  // split on its kernel: the kernel's; 0 split whole
  int32_t weightedEdges = 0;   // the kernel's edges with an activity bit
  // With the parts' means multiplied (more than one hard part): the part's
  // own mean over the runs and its relative error.
  std::optional<WideDouble> mean;
  std::optional<double> re;
};

// What counting by parts found: the blocks, those valued exactly and the
// product of their values, the hard parts in block order, and the plan's
// line for standard error.
struct PartsFigures {
  int32_t blocks = 0;
  int32_t exactBlocks = 0;
  WideDouble exactFactor = 1;
  std::vector<HardPartFigures> hard;
  std::string summary;
};

// The plan's figures, the levels left empty (the pilots fix them later).
PartsFigures partsFigures(const PartsPlan& plan);

struct CountingFigures {
  CountingOutcome outcome;
  std::vector<RunRecord> runs;        // in run order
  std::optional<PartsFigures> parts;  // counted by parts
  std::vector<std::string> notes;     // every line standard error is told, in order
  std::vector<std::string> warnings;  // those that warn: the journal's notes, a stop
                                      // short of the target, skewed estimates
  // Why no estimate came, in the program's words: the pilot run stagnated,
  // or the time budget ended the work before any run. Empty otherwise.
  std::string noEstimate;
};

// The experiment for `settings` (settingsFromNamedOptions) on `graph`, the
// runs made by `executor`. With `progress`, the program's progress display
// is drawn on standard error (when it is a terminal). Throws what
// runCountingExperiment and the plan's memory checks throw.
CountingFigures countOnGraph(const RunSettings& settings, const Graph& graph,
                             const RunExecutor& executor, const Halt& halt, bool progress);

}  // namespace tintara::python
