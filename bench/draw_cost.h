// What the random draws of a piece of work cost on their own: the raw price
// of one draw of each stream, timed in tight loops, and the number of draws
// a RandomSource has made, found afterwards by replaying its streams.
#pragma once

#include <time.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "random/random_source.h"

namespace tintara::bench {

// CPU seconds used by the calling thread so far.
inline double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Nanoseconds per draw of each stream: the median of several timed loops.
struct DrawCosts {
  double engineNs = 0.0;  // one uniform01, one engine output
  double randNs = 0.0;    // one randDraw, one output of the rand stream
};

inline DrawCosts timeRawDraws() {
  constexpr int kReps = 9;
  constexpr int kDraws = 1 << 21;
  RandomSource random(1, 2);
  std::array<double, kReps> engine{};
  std::array<double, kReps> rand{};
  for (int r = 0; r < kReps; ++r) {
    double t0 = threadCpuSeconds();
    double sum = 0.0;
    for (int i = 0; i < kDraws; ++i) sum += random.uniform01();
    double t1 = threadCpuSeconds();
    uint32_t bits = 0;
    for (int i = 0; i < kDraws; ++i) bits ^= static_cast<uint32_t>(random.randDraw());
    double t2 = threadCpuSeconds();
    // Keep the sums alive so that neither loop is optimised away.
    asm volatile("" : : "r"(sum), "r"(bits));
    engine[r] = (t1 - t0) * 1e9 / kDraws;
    rand[r] = (t2 - t1) * 1e9 / kDraws;
  }
  std::nth_element(engine.begin(), engine.begin() + kReps / 2, engine.end());
  std::nth_element(rand.begin(), rand.begin() + kReps / 2, rand.end());
  return {engine[kReps / 2], rand[kReps / 2]};
}

// The number of values `draw` has produced since seeding, found by drawing
// the measured stream's next few values and searching for them in a twin
// stream freshly seeded alike (`twinDraw`). The measured code runs untouched;
// this replay costs about one raw draw per draw counted.
template <class Draw, class TwinDraw>
uint64_t drawsMade(Draw draw, TwinDraw twinDraw) {
  constexpr std::size_t kWindow = 4;
  std::array<double, kWindow> next{};
  for (double& value : next) value = static_cast<double>(draw());
  std::array<double, kWindow> recent{};
  uint64_t count = 0;
  for (;;) {
    recent[count % kWindow] = static_cast<double>(twinDraw());
    ++count;
    if (count < kWindow) continue;
    bool match = true;
    for (std::size_t i = 0; i < kWindow && match; ++i) {
      match = recent[(count - kWindow + i) % kWindow] == next[i];
    }
    if (match) return count - kWindow;
  }
}

// Engine outputs and rand-stream outputs drawn from a source seeded with
// (randSeed, engineSeed); draws a few more values from it.
struct DrawCounts {
  uint64_t engine = 0;
  uint64_t rand = 0;
};

inline DrawCounts countDraws(RandomSource& measured, uint32_t randSeed, uint32_t engineSeed) {
  RandomSource twin(randSeed, engineSeed);
  DrawCounts counts;
  counts.engine = drawsMade([&] { return measured.uniform01(); }, [&] { return twin.uniform01(); });
  counts.rand = drawsMade([&] { return measured.randDraw(); }, [&] { return twin.randDraw(); });
  return counts;
}

}  // namespace tintara::bench
