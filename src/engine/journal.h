// A counting experiment's journal (--journal FILE): what fixes its runs,
// then one line per fixed-level run as the run is consumed, so that an
// experiment stopped at any moment resumes where it stopped. Reading,
// checking and writing a journal all happen here.
//
// Format version 3, every line ending in " ~HHHHHHHH", the CRC-32C of the
// previous line's checksum (its four bytes, most significant first; nothing
// before the first line) followed by the line's bytes before the blank (8
// lower-case hex digits): each line is tied to the line before it, so a
// line moved, or spliced in from another journal, breaks the chain where it
// stands.
//
//   tintara-journal 3
//   graph HASH             graphHash() of the instance, 16 hex digits
//   colors K
//   N n
//   rho R
//   seed S
//   decompose 0
//   levels COUNT L1 L2 ...   the pilot's levels
//   coloring COUNT C1 ...    the pilot's proper colouring, in vertex order
//   run I M E MS             one a run, in run order from 1
//
// With --decompose 1 the graph is counted by parts (exact/parts.h): the
// decompose line says 1, and the plan's version, the exact factor and every
// hard part's pilot take the place of the one pilot's lines:
//
//   decompose 1
//   plan V                   the plan's version (kPartsPlanVersion)
//   exact M E                the exact part of the probability, M * 2^E as below
//   parts P
//   levels ...               part 1's levels, then its colouring (its block's,
//   coloring ...             also for a part split on its kernel); then part 2's, ...
//   run I M E MS M1 E1 ...   with two parts or more (plan 2), each part's
//                            estimate after the run's (partEstimatesKept)
//
// Doubles are written with 17 significant digits, which read back to the
// same double; a run's estimate is M * 2^E (splitWide's parts: 0.5 <= M <
// 1, or M = E = 0), exact at any exponent, and MS is its processor time in
// milliseconds, from which the report's figure is computed again.
//
// Earlier versions still resume, and their new runs are recorded in their
// own version, so that one file never mixes formats; standard error is told
// what they lack. Version 2 has the same lines, each checksum over its own
// line alone, and no plan line: by parts, its plan is version 1 (blocks
// split whole), which the program keeps for such journals. Version 1 has no
// checksums and no decompose line.
//
// What is refused as damage: a line whose checksum fails, and values no
// run of the program writes, whatever the version: levels that are not
// whole numbers, that decrease after the second, or whose first is not the
// part's lowest (minus the vertex count; a kernel's, minus twice its
// edges) or last not 0; a colouring that is not proper; an
// estimate that is neither 0 nor within [N^-(L-1), 1] (each of the L - 1
// level factors is elites / N with at least one elite); a run number out
// of order; a run's estimate that is not the product of its parts'. The
// checksum is what catches the rest, a changed seed or a changed digit of
// an estimate. (With parts, the range is the exact factor times the product
// of each part's.) Only a last line cut short (no line end,
// or a tail of zero bytes, as a machine failure can leave) is cut off, with
// a note; a header cut short holds no run and is written afresh, and so is
// a journal of zero bytes only (a header whose blocks never reached the
// disk). Nothing is cut from a journal that is refused.
//
// Locking. The journal is locked (flock) while a run of the program has it
// open, so that a second run given the same FILE is refused rather than
// appending runs of its own. The file is opened (or created), then locked,
// and only then is its content read and decided on; after the lock the
// path is checked to still name the locked file (another run may have
// removed it meanwhile), else it is opened again. A run removes only a
// file that it created, that it holds the lock on, and that holds no run
// (its pilot stagnated, say): never one that another run holds.
//
// Durability. The header goes out in one write() and is synced before any
// run line follows. Each run line goes out in one write() as the run is
// consumed, and reaches the disk within a second: a thread of the
// journal's own syncs it half a second after the first unsynced line
// (io/file_syncer.h), so that no caller waits for a busy disk. A process
// killed at any moment loses at most the runs in flight or waiting for an
// earlier one.
//
// A journal that may be read but not written (its permissions, a read-only
// mount) still reports a complete experiment; the caller refuses it when
// runs remain to be made.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_engine.h"
#include "graph/graph.h"
#include "io/file_syncer.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/experiment_runs.h"

namespace tintara {

// What fixes one part's runs: its pilot's levels and proper colouring.
struct JournalPart {
  LevelList levels;
  std::vector<int32_t> coloring;
};

struct JournalHeader {
  uint64_t graphHash = 0;
  int32_t colors = 0;
  int32_t N = 0;
  double rho = 0.0;
  uint64_t seed = 0;
  bool decompose = false;
  WideDouble exactFactor = 1;      // with decompose: the exact blocks' product
  std::vector<JournalPart> parts;  // without decompose, one: the whole graph's
  // With decompose: the version of the plan that made the parts
  // (kPartsPlanVersion, or an older one a journal was written with), 0
  // without.
  int32_t plan = 0;
};

// Whether the run lines of a journal with this header carry each part's
// estimate beside the run's: with two parts or more, from plan version 2
// on, where the report multiplies the parts' means.
bool partEstimatesKept(const JournalHeader& header);

struct JournalContents {
  int version = 2;
  JournalHeader header;
  std::vector<CountingRun> runs;  // runs 1, 2, ... in order
};

// The header of the journal at `path`, when there is a readable one: for
// the settings a run takes from the journal it resumes (its seed, and its
// --decompose when the command line names none).
std::optional<JournalHeader> journalHeader(const std::string& path);

// The first field in which the experiments differ, as "colors 3 there, 4
// here" (graph, colors, N, rho, decompose, then the seed when
// `compareSeed`), or nothing when they are the same experiment.
std::optional<std::string> journalDifference(const JournalHeader& there, const JournalHeader& here,
                                             bool compareSeed);

// What a part of this experiment is: the graph its recorded colouring must
// be proper on (the block, for a part split on its kernel) and the first
// level its pilot sets.
struct JournalPartCheck {
  const Graph* graph = nullptr;
  double firstLevel = 0.0;
};

// A journal file, open and locked for this run of the program. Throws
// WriteError ("journal PATH: reason") when a write or a sync fails.
class Journal {
 public:
  // Opens `path` (creating it when there is none), locks it and reads it.
  // Throws InputError ("journal PATH ...") for a file in use by another
  // run, one that is not a journal, one damaged anywhere but in its last
  // line, or one that cannot be opened even for reading.
  static Journal open(const std::string& path);

  // The journal of this experiment, read and checked: open(), then the
  // experiment it holds compared with `here` (InputError "journal PATH
  // belongs to another experiment: ..."), and its parts' levels and
  // colourings checked against their graphs, the whole graph's first
  // (InputError "journal PATH is damaged: ..."). A torn last line is cut
  // off (when the journal may be written) with a note.
  static Journal openFor(const std::string& path, const JournalHeader& here, bool compareSeed,
                         const std::vector<JournalPartCheck>& parts);

  Journal(Journal&& other) noexcept;
  Journal& operator=(Journal&&) = delete;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  // Syncs and closes (a failure here is no longer reported: call finish);
  // a file this run created, locked and never wrote to is removed.
  ~Journal();

  // What the journal holds: nothing for a new one.
  const std::optional<JournalContents>& contents() const { return held; }
  // Bytes past the last complete line (or the whole of a header cut
  // short), which are cut off before anything is written.
  uint64_t tornBytes() const { return torn; }
  // What standard error should be told of the journal as it was read (a
  // version without checksums, a header written afresh, a line cut off).
  const std::vector<std::string>& notes() const { return said; }
  // Whether the file may be written; when not, writeFailure() tells why
  // ("journal PATH cannot be written: Permission denied").
  bool writable() const { return writeErrno == 0; }
  std::string writeFailure() const;

  // Starts a new journal: writes `header` into the file, emptied.
  void start(const JournalHeader& header);
  // Goes on with the journal read: cuts off its torn bytes.
  void resume();
  void record(int64_t run, const CountingRun& result);
  // Throws WriteError when a sync of the lines written has failed; called
  // while the runs are waited for, so that a failure is told however long
  // the next run takes.
  void checkSynced();
  // Syncs what was written.
  void finish();

 private:
  Journal(std::string path, int fd, bool created);
  void sync();
  bool namesThisFile() const;

  std::string path;
  std::string createdPath;  // the name the file has, links followed (createdName)
  int fd = -1;
  bool created = false;  // this run made the file
  bool locked = false;
  bool written = false;
  int writeErrno = 0;  // why the file may not be written, or 0
  int version = 3;     // of the lines this run appends
  // The checksum of the last line, which the next line's chains to (from
  // version 3 on).
  std::optional<uint32_t> chain;
  std::optional<JournalContents> held;
  uint64_t torn = 0;
  uint64_t keptBytes = 0;
  std::vector<std::string> said;
  // Syncs the run lines, made with the first of them.
  std::unique_ptr<FileSyncer> syncer;
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

// Fault injection for the tests of two runs racing for one journal: called
// with the path at each step named, on the thread that takes it. Tests set
// it before the racing threads start; nullptr (the default) does nothing.
enum class JournalStep { BeforeLock, BeforeRemove };
void setJournalStepHook(std::function<void(JournalStep step)> hook);

}  // namespace tintara
