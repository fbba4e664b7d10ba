#include "engine/mpi_executor.h"

#include "process/halt.h"

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/mpi/collectives/broadcast.hpp>
#include <boost/mpi/packed_iarchive.hpp>
#include <boost/mpi/packed_oarchive.hpp>
#include <boost/serialization/vector.hpp>

namespace mpi = boost::mpi;

namespace tintara {

// What a batch's broadcast carries, field by field (doubles keep every bit).
// clang-format off
template <typename Archive>
void serialize(Archive& archive, RunParameters& p, unsigned /*version*/) {
  archive & p.N & p.rho & p.colors & p.seed & p.workers & p.move & p.crossover;
}

template <typename Archive>
void serialize(Archive& archive, Graph& graph, unsigned /*version*/) {
  archive & graph.vertexCount & graph.edgeCount & graph.neighbourStart & graph.neighbourList &
      graph.idBase;
}

template <typename Archive>
void serialize(Archive& archive, KernelLink& link, unsigned /*version*/) {
  archive & link.neighbour & link.bit & link.equality;
}

template <typename Archive>
void serialize(Archive& archive, KernelBit& bit, unsigned /*version*/) {
  archive & bit.u & bit.v & bit.equality & bit.activeProbability;
}

template <typename Archive>
void serialize(Archive& archive, KernelGraph& kernel, unsigned /*version*/) {
  archive & kernel.vertexCount & kernel.edgeCount & kernel.linkStart & kernel.links & kernel.bits;
}

// An estimate goes as its exact binary parts (splitWide), so that it
// arrives bit for bit at any exponent.
template <typename Archive>
void serializeWide(Archive& archive, WideDouble& x) {
  WideDoubleParts parts = splitWide(x);
  archive & parts.mantissa & parts.exponent;
  if constexpr (Archive::is_loading::value) x = joinWide(parts);
}

template <typename Archive>
void serialize(Archive& archive, CountingRun& run, unsigned /*version*/) {
  serializeWide(archive, run.estimate);
  archive & run.cpuMilliseconds;
  auto count = static_cast<uint32_t>(run.partEstimates.size());
  archive & count;
  if constexpr (Archive::is_loading::value) run.partEstimates.assign(count, WideDouble(0));
  for (WideDouble& part : run.partEstimates) serializeWide(archive, part);
}

// A batch's parts: the exact factor, whether the means are multiplied, then
// each part's graph, kernel (when split on one) and levels. A rank other
// than 0 keeps the graphs and kernels it receives (`owned`, which the parts
// then point into).
struct OwnedParts {
  std::vector<Graph> graphs;
  std::vector<KernelGraph> kernels;
};

template <typename Archive>
void save(Archive& archive, const CountingWork& work) {
  WideDoubleParts factor = splitWide(work.exactFactor);
  const auto count = static_cast<uint32_t>(work.parts.size());
  archive << factor.mantissa << factor.exponent << work.multiplyMeans << count;
  for (const CountingPart& part : work.parts) {
    const bool byKernel = part.kernel != nullptr;
    archive << *part.graph << byKernel;
    if (byKernel) archive << *part.kernel;
    archive << part.levels;
  }
}

template <typename Archive>
void load(Archive& archive, CountingWork& work, OwnedParts& owned) {
  WideDoubleParts factor;
  uint32_t count = 0;
  archive >> factor.mantissa >> factor.exponent >> work.multiplyMeans >> count;
  work.exactFactor = joinWide(factor);
  owned.graphs.assign(count, Graph{});
  owned.kernels.assign(count, KernelGraph{});
  work.parts.assign(count, CountingPart{});
  for (uint32_t p = 0; p < count; ++p) {
    bool byKernel = false;
    archive >> owned.graphs[p] >> byKernel;
    if (byKernel) archive >> owned.kernels[p];
    archive >> work.parts[p].levels;
    work.parts[p].graph = &owned.graphs[p];
    work.parts[p].kernel = byKernel ? &owned.kernels[p] : nullptr;
  }
}

template <typename Archive>
void serialize(Archive& archive, ColorabilityOutcome& test, unsigned /*version*/) {
  archive & test.passed & test.colors & test.failedBelow & test.iterations & test.tests &
      test.cpuMilliseconds & test.coloring;
}
// clang-format on

namespace {

// Rank 0 sends commands (to each rank, tagged kCommandTag) and, during a
// batch, run indices (kRunTag); the others answer with results (kResultTag).
enum Tag : int { kCommandTag = 1, kRunTag = 2, kResultTag = 3 };

// A command: its kind and two arguments.
//   kQuit status            end with this exit status
//   kCounting               parameters, graph and levels follow by
//                           broadcast; then a batch of fixed-level runs
//   kChromatic              parameters and graph follow by broadcast
//   kStep step top lowest spread
//                           a batch of this step's tests (StepColors)
// A batch: run indices until index 0, which abandons the rank's runs; the
// rank then answers with index 0 and sends nothing more for the batch.
enum Command : int64_t { kQuit = 0, kCounting = 1, kChromatic = 2, kStep = 3 };
using CommandMessage = std::array<int64_t, 5>;

constexpr auto kPollInterval = std::chrono::milliseconds(1);

// Thrown on a rank other than 0 when a stop signal arrives: mpirun sends
// SIGTERM to every rank of the job, and rank 0 alone speaks for it.
struct StopSignalled {};

// Waits until `done` answers true, without spinning; on a rank other than
// 0, a stop signal ends the wait.
template <typename Done>
void awaitUntil(const Done& done) {
  while (!done()) {
    if (stopSignalReceived() != 0) throw StopSignalled{};
    std::this_thread::sleep_for(kPollInterval);
  }
}

void await(mpi::request& request) {
  awaitUntil([&request] { return static_cast<bool>(request.test()); });
}

void commandAll(const mpi::communicator& world, CommandMessage command) {
  for (int rank = 1; rank < world.size(); ++rank) {
    world.send(rank, kCommandTag, command.data(), static_cast<int>(command.size()));
  }
}

// A result message (a run index, then the result, or index 0 alone for a
// rank that stopped its runs) as it arrived, and from where. Every message
// between ranks is a Boost.Serialization archive, broadcasts included: a
// job's ranks always run one build, so no other format is needed.
struct Message {
  int rank = 0;
  std::unique_ptr<mpi::packed_iarchive> archive;
};

// One waiting result message, whatever its size; nothing when none waits.
std::optional<Message> receiveResult(const mpi::communicator& world) {
  const boost::optional<mpi::status> waiting = world.iprobe(mpi::any_source, kResultTag);
  if (!waiting) return std::nullopt;
  int size = 0;
  MPI_Get_count(&static_cast<const MPI_Status&>(*waiting), MPI_PACKED, &size);
  if (size <= 0) throw std::runtime_error("a rank sent a malformed result");
  Message message{waiting->source(),
                  std::make_unique<mpi::packed_iarchive>(world, static_cast<std::size_t>(size))};
  MPI_Recv(message.archive->address(), size, MPI_PACKED, message.rank, kResultTag, MPI_Comm(world),
           MPI_STATUS_IGNORE);
  return message;
}

// Rank 0's view of the other ranks' pools during a batch.
template <typename Result>
class MpiSlots : public RemoteSlots<Result> {
 public:
  MpiSlots(const mpi::communicator& world, int32_t threadsPerRank)
      : world(world), threads(threadsPerRank) {}

  int32_t ranks() const override { return world.size() - 1; }
  int32_t threadsPerRank() const override { return threads; }

  void hand(int32_t rank, int64_t index) override { world.send(rank, kRunTag, index); }

  std::optional<typename RemoteSlots<Result>::Arrival> poll() override {
    std::optional<Message> message = receiveResult(world);
    if (!message) return std::nullopt;
    int64_t index = 0;
    *message->archive >> index;
    if (index == 0) throw std::runtime_error("a rank stopped its runs before it was told to");
    typename RemoteSlots<Result>::Arrival arrival{message->rank, index, Result{}};
    *message->archive >> arrival.result;
    // Made on another rank: rank 0's process clock does not count it.
    if constexpr (std::is_same_v<Result, ColorabilityOutcome>) {
      arrival.result.elsewhereCpuMilliseconds = arrival.result.cpuMilliseconds;
    }
    return arrival;
  }

  void stop() override {
    // After a stop signal the other ranks stop by themselves, and may be
    // gone already.
    if (stopSignalReceived() != 0) return;
    for (int rank = 1; rank < world.size(); ++rank) world.send(rank, kRunTag, int64_t{0});
    for (int stopped = 0; stopped < ranks();) {
      std::optional<Message> message = receiveResult(world);
      if (!message) {
        std::this_thread::sleep_for(kPollInterval);
        continue;
      }
      int64_t index = 0;
      *message->archive >> index;
      if (index == 0) ++stopped;
    }
  }

 private:
  const mpi::communicator& world;
  int32_t threads;
};

// Sends a result message to rank 0 and waits until it has gone.
void sendToRankZero(const mpi::communicator& world, const mpi::packed_oarchive& message) {
  MPI_Request request;
  MPI_Isend(message.address(), static_cast<int>(message.size()), MPI_PACKED, 0, kResultTag,
            MPI_Comm(world), &request);
  awaitUntil([&request] {
    int done = 0;
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
    return done != 0;
  });
}

// A rank's side of a batch: indices in, results out, until index 0.
template <typename Result>
void serveBatch(const mpi::communicator& world, RunPool<Result>& pool) {
  int64_t index = 0;
  mpi::request arrival = world.irecv(0, kRunTag, index);
  for (;;) {
    if (stopSignalReceived() != 0) throw StopSignalled{};
    if (arrival.test()) {
      if (index == 0) break;
      pool.hand(index);
      arrival = world.irecv(0, kRunTag, index);
      continue;
    }
    for (auto& [run, result] : pool.take(kPollInterval)) {
      mpi::packed_oarchive message(world);
      message << run << result;
      sendToRankZero(world, message);
    }
  }
  pool.stop();
  mpi::packed_oarchive stopped(world);
  stopped << int64_t{0};
  sendToRankZero(world, stopped);
}

// Rank 0's side of a batch of fixed-level runs. Rank 0's threads and the
// broadcast's archive are made before any rank is told of the batch: a
// failure to make them (no memory, a thread that cannot start) then ends
// rank 0's program while the other ranks still wait for a command, which
// endWorkers sends, rather than in a broadcast or a batch.
RunBatchEnd countOnRanks(const mpi::communicator& world, const RunParameters& parameters,
                         const CountingWork& work, RunRange range,
                         const RunConsumer<CountingRun>& consume, const BatchControl& control) {
  RunPool<CountingRun> pool(parameters.workers, countingJob(parameters, work));
  if (world.size() > 1) {
    mpi::packed_oarchive archive(world);
    archive << parameters;
    save(archive, work);
    commandAll(world, {kCounting, 0, 0, 0, 0});
    mpi::broadcast(world, archive, 0);
  }
  MpiSlots<CountingRun> slots(world, pool.size());
  return runBatch<CountingRun>(pool, &slots, range, consume, control);
}

// Rank 0's side of a bisection step. The graph and parameters go out with a
// search's first step (or a new graph). As in countOnRanks, what may fail
// is made before the other ranks are told.
std::optional<ColorabilityOutcome> stepOnRanks(const mpi::communicator& world,
                                               const Graph*& sentGraph,
                                               const RunParameters& parameters, const Graph& graph,
                                               int32_t step, const StepColors& colors,
                                               const std::function<bool()>& halted) {
  RunPool<ColorabilityOutcome> pool(parameters.workers, stepJob(parameters, graph, step, colors));
  if (world.size() > 1) {
    if (step == 1 || sentGraph != &graph) {
      mpi::packed_oarchive archive(world);
      archive << parameters << graph;
      commandAll(world, {kChromatic, 0, 0, 0, 0});
      mpi::broadcast(world, archive, 0);
      sentGraph = &graph;
    }
    commandAll(world, {kStep, step, colors.top, colors.lowest, colors.spread ? 1 : 0});
  }
  MpiSlots<ColorabilityOutcome> slots(world, pool.size());
  return runStep(pool, &slots, static_cast<int64_t>(pool.size()) * world.size(), halted);
}

}  // namespace

RunExecutor mpiExecutor(const mpi::communicator& world) {
  RunExecutor executor;
  executor.processes = world.size();
  executor.countingRuns = [&world](const RunParameters& parameters, const CountingWork& work,
                                   RunRange range, const RunConsumer<CountingRun>& consume,
                                   const BatchControl& control) {
    return countOnRanks(world, parameters, work, range, consume, control);
  };
  auto sentGraph = std::make_shared<const Graph*>(nullptr);
  executor.colorabilityStep = [&world, sentGraph](
                                  const RunParameters& parameters, const Graph& graph, int32_t step,
                                  const StepColors& colors, const std::function<bool()>& halted) {
    return stepOnRanks(world, *sentGraph, parameters, graph, step, colors, halted);
  };
  return executor;
}

void endWorkers(const mpi::communicator& world, int status) {
  commandAll(world, {kQuit, status, 0, 0, 0});
}

namespace {

int serveCommands(const mpi::communicator& world) {
  RunParameters parameters;
  Graph graph;
  OwnedParts partGraphs;
  CountingWork work;
  const auto receiveBroadcast = [&world](auto&... values) {
    mpi::packed_iarchive archive(world);
    mpi::broadcast(world, archive, 0);
    (archive >> ... >> values);
  };
  for (;;) {
    CommandMessage command{};
    mpi::request arrival =
        world.irecv(0, kCommandTag, command.data(), static_cast<int>(command.size()));
    await(arrival);
    switch (command[0]) {
      case kQuit:
        return static_cast<int>(command[1]);
      case kCounting: {
        mpi::packed_iarchive archive(world);
        mpi::broadcast(world, archive, 0);
        archive >> parameters;
        load(archive, work, partGraphs);
        RunPool<CountingRun> pool(parameters.workers, countingJob(parameters, work));
        serveBatch(world, pool);
        break;
      }
      case kChromatic:
        receiveBroadcast(parameters, graph);
        break;
      case kStep: {
        RunPool<ColorabilityOutcome> pool(
            parameters.workers,
            stepJob(parameters, graph, static_cast<int32_t>(command[1]),
                    StepColors{static_cast<int32_t>(command[2]), static_cast<int32_t>(command[3]),
                               command[4] != 0}));
        serveBatch(world, pool);
        break;
      }
      default:
        throw std::runtime_error("unknown command from rank 0");
    }
  }
}

}  // namespace

int serveRuns(const mpi::communicator& world) {
  try {
    return serveCommands(world);
  } catch (const StopSignalled&) {
    return 128 + stopSignalReceived();
  }
}

}  // namespace tintara
