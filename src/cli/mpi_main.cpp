// tintara-mpi: the program run by rank 0 of an MPI job, the other ranks
// making runs for it. Every rank ends with the program's exit status; a rank
// that fails ends the whole job through MPI's abort.
#include <cstdlib>
#include <exception>
#include <iostream>

#include <boost/mpi/communicator.hpp>
#include <boost/mpi/environment.hpp>

#include "cli/entry.h"
#include "engine/mpi_executor.h"
#include "process/halt.h"
#include "process/memory_limit.h"

int main(int argc, char** argv) {
  // Before MPI starts threads of its own.
  tintara::shareMallocArenaUnderAddressLimit();
  // Only each rank's main thread calls MPI.
  boost::mpi::environment environment(argc, argv, boost::mpi::threading::funneled);
  if (environment.thread_level() < boost::mpi::threading::funneled) {
    std::cerr << "tintara-mpi: the MPI library does not support threads" << std::endl;
    environment.abort(1);
    return 1;
  }
  boost::mpi::communicator world;
  try {
    int status = 0;
    if (world.rank() != 0) {
      tintara::watchStopSignals();
      status = tintara::serveRuns(world);
    } else {
      status = tintara::runTintara(argc, argv, tintara::mpiExecutor(world));
    }
    if (tintara::stopSignalReceived() != 0) {
      // mpirun passes a stop signal to every rank and kills them all a
      // moment later (odls_base_sigkill_timeout, 1 s by default): rank 0
      // has printed what it had, and no rank waits for another to finish
      // MPI, which may never come.
      std::cout.flush();
      std::cerr.flush();
      std::_Exit(status);
    }
    if (world.rank() == 0) tintara::endWorkers(world, status);
    return status;
  } catch (...) {
    // Rank 0's own failures are named by runTintara on standard output; this
    // is another rank's, or one of MPI's.
    std::cerr << "tintara-mpi: rank " << world.rank() << ": ";
    tintara::writeFailure(std::cerr, std::current_exception());
    std::cerr << std::endl;
  }
  environment.abort(1);
  return 1;
}
