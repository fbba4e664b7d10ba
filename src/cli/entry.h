// The program's entry: options, help, dispatch to a mode, and the failure
// guard. Every failure ends the program with one line on standard output and
// exit status 1: the option parser's own words (followed by the option
// listing, the only failure that prints it), an InputError's message, or,
// for a failure no check foresaw, writeFailure's line. With --format json
// (found in the raw arguments when the parser refused them) that line is an
// error object instead, and the parser's words come without the listing.
// Returns the process exit status.
#pragma once

#include <exception>
#include <ostream>

#include "engine/run_executor.h"

namespace tintara {

// The runs are made by `executor`: this process's threads, or an MPI job's
// ranks (rank 0 runs the entry). SIGINT and SIGTERM are watched from here
// on (process/halt.h).
int runTintara(int argc, char** argv, const RunExecutor& executor);

// Writes what is known of `failure`, without a line end: "Not enough memory
// for this run" for an allocation that failed, "Cannot start a worker
// thread: REASON", or "Unexpected failure: WHAT".
void writeFailure(std::ostream& out, const std::exception_ptr& failure);

}  // namespace tintara
