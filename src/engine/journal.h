// A counting experiment's journal (--journal FILE): what fixes its runs,
// then one line per fixed-level run as the run is consumed, so that an
// experiment stopped at any moment resumes where it stopped.
//
//   tintara-journal 1
//   graph HASH             graphHash() of the instance, 16 hex digits
//   colors K
//   N n
//   rho R
//   seed S
//   levels COUNT L1 L2 ...   the pilot's levels
//   coloring COUNT C1 ...    the pilot's proper colouring, in vertex order
//   run I M E MS             one a run, in run order from 1
//
// Doubles are written with 17 significant digits, which read back to the
// same double; a run's estimate is M * 2^E (splitWide's parts: 0.5 <= |M| <
// 1, or M = E = 0), exact at any exponent, and MS is its processor time in
// milliseconds, from which the report's figure is computed again.
//
// The header is written once, to a temporary file renamed over FILE, so a
// journal never holds part of a header. Each run line goes out in one
// write() as the run is consumed and is synced to the disk at most once a
// second: a process killed at any moment loses at most the runs in flight
// or waiting for an earlier one, and a machine that fails at most the last
// second's. A last line cut short (no line end, or a tail of zero bytes, as
// a machine failure can leave) is cut off when the journal is opened again;
// any other damage is refused, since the journal holds the only record of
// hours of runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_engine.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/experiment_runs.h"

namespace tintara {

struct JournalHeader {
  uint64_t graphHash = 0;
  int32_t colors = 0;
  int32_t N = 0;
  double rho = 0.0;
  uint64_t seed = 0;
  LevelList levels;
  std::vector<int32_t> coloring;
};

struct JournalContents {
  JournalHeader header;
  std::vector<CountingRun> runs;  // runs 1, 2, ... in order
  uint64_t completeBytes = 0;     // the file up to its last complete line
  bool tornTail = false;          // something after completeBytes is cut off
};

// The journal at `path`, or nothing when no file or an empty one is there.
// Throws InputError ("journal PATH ...") for a file that is not a journal
// or is damaged anywhere but in a torn last line.
std::optional<JournalContents> readJournal(const std::string& path);

// The seed of the journal at `path`, when there is a readable one.
std::optional<uint64_t> journalSeed(const std::string& path);

// The first field in which the experiments differ, as "colors 3 there, 4
// here" (graph, colors, N, rho, then the seed when `compareSeed`), or
// nothing when they are the same experiment.
std::optional<std::string> journalDifference(const JournalHeader& there, const JournalHeader& here,
                                             bool compareSeed);

// Appends run lines to a journal. Throws WriteError ("journal PATH:
// reason") when a write or a sync fails.
class JournalWriter {
 public:
  // Writes a new journal holding `header` (replacing an empty file).
  static JournalWriter start(const std::string& path, const JournalHeader& header);
  // Reopens the journal read as `contents`, first cutting off a torn tail.
  static JournalWriter resume(const std::string& path, const JournalContents& contents);

  JournalWriter(JournalWriter&& other) noexcept;
  JournalWriter& operator=(JournalWriter&&) = delete;
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;
  // Syncs and closes; a failure here is no longer reported (call finish).
  ~JournalWriter();

  void record(int64_t run, const CountingRun& result);
  // Syncs what was recorded.
  void finish();

 private:
  JournalWriter(std::string path, int fd);
  void sync();

  std::string path;
  int fd = -1;
  std::chrono::steady_clock::time_point lastSync;
  bool unsynced = false;
};

// Makes runs first .. last for `consume`: those `recorded` holds, then new
// ones from `make`, each new one recorded by `writer` (when there is one)
// before it is consumed. Returns how the new runs ended (a batch of none
// when the recorded ones sufficed).
RunBatchEnd journalledRuns(
    const std::vector<CountingRun>& recorded, JournalWriter* writer, RunRange range,
    const RunConsumer<CountingRun>& consume,
    const std::function<RunBatchEnd(RunRange range, const RunConsumer<CountingRun>& consume)>&
        make);

}  // namespace tintara
