// Syncs an append-only file on a thread of its own, so that whoever writes
// it never waits for the disk.
//
// A journal's lines must reach the disk within a second of being written,
// but an fsync on a busy disk can take seconds (ext4 commits every file's
// pending data with it). Called on the thread that hands out runs, such a
// sync left the workers idle and delayed a stop signal's summary past
// mpirun's kill, a second after its SIGTERM. Here the writer only notes
// that it wrote; the syncer's thread syncs `delay` after the first
// unsynced write, one fsync for every write made meanwhile.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tintara {

class FileSyncer {
 public:
  // Starts the syncing thread for `fd`, which must stay open until the
  // syncer is destroyed.
  FileSyncer(int fd, std::chrono::milliseconds delay);
  // Stops the thread, without a last sync: call syncNow() for one.
  ~FileSyncer();
  FileSyncer(const FileSyncer&) = delete;
  FileSyncer& operator=(const FileSyncer&) = delete;

  // Tells that bytes were written: they reach the disk within `delay` and
  // one fsync's time.
  void written();
  // The errno of the first sync that failed, or 0.
  int failure() const;
  // Syncs everything written so far on the caller's thread; returns the
  // errno of the first sync that failed (this one or an earlier one), or 0.
  int syncNow();

 private:
  void syncWhenDue();

  const int fd;
  const std::chrono::milliseconds delay;
  mutable std::mutex guard;
  std::condition_variable wake;
  bool pending = false;  // written since the last sync began
  std::chrono::steady_clock::time_point firstPending;
  bool stopping = false;
  int firstError = 0;
  std::thread syncing;  // last: started once the state above is made
};

}  // namespace tintara
