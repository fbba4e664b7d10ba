// What the level-constrained Gibbs sweeps (coloring/gibbs_move.h,
// coloring/kernel_state.h) share: the level test as an integer bound on a
// vertex's counts, a choice index from an engine output, and counts of up
// to 8 colours in the byte lanes of one 64-bit word.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

#include "coloring/coin_parsing.h"
#include "coloring/coloring_sample.h"

namespace tintara {

// The level test as a bound on a vertex's counts: each colour of v has a
// count (the neighbours holding it in a colouring, the bad links it would
// make in a kernel state), and the score falls by 2 per count. Recolouring
// v from its colour, of count `own`, to a colour of count c gives the score
// base - 2c with base = 2 * own + score, and the colour is allowed when that
// is at least the level. The test falls as c grows, so each position needs
// only the largest allowed c, and the choice compares integer counts with
// it.
//
// When the score is a whole number below 2^52, and so is the level, every
// one of those doubles is exact, and the test is c <= own + half with half =
// floor((score - level) / 2): an integer kept in step with the score through
// the sweep, so that a position does no floating-point work for the test.
// An infinite or NaN level makes half "far" above or below any count. Any
// other level falls back to the double test itself at every position.
class CountBound {
 public:
  CountBound(double score, double level) : level(level) {
    constexpr double kExactBelow = 0x1p52;
    const auto whole = [](double x) { return x == std::floor(x) && std::fabs(x) < kExactBelow; };
    if (!whole(score)) {
      exact = false;
    } else if (std::isnan(level) || level == std::numeric_limits<double>::infinity()) {
      half = -kFar;
    } else if (level == -std::numeric_limits<double>::infinity()) {
      half = kFar;
    } else if (whole(level)) {
      half = static_cast<int64_t>(std::floor((score - level) / 2.0));
    } else {
      exact = false;
    }
  }

  // The largest allowed count, in [-1, degree] (degree: the largest count
  // a colour can have); -1 allows nothing.
  int32_t limit(int32_t own, double score, int32_t degree) const {
    if (exact) return clampedLimit(own, half, degree);
    return limitFromDoubles(static_cast<double>(2 * own) + score, degree);
  }

  // After v moved from a colour of count `own` to one of count `count`: the
  // score rose by 2 * (own - count).
  void moved(int32_t own, int32_t count) { half += own - count; }

  // True when the score is known to be at or above the level, whole numbers
  // both: recolouring any vertex to its own colour is then allowed.
  bool ownColorAllowed() const { return exact && half >= 0; }
  int64_t exactHalf() const { return half; }

  // For asserts: whether half still equals floor((score - level) / 2), when
  // the test is exact and the level finite (a far half only moves).
  bool inStepWith(double score) const {
    if (!exact || !std::isfinite(level)) return true;
    return half == static_cast<int64_t>(std::floor((score - level) / 2.0));
  }

  static int32_t clampedLimit(int32_t own, int64_t half, int32_t degree) {
    return static_cast<int32_t>(std::clamp<int64_t>(own + half, -1, degree));
  }

 private:
  static constexpr int64_t kFar = int64_t{1} << 40;

  // The largest c in [-1, degree] with base - 2c >= level, by the double
  // test itself. The quotient only guesses c; checking the guess with the
  // test settles the one step a rounded quotient can be off by.
  int32_t limitFromDoubles(double base, int32_t degree) const {
    if (!(base >= level)) return -1;
    const double quotient = (base - level) / 2.0;
    if (quotient >= static_cast<double>(degree)) return degree;
    const auto c = static_cast<int32_t>(quotient);
    if (!(base - 2.0 * c >= level)) return c - 1;
    if (base - 2.0 * (c + 1.0) >= level) return c + 1;
    return c;
  }

  double level;
  bool exact = true;
  int64_t half = 0;
};

// scaledIndex(count, output / 2^32) from the engine output itself: below
// 2^21 the double product count * output / 2^32 is exact, so its integer
// part is the integer product's top half, without a round trip through
// floating point.
inline int32_t indexFromOutput(int32_t count, uint32_t output) {
  if (count < (1 << 21)) {
    return static_cast<int32_t>((static_cast<uint64_t>(count) * output) >> 32);
  }
  return scaledIndex(count, static_cast<double>(output) * 0x1p-32);
}

// A treated position's outcome: the new colour (-1 when no colour is
// allowed, and nothing was drawn), its count, and the count of v's old
// colour.
struct Choice {
  int32_t color = -1;
  int32_t count = 0;
  int32_t own = 0;
};

// With at most 8 colours and counts below 128, the colour counts fit in the
// bytes of one 64-bit word, and the allowed set and its size follow
// from a few word operations: no table of counts to fill and clear, no loop
// over the colours, no branch on a count.
constexpr int32_t kMaxLaneColors = 8;
constexpr int64_t kMaxLaneDegree = 127;
constexpr uint64_t kEveryLane = 0x0101010101010101;
constexpr uint64_t kLaneTops = 0x8080808080808080;

// kNthColor[m][i]: the i-th set bit of the 8-bit set m, for the chosen
// index among the allowed colours.
inline constexpr auto kNthColor = [] {
  std::array<std::array<uint8_t, 8>, 256> table{};
  for (int m = 0; m < 256; ++m) {
    int i = 0;
    for (int color = 0; color < 8; ++color) {
      if (m & (1 << color)) table[m][i++] = static_cast<uint8_t>(color);
    }
  }
  return table;
}();

// The sum of the eight byte lanes of x, each at most 8.
inline int32_t laneSum(uint64_t x) {
  return static_cast<int32_t>((x * kEveryLane) >> 56);
}

// Bit j set for every lane j whose value is at most `bound` (lane values and
// bound at most 127: the lanes cannot borrow from each other), in lane j's
// lowest bit.
inline uint64_t lanesAtMost(uint64_t lanes, int32_t bound) {
  return ((kEveryLane * static_cast<uint64_t>(0x80 + bound) - lanes) & kLaneTops) >> 7;
}

// The lowest bits of the eight lanes gathered into one byte.
inline uint32_t laneBits(uint64_t x) {
  return static_cast<uint32_t>((x * 0x0102040810204080) >> 56);
}

// The choice at a vertex of colour `ownColor` and `degree` links, from its
// colour counts in byte lanes: `limitOf(own, degree)` is the largest count
// allowed (below 0: none), `indexOf(allowedCount)` which allowed colour,
// ascending, is drawn. Shared by the colouring's sweep and the kernel's.
template <class LimitOf, class IndexOf>
inline Choice choiceFromLanes(uint64_t counts, int32_t ownColor, int32_t degree,
                              uint64_t colorLanes, LimitOf limitOf, IndexOf indexOf) {
  const auto countOf = [counts](int32_t color) {
    return static_cast<int32_t>((counts >> (8 * color)) & 0xff);
  };
  Choice choice;
  choice.own = countOf(ownColor);
  const int32_t limit = limitOf(choice.own, degree);
  if (limit < 0) return choice;
  const uint64_t allowed = lanesAtMost(counts, limit) & colorLanes;
  const int32_t allowedCount = laneSum(allowed);
  if (allowedCount == 0) return choice;
  choice.color = kNthColor[laneBits(allowed)][indexOf(allowedCount)];
  choice.count = countOf(choice.color);
  return choice;
}

// The choice at a vertex of colour `ownColor` and `degree` links, from a
// table of the k colours' counts, each `shift` short (the kernel's active
// equality links; 0 for a colouring): `limitOf` and `indexOf` as above.
// The table is left all zeros for the next vertex: the scan reads each
// count and clears it. Every colour is written to `allowed`, and only the
// allowed ones advance its size, so the scan has no branch to mispredict.
// Shared by the colouring's sweep and the kernel's.
template <class LimitOf, class IndexOf>
inline Choice choiceFromTable(int32_t* counts, int32_t k, int32_t shift, int32_t ownColor,
                              int32_t degree, LimitOf limitOf, IndexOf indexOf, int32_t* allowed,
                              int32_t* allowedCounts) {
  Choice choice;
  choice.own = counts[ownColor] + shift;
  const int32_t limit = limitOf(choice.own, degree);
  int32_t allowedCount = 0;
  for (int32_t c = 0; c < k; ++c) {
    const int32_t count = counts[c] + shift;
    counts[c] = 0;
    allowed[allowedCount] = c;
    allowedCounts[allowedCount] = count;
    allowedCount += count <= limit ? 1 : 0;
  }
  if (allowedCount == 0) return choice;
  const int32_t index = indexOf(allowedCount);
  choice.color = allowed[index];
  choice.count = allowedCounts[index];
  return choice;
}

// The colours of one coins-first sweep over `order`'s n positions (see
// forEachHeadsBlock), for a sample whose score starts 2 * half >= 0 above
// the level: every heads vertex takes the colour its choice output draws
// among those that keep the score at or above the level, and `ahead(heads,
// h, headCount)` runs before heads[h] is treated (a prefetch, or nothing).
// Returns half the score's rise. Shared by the colouring's sweep and the
// kernel's; `sweep` has choose(v, limitOf, indexOf) and a workspace whose
// treatedVertices and choiceOutputs are made room in for a block's heads.
template <class Sweep, class Ahead>
[[gnu::always_inline]] inline int64_t colorHeads(Sweep& sweep, RandomSource& random,
                                                 const int32_t* order, int32_t n, int32_t* colors,
                                                 int64_t half, Ahead ahead) {
  if (sweep.workspace.treatedVertices.size() < static_cast<std::size_t>(kHeadsBlock)) {
    sweep.workspace.treatedVertices.resize(kHeadsBlock);
    sweep.workspace.choiceOutputs.resize(kHeadsBlock);
  }
  int64_t rise = 0;
  forEachHeadsBlock(
      random, order, n, sweep.workspace.treatedVertices.data(),
      sweep.workspace.choiceOutputs.data(),
      [&](const int32_t* heads, const uint32_t* choices, int32_t headCount) {
        for (int32_t h = 0; h < headCount; ++h) {
          ahead(heads, h, headCount);
          const int32_t v = heads[h];
          const uint32_t output = choices[h];
          const Choice choice = sweep.choose(
              v,
              [&](int32_t own, int32_t degree) {
                return CountBound::clampedLimit(own, half + rise, degree);
              },
              [output](int32_t allowedCount) { return indexFromOutput(allowedCount, output); });
          assert(choice.color >= 0);
          colors[v] = choice.color;
          rise += choice.own - choice.count;
          assert(half + rise >= 0);  // the choice kept the score at or above the level
        }
      });
  return rise;
}

}  // namespace tintara
