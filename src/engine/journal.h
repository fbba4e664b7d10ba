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
// The journal is locked (flock) while a run of the program has it open, so
// that a second run given the same FILE is refused rather than appending
// runs of its own or cutting the first one's last line. The header goes out
// in one write() and is synced before any run line follows. Each run line
// goes out in one write() as the run is consumed and is synced to the disk
// at most once a second: a process killed at any moment loses at most the
// runs in flight or waiting for an earlier one, and a machine that fails at
// most the last second's. A last line cut short (no line end, or a tail of
// zero bytes, as a machine failure can leave) is cut off when the journal
// is opened again, and so is a header cut short, which holds no run; any
// other damage is refused, since the journal holds the only record of hours
// of runs. (A header written to a temporary file and renamed into place
// would not be cut short, but the rename would slip from under the lock.)
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
};

// The seed of the journal at `path`, when there is a readable one.
std::optional<uint64_t> journalSeed(const std::string& path);

// The first field in which the experiments differ, as "colors 3 there, 4
// here" (graph, colors, N, rho, then the seed when `compareSeed`), or
// nothing when they are the same experiment.
std::optional<std::string> journalDifference(const JournalHeader& there, const JournalHeader& here,
                                             bool compareSeed);

// A journal file, open and locked for this run of the program. Throws
// WriteError ("journal PATH: reason") when a write or a sync fails.
class Journal {
 public:
  // Opens `path` (creating it when there is none) and reads it. Throws
  // InputError ("journal PATH ...") for a file in use by another run, one
  // that is not a journal, or one damaged anywhere but in its last line.
  static Journal open(const std::string& path);

  Journal(Journal&& other) noexcept;
  Journal& operator=(Journal&&) = delete;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  // Syncs and closes (a failure here is no longer reported: call finish);
  // a file this run created and left empty is removed.
  ~Journal();

    // What the journal holds: nothing for a new one.
  const std::optional<JournalContents>& contents() const { return held; }
  // Bytes past the last complete line (or the whole of a header cut
  // short), which are cut off before anything is written.
  uint64_t tornBytes() const { return torn; }

  // Starts a new journal: writes `header` into the file, emptied.
  void start(const JournalHeader& header);
  // Goes on with the journal read: cuts off its torn bytes.
  void resume();
  void record(int64_t run, const CountingRun& result);
  // Syncs what was written.
  void finish();

 private:
  Journal(std::string path, int fd, bool created);
  void sync();

  std::string path;
  int fd = -1;
  bool created = false;
  bool written = false;
    std::optional<JournalContents> held;
  uint64_t torn = 0;
  uint64_t keptBytes = 0;
  std::chrono::steady_clock::time_point lastSync;
  bool unsynced = false;
};

// Makes runs first .. last for `consume`: those `recorded` holds, then new
// ones from `make`, each new one recorded in `journal` (when there is one)
// before it is consumed. Returns how the new runs ended (a batch of none
// when the recorded ones sufficed).
RunBatchEnd journalledRuns(
    const std::vector<CountingRun>& recorded, Journal* journal, RunRange range,
    const RunConsumer<CountingRun>& consume,
    const std::function<RunBatchEnd(RunRange range, const RunConsumer<CountingRun>& consume)>&
        make);

}  // namespace tintara
