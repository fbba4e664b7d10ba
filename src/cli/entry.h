// The program's entry: options, help, dispatch to a mode, and the failure
// guard that turns any escaping standard exception into the options listing
// and exit status 1. Returns the process exit status.
#pragma once

#include "engine/run_executor.h"

namespace tintara {

// The runs are made by `executor`: this process's threads, or an MPI job's
// ranks (rank 0 runs the entry). SIGINT and SIGTERM are watched from here
// on (engine/halt.h).
int runTintara(int argc, char** argv, const RunExecutor& executor);

}  // namespace tintara
