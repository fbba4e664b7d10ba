#include "engine/mpi_executor.h"

#include "engine/halt.h"

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
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
  archive & p.N & p.rho & p.colors & p.seed & p.workers & p.move;
}

template <typename Archive>
void serialize(Archive& archive, Graph& graph, unsigned /*version*/) {
  archive & graph.vertexCount & graph.edgeCount & graph.neighbourStart & graph.neighbourList &
      graph.idBase;
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
//   kStep step k            a batch of this step's tests
// A batch: run indices until index 0, which abandons the rank's runs; the
// rank then answers with index 0 and sends nothing more for the batch.
enum Command : int64_t { kQuit = 0, kCounting = 1, kChromatic = 2, kStep = 3 };
using CommandMessage = std::array<int64_t, 3>;

constexpr auto kPollInterval = std::chrono::milliseconds(1);

// Thrown on a rank other than 0 when a stop signal arrives: mpirun sends
// SIGTERM to every rank of the job, and rank 0 alone speaks for it.
struct StopSignalled {};

// Waits for `request` without spinning; on a rank other than 0, a stop
// signal ends the wait.
mpi::status await(mpi::request& request) {
  for (;;) {
    if (boost::optional<mpi::status> status = request.test()) return *status;
    if (stopSignalReceived() != 0) throw StopSignalled{};
    std::this_thread::sleep_for(kPollInterval);
  }
}

void commandAll(const mpi::communicator& world, CommandMessage command) {
  for (int rank = 1; rank < world.size(); ++rank) {
    world.send(rank, kCommandTag, command.data(), static_cast<int>(command.size()));
  }
}

// A result on the wire: its run index, then its fields' bytes. Results go
// only between ranks of one job, one executable on one kind of machine, so
// the fields' own byte layout is the format.
class WireWriter {
 public:
  template <typename T>
  void put(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    const auto* first = reinterpret_cast<const char*>(&value);
    bytes.insert(bytes.end(), first, first + sizeof value);
  }
  void putInts(const std::vector<int32_t>& values) {
    put(static_cast<int64_t>(values.size()));
    const auto* first = reinterpret_cast<const char*>(values.data());
    bytes.insert(bytes.end(), first, first + values.size() * sizeof(int32_t));
  }
  std::vector<char> bytes;
};

class WireReader {
 public:
  explicit WireReader(const std::vector<char>& bytes)
      : at(bytes.data()), end(bytes.data() + bytes.size()) {}
  template <typename T>
  T get() {
    T value;
    take(&value, sizeof value);
    return value;
  }
  std::vector<int32_t> getInts() {
    const auto count = get<int64_t>();
    if (count < 0 || static_cast<uint64_t>(count) > static_cast<uint64_t>(end - at) / 4) {
      throw std::runtime_error("a rank sent a malformed result");
    }
    std::vector<int32_t> values(static_cast<std::size_t>(count));
    take(values.data(), values.size() * sizeof(int32_t));
    return values;
  }

 private:
  void take(void* target, std::size_t size) {
    if (static_cast<std::size_t>(end - at) < size) {
      throw std::runtime_error("a rank sent a malformed result");
    }
    std::memcpy(target, at, size);
    at += size;
  }
  const char* at;
  const char* end;
};

void encode(WireWriter& wire, const CountingRun& run) {
  const WideDoubleParts parts = splitWide(run.estimate);
  wire.put(parts.mantissa);
  wire.put(parts.exponent);
  wire.put(run.cpuMilliseconds);
}

void encode(WireWriter& wire, const ColorabilityOutcome& test) {
  wire.put(static_cast<uint8_t>(test.passed));
  wire.put(test.iterations);
  wire.put(test.tests);
  wire.put(test.cpuMilliseconds);
  wire.putInts(test.coloring);
}

template <typename Result>
Result decode(WireReader& wire);

template <>
CountingRun decode<CountingRun>(WireReader& wire) {
  CountingRun run;
  WideDoubleParts parts;
  parts.mantissa = wire.get<double>();
  parts.exponent = wire.get<int64_t>();
  run.estimate = joinWide(parts);
  run.cpuMilliseconds = wire.get<int64_t>();
  return run;
}

template <>
ColorabilityOutcome decode<ColorabilityOutcome>(WireReader& wire) {
  ColorabilityOutcome test;
  test.passed = wire.get<uint8_t>() != 0;
  test.iterations = wire.get<double>();
  test.tests = wire.get<int32_t>();
  test.cpuMilliseconds = wire.get<int64_t>();
  // Made on another rank: rank 0's process clock does not count it.
  test.elsewhereCpuMilliseconds = test.cpuMilliseconds;
  test.coloring = wire.getInts();
  return test;
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
    std::vector<char> bytes;
    int rank = 0;
    if (!receive(bytes, rank)) return std::nullopt;
    WireReader wire(bytes);
    const auto index = wire.get<int64_t>();
    if (index == 0) throw std::runtime_error("a rank stopped its runs before it was told to");
    return typename RemoteSlots<Result>::Arrival{rank, index, decode<Result>(wire)};
  }

  void stop() override {
    // After a stop signal the other ranks stop by themselves, and may be
    // gone already.
    if (stopSignalReceived() != 0) return;
    for (int rank = 1; rank < world.size(); ++rank) world.send(rank, kRunTag, int64_t{0});
    for (int stopped = 0; stopped < ranks();) {
      std::vector<char> bytes;
      int rank = 0;
      if (!receive(bytes, rank)) {
        std::this_thread::sleep_for(kPollInterval);
        continue;
      }
      if (WireReader(bytes).get<int64_t>() == 0) ++stopped;
    }
  }

 private:
  // One waiting result message, whatever its size; false when none waits.
  bool receive(std::vector<char>& bytes, int& rank) {
    const boost::optional<mpi::status> waiting = world.iprobe(mpi::any_source, kResultTag);
    if (!waiting) return false;
    const boost::optional<int> size = waiting->count<char>();
    if (!size || *size < 0) throw std::runtime_error("a rank sent a malformed result");
    bytes.resize(static_cast<std::size_t>(*size));
    rank = waiting->source();
    world.recv(rank, kResultTag, bytes.data(), *size);
    return true;
  }

  const mpi::communicator& world;
  int32_t threads;
};

void sendToRankZero(const mpi::communicator& world, const WireWriter& wire) {
  mpi::request sent =
      world.isend(0, kResultTag, wire.bytes.data(), static_cast<int>(wire.bytes.size()));
  await(sent);
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
    for (const auto& [run, result] : pool.take(kPollInterval)) {
      WireWriter wire;
      wire.put(run);
      encode(wire, result);
      sendToRankZero(world, wire);
    }
  }
  pool.stop();
  WireWriter stopped;
  stopped.put(int64_t{0});
  sendToRankZero(world, stopped);
}

// Rank 0's side of a batch of fixed-level runs. Rank 0's threads and the
// broadcast's archive are made before any rank is told of the batch: a
// failure to make them (no memory, a thread that cannot start) then ends
// rank 0's program while the other ranks still wait for a command, which
// endWorkers sends, rather than in a broadcast or a batch.
RunBatchEnd countOnRanks(const mpi::communicator& world, const RunParameters& parameters,
                         const Graph& graph, const LevelList& levels, RunRange range,
                         const RunConsumer<CountingRun>& consume, const BatchControl& control) {
  RunPool<CountingRun> pool(parameters.workers, countingJob(parameters, graph, levels));
  if (world.size() > 1) {
    mpi::packed_oarchive archive(world);
    archive << parameters << graph << levels;
    commandAll(world, {kCounting, 0, 0});
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
                                               int32_t step, int32_t k,
                                               const std::function<bool()>& halted) {
  RunPool<ColorabilityOutcome> pool(parameters.workers, stepJob(parameters, graph, step, k));
  if (world.size() > 1) {
    if (step == 1 || sentGraph != &graph) {
      mpi::packed_oarchive archive(world);
      archive << parameters << graph;
      commandAll(world, {kChromatic, 0, 0});
      mpi::broadcast(world, archive, 0);
      sentGraph = &graph;
    }
    commandAll(world, {kStep, step, k});
  }
  MpiSlots<ColorabilityOutcome> slots(world, pool.size());
  return runStep(pool, &slots, static_cast<int64_t>(pool.size()) * world.size(), halted);
}

}  // namespace

RunExecutor mpiExecutor(const mpi::communicator& world) {
  RunExecutor executor;
  executor.processes = world.size();
  executor.countingRuns = [&world](const RunParameters& parameters, const Graph& graph,
                                   const LevelList& levels, RunRange range,
                                   const RunConsumer<CountingRun>& consume,
                                   const BatchControl& control) {
    return countOnRanks(world, parameters, graph, levels, range, consume, control);
  };
  auto sentGraph = std::make_shared<const Graph*>(nullptr);
  executor.colorabilityStep = [&world, sentGraph](const RunParameters& parameters,
                                                  const Graph& graph, int32_t step, int32_t k,
                                                  const std::function<bool()>& halted) {
    return stepOnRanks(world, *sentGraph, parameters, graph, step, k, halted);
  };
  return executor;
}

void endWorkers(const mpi::communicator& world, int status) {
  commandAll(world, {kQuit, status, 0});
}

namespace {

int serveCommands(const mpi::communicator& world) {
  RunParameters parameters;
  Graph graph;
  LevelList levels;
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
        receiveBroadcast(parameters, graph, levels);
        RunPool<CountingRun> pool(parameters.workers, countingJob(parameters, graph, levels));
        serveBatch(world, pool);
        break;
      }
      case kChromatic:
        receiveBroadcast(parameters, graph);
        break;
      case kStep: {
        RunPool<ColorabilityOutcome> pool(
            parameters.workers, stepJob(parameters, graph, static_cast<int32_t>(command[1]),
                                        static_cast<int32_t>(command[2])));
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
