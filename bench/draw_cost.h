// What the random draws of a piece of work cost on their own: the raw price
// of one draw of each stream, timed in tight loops, and the number of draws
// a RandomSource has made, found afterwards by replaying its streams.
#pragma once

#include <time.h>

#include <algorithm>
#include <array>
#include <bit>
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

inline DrawCosts timeRawDraws(int draws = 1 << 18) {
  constexpr int kReps = 5;
  RandomSource random(1, 2);
  std::array<double, kReps> engine{};
  std::array<double, kReps> rand{};
  for (int r = 0; r < kReps; ++r) {
    // The draws are folded into an integer by xor: a one-cycle chain that
    // stays in a register, so the loops time the draws and little else (a
    // floating-point sum would add its own latency, and spill around calls).
    const double t0 = threadCpuSeconds();
    uint64_t engineBits = 0;
    for (int i = 0; i < draws; ++i) engineBits ^= std::bit_cast<uint64_t>(random.uniform01());
    const double t1 = threadCpuSeconds();
    uint32_t randBits = 0;
    for (int i = 0; i < draws; ++i) randBits ^= static_cast<uint32_t>(random.randDraw());
    const double t2 = threadCpuSeconds();
    // Keep the results alive so that neither loop is optimised away.
    asm volatile("" : : "r"(engineBits), "r"(randBits));
    engine[r] = (t1 - t0) * 1e9 / draws;
    rand[r] = (t2 - t1) * 1e9 / draws;
  }
  std::nth_element(engine.begin(), engine.begin() + kReps / 2, engine.end());
  std::nth_element(rand.begin(), rand.begin() + kReps / 2, rand.end());
  return {engine[kReps / 2], rand[kReps / 2]};
}

// The number of values `draw` has produced since `twinDraw`'s stream was
// where draw's stream was: draw the measured stream's next few values and
// advance the twin until its last few values are those. Both streams end
// just past those values, so the next call counts on from there. The
// measured code runs untouched; this replay costs about one raw draw per
// draw counted.
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

struct DrawCounts {
  uint64_t engine = 0;  // engine outputs (uniform01 draws)
  uint64_t rand = 0;    // rand-stream outputs
};

// Counts the draws a RandomSource seeded with (randSeed, engineSeed) makes
// between calls of count(), which draws a few values more from it.
class DrawCounter {
 public:
  DrawCounter(uint32_t randSeed, uint32_t engineSeed) : twin(randSeed, engineSeed) {}
  DrawCounts count(RandomSource& measured) {
    DrawCounts counts;
    counts.engine =
        drawsMade([&] { return measured.uniform01(); }, [&] { return twin.uniform01(); });
    counts.rand = drawsMade([&] { return measured.randDraw(); }, [&] { return twin.randDraw(); });
    return counts;
  }

 private:
  RandomSource twin;
};

}  // namespace tintara::bench
