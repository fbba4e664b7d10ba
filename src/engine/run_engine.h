// The one engine that makes a mode's runs, on this process's threads and on
// the other ranks of an MPI job alike.
//
// A run is a unit of work fixed by its index alone (a fixed-level run of
// counting mode, a colourability test of chromatic mode): it draws from its
// own stream of the seed, so which thread or rank makes it changes nothing
// but when its result is known. The engine therefore
//   - hands indices first, first + 1, ... (up to `last`) to free slots, each
//     slot holding one run at a time: this process's pool threads, then the
//     threads of every other rank;
//   - hands the results to the consumer strictly in index order, on the
//     calling thread, so that a decision to stop after run m is the same
//     whatever the number of slots;
//   - once the consumer declines more, or a halt is asked for, abandons
//     every run still under way (all of them past the last one consumed)
//     and waits until every slot has stopped, so nothing of the batch is
//     left behind;
//   - carries the first failure, of a run or of the consumer, out to the
//     caller once every slot has stopped.
// A rank other than 0 only moves indices in and results out (RemoteSlots on
// rank 0, a RunPool fed by messages on the others).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "engine/worker_thread.h"

namespace tintara {

// Asked by a run before each of its levels: true once its result can no
// longer be used, and the run then returns nothing as soon as it can.
using AbandonQuery = std::function<bool()>;

template <typename Result>
using RunJob = std::function<std::optional<Result>(int64_t index, const AbandonQuery& abandoned)>;

// A pool of threads, each making one handed run at a time. Finished runs
// wait in the pool until taken. Thread-safe: hand() and take() are called
// from one thread, the runs on the pool's own.
template <typename Result>
class RunPool {
 public:
  // Starts max(threads, 1) threads; throws ThreadStartError when one cannot
  // be started (those already started are stopped first).
  RunPool(int32_t threads, RunJob<Result> job) : job(std::move(job)) {
    const int32_t count = threads > 1 ? threads : 1;
    workers.reserve(static_cast<std::size_t>(count));
    try {
      for (int32_t t = 0; t < count; ++t) workers.emplace_back([this] { work(); });
    } catch (...) {
      stop();
      throw;
    }
  }
  ~RunPool() { stop(); }
  RunPool(const RunPool&) = delete;
  RunPool& operator=(const RunPool&) = delete;

  int32_t size() const { return static_cast<int32_t>(workers.size()); }

  // Queues run `index` for the next free thread.
  void hand(int64_t index) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      todo.push_back(index);
    }
    wake.notify_one();
  }

  // The runs finished since the last call, waiting up to `patience` for one
  // when there is none yet. Rethrows the first exception of a run.
  std::vector<std::pair<int64_t, Result>> take(std::chrono::microseconds patience) {
    std::unique_lock<std::mutex> lock(mutex);
    done.wait_for(lock, patience, [this] { return failure || !finished.empty(); });
    if (failure) std::rethrow_exception(failure);
    return std::exchange(finished, {});
  }

  // Abandons every run under way or queued and ends the threads. Idempotent.
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    for (WorkerThread& worker : workers) worker.join();
  }

 private:
  void work() {
    const AbandonQuery abandoned = [this] { return stopping.load(); };
    for (;;) {
      int64_t index = 0;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [this] { return stopping.load() || !todo.empty(); });
        if (stopping) return;
        index = todo.front();
        todo.pop_front();
      }
      try {
        std::optional<Result> result = job(index, abandoned);
        if (!result) return;  // abandoned: the pool is stopping
        {
          std::lock_guard<std::mutex> lock(mutex);
          finished.emplace_back(index, std::move(*result));
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

  RunJob<Result> job;
  std::mutex mutex;
  std::condition_variable wake;  // a run was handed, or the pool stops
  std::condition_variable done;  // a run finished or failed
  std::deque<int64_t> todo;
  std::vector<std::pair<int64_t, Result>> finished;
  std::atomic<bool> stopping{false};
  std::exception_ptr failure;
  std::vector<WorkerThread> workers;  // last: started once the rest exists
};

// The slots of the other ranks of an MPI job, seen from rank 0: `ranks()`
// ranks numbered from 1, each holding `threadsPerRank()` runs at a time.
template <typename Result>
class RemoteSlots {
 public:
  struct Arrival {
    int32_t rank = 0;
    int64_t index = 0;
    Result result;
  };
  virtual ~RemoteSlots() = default;
  virtual int32_t ranks() const = 0;
  virtual int32_t threadsPerRank() const = 0;
  // Sends run `index` to `rank`.
  virtual void hand(int32_t rank, int64_t index) = 0;
  // One result that has arrived, or nothing; never waits.
  virtual std::optional<Arrival> poll() = 0;
  // Abandons every run under way on the other ranks and returns once each
  // of them has stopped; results that arrive meanwhile are dropped. After a
  // stop signal, which every rank of the job receives, it does not wait.
  virtual void stop() = 0;
};

// Which indices a batch of runs may use.
struct RunRange {
  int64_t first = 1;
  int64_t last = std::numeric_limits<int64_t>::max();
};

// How a batch of runs ended.
struct RunBatchEnd {
  int64_t lastConsumed = 0;  // first - 1 when none was
  bool exhausted = false;    // every index of the range was consumed
  bool halted = false;       // a halt ended the batch first
};

// What else may end a batch: `halted` is asked at every wait (every
// millisecond or so with other ranks, within 0.2 s alone), and once it
// answers true `onHalt` is called on the calling thread at once, before
// any slot is stopped, so that what must be said of a halt goes out first,
// and the runs under way are then abandoned.
// `waiting`, when given, is called at every wait too, before it: work
// that must not wait for the next result (the journal's sync).
struct BatchControl {
  std::function<bool()> halted;
  std::function<void()> onHalt;
  std::function<void()> waiting;
};

// Takes the results in index order; false ends the batch.
template <typename Result>
using RunConsumer = std::function<bool(int64_t index, Result&& result)>;

// Makes runs range.first, range.first + 1, ... on `pool` and `remote` (none
// for a single process) and consumes them in order until the consumer
// declines, range.last has been consumed or `control` halts the batch.
// Returns once every slot has stopped; rethrows the first failure then.
template <typename Result>
RunBatchEnd runBatch(RunPool<Result>& pool, RemoteSlots<Result>* remote, RunRange range,
                     const RunConsumer<Result>& consume, const BatchControl& control = {}) {
  int64_t next = range.first;
  // rank 0 is this process's pool.
  const auto handTo = [&](int32_t rank) {
    if (next > range.last) return;
    const int64_t index = next++;
    if (rank == 0) {
      pool.hand(index);
    } else {
      remote->hand(rank, index);
    }
  };
  RunBatchEnd end{range.first - 1, false};
  std::exception_ptr failure;
  try {
    for (int32_t t = 0; t < pool.size(); ++t) handTo(0);
    if (remote) {
      for (int32_t rank = 1; rank <= remote->ranks(); ++rank) {
        for (int32_t t = 0; t < remote->threadsPerRank(); ++t) handTo(rank);
      }
    }
    // Results that came before an earlier one, by index.
    std::map<int64_t, Result> ready;
    // Alone, the pool's condition variable wakes the wait; with other ranks
    // their results are polled for.
    const auto patience = remote && remote->ranks() > 0
                              ? std::chrono::microseconds(std::chrono::milliseconds(1))
                              : std::chrono::microseconds(std::chrono::milliseconds(200));
    for (bool more = true; more && end.lastConsumed < range.last;) {
      if (control.halted && control.halted()) {
        end.halted = true;
        if (control.onHalt) control.onHalt();
        break;
      }
      if (control.waiting) control.waiting();
      if (remote) {
        while (std::optional<typename RemoteSlots<Result>::Arrival> arrival = remote->poll()) {
          ready.emplace(arrival->index, std::move(arrival->result));
          handTo(arrival->rank);
        }
      }
      for (auto& [index, result] : pool.take(patience)) {
        ready.emplace(index, std::move(result));
        handTo(0);
      }
      for (auto it = ready.find(end.lastConsumed + 1); more && it != ready.end();
           it = ready.find(end.lastConsumed + 1)) {
        Result result = std::move(it->second);
        ready.erase(it);
        ++end.lastConsumed;
        more = consume(end.lastConsumed, std::move(result));
      }
    }
    end.exhausted = end.lastConsumed >= range.last;
  } catch (...) {
    failure = std::current_exception();
  }
  // Every run still under way comes after the last one consumed.
  pool.stop();
  if (remote) remote->stop();
  if (failure) std::rethrow_exception(failure);
  return end;
}

// Runs job(1), job(2), ... on `workers` threads of this process and hands
// the results to `consume` in order until it declines; see runBatch.
template <typename Result>
void runInOrder(int32_t workers, const RunJob<Result>& job, const RunConsumer<Result>& consume) {
  RunPool<Result> pool(workers, job);
  runBatch<Result>(pool, nullptr, RunRange{}, consume);
}

}  // namespace tintara
