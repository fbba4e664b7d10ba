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

// A span of processor milliseconds as seconds: divided by 1000 in single
// precision, then widened.
inline double cpuSeconds(int64_t milliseconds) {
  return static_cast<double>(static_cast<float>(milliseconds) / 1000.0f);
}

}  // namespace tintara
