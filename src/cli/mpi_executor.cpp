#include "cli/mpi_executor.h"

#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <boost/mpi/collectives/broadcast.hpp>
#include <boost/mpi/packed_iarchive.hpp>
#include <boost/mpi/packed_oarchive.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

#include "splitting/parallel_runs.h"

namespace mpi = boost::mpi;

namespace tintara {

// What crosses the wire, field by field (doubles keep every bit).
// clang-format off
template <typename Archive>
void serialize(Archive& archive, RunSettings& s, unsigned /*version*/) {
  archive & s.problem & s.colors & s.N & s.rho & s.terr & s.chrom & s.seed & s.workers &
      s.saveColoring;
}

template <typename Archive>
void serialize(Archive& archive, Graph& graph, unsigned /*version*/) {
  archive & graph.vertexCount & graph.edgeCount & graph.neighbourStart & graph.neighbourList &
      graph.idBase;
}

template <typename Archive>
void serialize(Archive& archive, ColorabilityOutcome& outcome, unsigned /*version*/) {
  archive & outcome.passed & outcome.iterations & outcome.tests & outcome.coloring;
}
// clang-format on

namespace {

// Rank 0 sends commands (to each rank, tagged kCommandTag) and, during
// counting, run numbers (kRunTag); the others answer with results
// (kResultTag) and step outcomes (kOutcomeTag).
enum Tag : int { kCommandTag = 1, kRunTag = 2, kResultTag = 3, kOutcomeTag = 4 };

// A command: its kind and two arguments.
//   kQuit status            end with this exit status
//   kCounting               settings, graph and levels follow by broadcast;
//                           then run numbers until 0, which stops the runs
//   kChromatic              settings and graph follow by broadcast
//   kStep step k            make this rank's tests of the step
enum Command : int64_t { kQuit = 0, kCounting = 1, kChromatic = 2, kStep = 3 };
using CommandMessage = std::array<int64_t, 3>;

// A finished run: its number, its estimate's mantissa (a double's bits) and
// exponent, its CPU milliseconds. Run number 0 says the rank has stopped and
// sends no more.
using ResultMessage = std::array<int64_t, 4>;

constexpr auto kPollInterval = std::chrono::milliseconds(1);

// Waits for `request` without spinning.
mpi::status await(mpi::request& request) {
  for (;;) {
    if (boost::optional<mpi::status> status = request.test()) return *status;
    std::this_thread::sleep_for(kPollInterval);
  }
}

void sendCommand(const mpi::communicator& world, int rank, CommandMessage command) {
  world.send(rank, kCommandTag, command.data(), static_cast<int>(command.size()));
}

void commandAll(const mpi::communicator& world, CommandMessage command) {
  for (int rank = 1; rank < world.size(); ++rank) sendCommand(world, rank, command);
}

ResultMessage encodeResult(int64_t run, const CountingRun& result) {
  const WideDoubleParts parts = splitWide(result.estimate);
  return {run, std::bit_cast<int64_t>(parts.mantissa), parts.exponent, result.cpuMilliseconds};
}

CountingRun decodeResult(const ResultMessage& message) {
  return {joinWide({std::bit_cast<double>(message[1]), message[2]}), message[3]};
}

// The fixed-level runs one rank makes: run numbers handed in by the main
// thread, made on `workers` threads, results taken out by the main thread.
class RunPool {
 public:
  RunPool(const RunSettings& settings, const Graph& graph, const LevelList& levels)
      : settings(settings), graph(graph), levels(levels) {
    const int32_t count = settings.workers > 1 ? settings.workers : 1;
    try {
      for (int32_t t = 0; t < count; ++t) threads.emplace_back([this] { work(); });
    } catch (...) {
      stop();
      throw;
    }
  }
  ~RunPool() { stop(); }
  RunPool(const RunPool&) = delete;
  RunPool& operator=(const RunPool&) = delete;

  int32_t threadCount() const { return static_cast<int32_t>(threads.size()); }

  void hand(int64_t run) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      todo.push_back(run);
    }
    wake.notify_one();
  }

  // The runs finished since the last call, waiting up to `patience` for one;
  // rethrows the first exception of a run.
  std::vector<std::pair<int64_t, CountingRun>> take(std::chrono::microseconds patience) {
    std::unique_lock<std::mutex> lock(mutex);
    done.wait_for(lock, patience, [this] { return failure || !finished.empty(); });
    if (failure) std::rethrow_exception(failure);
    return std::exchange(finished, {});
  }

  // Abandons every run under way (none of them is wanted any more) and ends
  // the threads.
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  void work() {
    for (;;) {
      int64_t run = 0;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [this] { return stopping.load() || !todo.empty(); });
        if (stopping) return;
        run = todo.front();
        todo.pop_front();
      }
      try {
        std::optional<CountingRun> result =
            fixedLevelRun(levels, graph, settings.N, settings.colors, settings.seed, run,
                          [this] { return stopping.load(); });
        if (!result) return;
        {
          std::lock_guard<std::mutex> lock(mutex);
          finished.emplace_back(run, std::move(*result));
        }
        done.notify_one();
      } catch (...) {
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (!failure) failure = std::current_exception();
        }
        done.notify_one();
        return;
      }
    }
  }

  const RunSettings& settings;
  const Graph& graph;
  const LevelList& levels;
  std::mutex mutex;
  std::condition_variable wake;  // runs to make, or stop
  std::condition_variable done;  // a run finished or failed
  std::deque<int64_t> todo;
  std::vector<std::pair<int64_t, CountingRun>> finished;
  std::atomic<bool> stopping{false};
  std::exception_ptr failure;
  std::vector<std::thread> threads;
};

// Rank 0's side of counting mode. Every thread of every rank holds one run
// at a time; a result frees its thread, which is handed the next number at
// once. Results wait in `ready` until all before them have been consumed.
void countOnRanks(const mpi::communicator& world, const RunSettings& settings, const Graph& graph,
                  const LevelList& levels, const RunConsumer& consume) {
  const int ranks = world.size();
  commandAll(world, {kCounting, 0, 0});
  if (ranks > 1) {
    mpi::packed_oarchive archive(world);
    archive << settings << graph << levels;
    mpi::broadcast(world, archive, 0);
  }

  RunPool pool(settings, graph, levels);
  int64_t next = 1;
  const auto handTo = [&](int rank) {
    const int64_t run = next++;
    if (rank == 0) {
      pool.hand(run);
    } else {
      world.send(rank, kRunTag, run);
    }
  };
  for (int rank = 0; rank < ranks; ++rank) {
    for (int32_t t = 0; t < pool.threadCount(); ++t) handTo(rank);
  }

  ResultMessage incoming{};
  mpi::request arrival;
  const auto listen = [&] {
    arrival = world.irecv(mpi::any_source, kResultTag, incoming.data(),
                          static_cast<int>(incoming.size()));
  };
  if (ranks > 1) listen();

  std::map<int64_t, CountingRun> ready;
  int64_t wanted = 1;
  std::exception_ptr failure;
  try {
    for (bool more = true; more;) {
      if (ranks > 1) {
        while (boost::optional<mpi::status> status = arrival.test()) {
          // Listening again first keeps a receive posted for the drain
          // below, whatever fails here.
          const ResultMessage message = incoming;
          listen();
          ready.emplace(message[0], decodeResult(message));
          handTo(status->source());
        }
      }
      // Alone, a rank has only its own threads to wait for.
      const auto patience = ranks > 1 ? std::chrono::microseconds(kPollInterval)
                                      : std::chrono::microseconds(std::chrono::seconds(1));
      for (auto& [run, result] : pool.take(patience)) {
        ready.emplace(run, std::move(result));
        handTo(0);
      }
      for (auto it = ready.find(wanted); more && it != ready.end(); it = ready.find(wanted)) {
        CountingRun result = std::move(it->second);
        ready.erase(it);
        more = consume(wanted, std::move(result));
        ++wanted;
      }
    }
  } catch (...) {
    failure = std::current_exception();
  }

  // Every run still under way comes after the last one consumed: abandon
  // them all, here and on every rank, and wait until each rank has said it
  // stopped, so that no message of this phase is left behind.
  pool.stop();
  for (int rank = 1; rank < ranks; ++rank) world.send(rank, kRunTag, int64_t{0});
  for (int stopped = 0; stopped < ranks - 1;) {
    await(arrival);
    if (incoming[0] == 0) ++stopped;
    if (stopped < ranks - 1) listen();
  }
  if (failure) std::rethrow_exception(failure);
}

// Any rank's share of a step: tests rank * workers .. rank * workers +
// workers - 1, made together on its threads.
std::vector<ColorabilityOutcome> testsOfRank(int rank, const RunSettings& s, const Graph& graph,
                                             int32_t step, int32_t k) {
  std::vector<ColorabilityOutcome> tests(static_cast<std::size_t>(s.workers));
  runTogether(s.workers, [&](int32_t t) {
    tests[static_cast<std::size_t>(t)] =
        colorabilityTest(graph, s.N, s.rho, k, s.seed, step, rank * s.workers + t);
  });
  return tests;
}

// Rank 0's side of a bisection step. The graph and settings go out with a
// search's first step (or a new graph).
ColorabilityOutcome stepOnRanks(const mpi::communicator& world, const Graph*& sentGraph,
                                const RunSettings& settings, const Graph& graph, int32_t step,
                                int32_t k) {
  const int ranks = world.size();
  if (ranks > 1 && (step == 1 || sentGraph != &graph)) {
    commandAll(world, {kChromatic, 0, 0});
    mpi::packed_oarchive archive(world);
    archive << settings << graph;
    mpi::broadcast(world, archive, 0);
    sentGraph = &graph;
  }
  commandAll(world, {kStep, step, k});
  // The other ranks' outcomes are taken even when this rank's tests fail,
  // so that none is left waiting to send them.
  std::vector<ColorabilityOutcome> tests;
  std::exception_ptr failure;
  try {
    tests = testsOfRank(0, settings, graph, step, k);
  } catch (...) {
    failure = std::current_exception();
  }
  for (int rank = 1; rank < ranks; ++rank) {
    std::vector<ColorabilityOutcome> theirs;
    mpi::request arrival = world.irecv(rank, kOutcomeTag, theirs);
    await(arrival);
    if (theirs.size() != static_cast<std::size_t>(settings.workers)) {
      throw std::runtime_error("a rank sent the wrong number of test outcomes");
    }
    for (ColorabilityOutcome& outcome : theirs) tests.push_back(std::move(outcome));
  }
  if (failure) std::rethrow_exception(failure);
  return combineTests(std::move(tests));
}

// A worker rank's side of counting mode.
void serveCounting(const mpi::communicator& world) {
  RunSettings settings;
  Graph graph;
  LevelList levels;
  {
    mpi::packed_iarchive archive(world);
    mpi::broadcast(world, archive, 0);
    archive >> settings >> graph >> levels;
  }
  RunPool pool(settings, graph, levels);
  int64_t order = 0;
  mpi::request arrival = world.irecv(0, kRunTag, order);
  for (;;) {
    if (arrival.test()) {
      if (order == 0) break;
      pool.hand(order);
      arrival = world.irecv(0, kRunTag, order);
      continue;
    }
    for (const auto& [run, result] : pool.take(kPollInterval)) {
      const ResultMessage message = encodeResult(run, result);
      world.send(0, kResultTag, message.data(), static_cast<int>(message.size()));
    }
  }
  pool.stop();
  const ResultMessage stopped{0, 0, 0, 0};
  world.send(0, kResultTag, stopped.data(), static_cast<int>(stopped.size()));
}

}  // namespace

RunExecutor mpiExecutor(const mpi::communicator& world) {
  RunExecutor executor;
  executor.countingRuns = [&world](const RunSettings& settings, const Graph& graph,
                                   const LevelList& levels, const RunConsumer& consume) {
    countOnRanks(world, settings, graph, levels, consume);
  };
  auto sentGraph = std::make_shared<const Graph*>(nullptr);
  executor.colorabilityStep = [&world, sentGraph](const RunSettings& settings, const Graph& graph,
                                                  int32_t step, int32_t k) {
    return stepOnRanks(world, *sentGraph, settings, graph, step, k);
  };
  return executor;
}

void endWorkers(const mpi::communicator& world, int status) {
  commandAll(world, {kQuit, status, 0});
}

int serveRuns(const mpi::communicator& world) {
  RunSettings settings;
  Graph graph;
  for (;;) {
    CommandMessage command{};
    mpi::request arrival =
        world.irecv(0, kCommandTag, command.data(), static_cast<int>(command.size()));
    await(arrival);
    switch (command[0]) {
      case kQuit:
        return static_cast<int>(command[1]);
      case kCounting:
        serveCounting(world);
        break;
      case kChromatic: {
        mpi::packed_iarchive archive(world);
        mpi::broadcast(world, archive, 0);
        archive >> settings >> graph;
        break;
      }
      case kStep: {
        const std::vector<ColorabilityOutcome> tests =
            testsOfRank(world.rank(), settings, graph, static_cast<int32_t>(command[1]),
                        static_cast<int32_t>(command[2]));
        mpi::request sent = world.isend(0, kOutcomeTag, tests);
        await(sent);
        break;
      }
      default:
        throw std::runtime_error("unknown command from rank 0");
    }
  }
}

}  // namespace tintara
