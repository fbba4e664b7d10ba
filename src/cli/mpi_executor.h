// Runs spread over the ranks of an MPI job. Rank 0 runs the program with
// mpiExecutor(); every other rank serves runs (serveRuns) until rank 0 ends
// the job (endWorkers) with the program's exit status.
//
// Every rank makes runs on settings.workers threads (rank 0's setting, sent
// to all), each run from its own stream of the seed, so results do not
// depend on which rank made them. Counting mode: rank 0 hands run numbers
// out one at a time as threads fall free, on every rank its own included,
// and hands results to the mode in run order. Chromatic mode: a step makes
// P x workers tests, test j on rank j / workers.
//
// Only a rank's main thread calls MPI. A rank that waits for a message
// polls and sleeps between polls: MPI's blocking calls spin, and would take
// a core from the runs.
#pragma once

#include <boost/mpi/communicator.hpp>

#include "cli/run_executor.h"

namespace tintara {

// Rank 0's executor; `world` must outlive it.
RunExecutor mpiExecutor(const boost::mpi::communicator& world);

// Rank 0, once the program is over: tells every other rank to end with
// `status`.
void endWorkers(const boost::mpi::communicator& world, int status);

// Every rank but 0: makes the runs rank 0 asks for until it ends the job;
// returns the exit status it sent. Throws when a run fails.
int serveRuns(const boost::mpi::communicator& world);

}  // namespace tintara
