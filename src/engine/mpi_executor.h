// Runs spread over the ranks of an MPI job. Rank 0 runs the program with
// mpiExecutor(); every other rank serves runs (serveRuns) until rank 0 ends
// the job (endWorkers) with the program's exit status.
//
// The run engine (run_engine.h) does the work on every rank: rank 0's
// engine hands run indices to its own pool and, through MPI, to the pools
// of the other ranks, and takes their results in order. This file only
// moves things between ranks: the shared inputs of a batch (parameters,
// graph, levels) by broadcast, then indices out and results back. Every
// rank makes runs on parameters.workers threads (rank 0's setting, sent to
// all). Chromatic mode: a step makes P x workers tests.
//
// Only a rank's main thread calls MPI. A rank that waits for a message
// polls and sleeps between polls: MPI's blocking calls spin, and would take
// a core from the runs.
#pragma once

#include <boost/mpi/communicator.hpp>

#include "engine/run_executor.h"

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
