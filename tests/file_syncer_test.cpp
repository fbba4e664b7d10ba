#include "io/file_syncer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "io/file_output.h"
#include "support/test_support.h"

namespace tintara {
namespace {

// fsync on a pipe fails (EINVAL): the failure of a sync, on either thread.
struct Pipe {
  int ends[2] = {-1, -1};
  Pipe() { EXPECT_EQ(::pipe(ends), 0); }
  ~Pipe() {
    ::close(ends[0]);
    ::close(ends[1]);
  }
};

TEST(JournalSync, AFailedSyncIsToldWhicheverThreadMadeIt) {
  {
    Pipe pipe;
    FileSyncer syncer(pipe.ends[1], std::chrono::milliseconds(0));
    EXPECT_EQ(syncer.failure(), 0);
    syncer.written();
    // The thread's own sync; waited for without a bound on how soon.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (syncer.failure() == 0 && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(syncer.failure(), EINVAL);
  }
  {
    Pipe pipe;
    FileSyncer syncer(pipe.ends[1], std::chrono::hours(1));
    syncer.written();
    EXPECT_EQ(syncer.syncNow(), EINVAL);
    EXPECT_EQ(syncer.failure(), EINVAL);
  }
}

// Writes noted while the thread syncs, and a last sync of the caller's:
// nothing fails and, under ThreadSanitizer, nothing races.
TEST(JournalSync, WritesNotedWhileTheThreadSyncsAllReachASuccessfulSync) {
  testing::TempFile file("");
  const int fd = ::open(file.path().c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  {
    FileSyncer syncer(fd, std::chrono::milliseconds(1));
    const std::string line = "run 1 0x1p-3 12\n";
    for (int i = 0; i < 200; ++i) {
      ASSERT_TRUE(writeAll(fd, line.data(), line.size()));
      syncer.written();
      if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(syncer.syncNow(), 0);
  }
  ::close(fd);
}

}  // namespace
}  // namespace tintara
