// One call of chromatic mode from the module: the search runChromatic makes
// (cli/chromatic_mode.h, searchChromatic), on a graph already built,
// printing nothing. Knows nothing of Python.
#pragma once

#include <string>
#include <vector>

#include "cli/chromatic_mode.h"
#include "cli/settings.h"
#include "engine/run_executor.h"
#include "graph/graph.h"
#include "process/halt.h"

namespace tintara::python {

struct SearchFigures {
  ChromaticRun run;
  // What standard error is told that warns: a halt that stopped the search
  // with an upper bound.
  std::vector<std::string> warnings;
};

// The search for `settings` (settingsFromNamedOptions) on `graph`, its tests
// made by `executor`. With `progress`, the program's progress display is
// drawn on standard error (when it is a terminal).
SearchFigures searchOnGraph(const RunSettings& settings, const Graph& graph,
                            const RunExecutor& executor, const Halt& halt, bool progress);

}  // namespace tintara::python
