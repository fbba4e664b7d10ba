#include "io/file_syncer.h"

#include <unistd.h>

#include <cerrno>

namespace tintara {

FileSyncer::FileSyncer(int fd, std::chrono::milliseconds delay)
    : fd(fd), delay(delay), syncing([this] { syncWhenDue(); }) {}

FileSyncer::~FileSyncer() {
  {
    std::lock_guard<std::mutex> lock(guard);
    stopping = true;
  }
  wake.notify_one();
  syncing.join();
}

void FileSyncer::written() {
  {
    std::lock_guard<std::mutex> lock(guard);
    if (pending) return;
    pending = true;
    firstPending = std::chrono::steady_clock::now();
  }
  wake.notify_one();
}

int FileSyncer::failure() const {
  std::lock_guard<std::mutex> lock(guard);
  return firstError;
}

int FileSyncer::syncNow() {
  {
    std::lock_guard<std::mutex> lock(guard);
    pending = false;
  }
  // Concurrent with the thread's own fsync, if one is under way: the kernel
  // orders them, and this one covers every write made before it began.
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  std::lock_guard<std::mutex> lock(guard);
  if (firstError == 0) firstError = error;
  return firstError;
}

void FileSyncer::syncWhenDue() {
  std::unique_lock<std::mutex> lock(guard);
  for (;;) {
    wake.wait(lock, [this] { return stopping || pending; });
    if (stopping) return;
    // Writes made within the delay share one sync.
    if (wake.wait_until(lock, firstPending + delay, [this] { return stopping; })) return;
    if (!pending) continue;  // syncNow() took them meanwhile
    pending = false;
    lock.unlock();
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    lock.lock();
    if (firstError == 0) firstError = error;
  }
}

}  // namespace tintara
