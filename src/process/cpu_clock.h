// Processor time for the reports: whole milliseconds, and seconds computed in
// single precision from a millisecond difference.
#pragma once

#include <cstdint>
#include <ctime>

namespace tintara {

// Processor time used so far by the whole process (every thread), truncated
// to whole milliseconds.
inline int64_t processorMilliseconds() {
  return static_cast<int64_t>(std::clock()) / (CLOCKS_PER_SEC / 1000);
}

// Processor time of the calling thread, in whole milliseconds: a run's own
// cost, whatever other threads do meanwhile.
inline int64_t threadMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// A span of processor milliseconds as seconds: divided by 1000 in single
// precision, then widened. The printed figures round from this float, so
// a double division would change the last digit of some of them.
inline double cpuSeconds(int64_t milliseconds) {
  return static_cast<double>(static_cast<float>(milliseconds) / 1000.0f);
}

}  // namespace tintara
