// The instance as both modes take it: read with the run's memory check made
// before the Graph is built, and refused when no colouring of it can be
// proper.
#pragma once

#include <string>

#include "graph/graph.h"
#include "process/run_memory.h"

namespace tintara {

// Reads the instance at `path` (readGraph), with checkRunMemory made for
// `run` once the counts are known and before the Graph is built; throws
// InputError for a file it cannot use, a run that does not fit, and a graph
// with a self-loop, since no colouring of it is proper.
Graph readRunGraph(const std::string& path, const RunFootprint& run);

}  // namespace tintara
