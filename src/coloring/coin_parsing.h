// Which engine outputs of a block of sweep positions are coins and which are
// choices, found 64 outputs at a time from their top bits alone.
//
// A sweep whose every heads position draws a choice reads its outputs as
// tokens: a coin with its top bit clear (tails, uniform01 < 0.5), or a coin
// with its top bit set (heads) followed by that position's choice output,
// whatever the choice's own top bit. Reading the outputs in turn from a coin
// decides each one; these functions decide 64 at once, without a branch per
// output, for the coins-first sweep in gibbs_move.cpp.
//
// topBits(outputs): bit i is outputs[i]'s top bit, for i in [0, 64).
// choicePositions(bits, carry): given the top bits of 64 consecutive outputs
// and carry = 1 when the first of them is a choice (the previous 64 ended on
// a heads coin), else 0, returns the mask of the outputs that are choices
// (every other output is a coin) and sets carry for the next 64.
// forEachHeadsBlock(random, order, n, heads, choices, treat): a sweep's n
// positions a block at a time, each block's heads listed with their choice
// outputs and taken from `random` before treat sees them.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "random/random_source.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tintara {

// The top bits four at a time, as the sign bits of four floats. The plain
// loop is kept for targets without SSE2.
inline uint64_t topBits(const uint32_t* outputs) {
  uint64_t bits = 0;
#if defined(__SSE2__)
  for (int i = 0; i < 64; i += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(outputs + i));
    bits |= static_cast<uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(four))) << i;
  }
#else
  for (int i = 0; i < 64; ++i) bits |= static_cast<uint64_t>(outputs[i] >> 31) << i;
#endif
  return bits;
}

// The choices are the outputs escaped by a heads coin just before, as a
// backslash escapes the next character: in a run of set bits that starts on
// a coin, every other one is a coin. Adding the run starts to the runs finds
// each run's end and parity for all 64 outputs at once; the addition's
// carry out is a run that reaches bit 63 on a heads coin.
inline uint64_t choicePositions(uint64_t topBits, uint64_t& carry) {
  constexpr uint64_t kEvenBits = 0x5555555555555555;
  const uint64_t coinsHeads = topBits & ~carry;
  const uint64_t followsHeads = coinsHeads << 1 | carry;
  const uint64_t oddStarts = coinsHeads & ~kEvenBits & ~followsHeads;
  uint64_t evenStartRuns = 0;
  carry = __builtin_add_overflow(oddStarts, coinsHeads, &evenStartRuns) ? 1 : 0;
  return (kEvenBits ^ (evenStartRuns << 1)) & followsHeads;
}

// The positions of one block: at most two outputs each, and topBits reads
// 64 past the last word begun.
constexpr int32_t kHeadsBlock = static_cast<int32_t>((RandomSource::kEngineBlock - 64) / 2);

// Reads the coins of a sweep of n positions ahead, every heads coin followed
// by its choice: a block of positions at a time, lists the entries of
// `order` at its heads positions in `heads` and their choice outputs in
// `choices` (room for kHeadsBlock each), takes the block's outputs from
// `random`, then calls treat(heads, choices, headCount). uniform01 < 0.5
// exactly when an output's top bit is clear.
template <class Treat>
[[gnu::always_inline]] inline void forEachHeadsBlock(RandomSource& random, const int32_t* order,
                                                     int32_t n, int32_t* heads, uint32_t* choices,
                                                     Treat treat) {
  for (int32_t start = 0; start < n; start += kHeadsBlock) {
    const int32_t count = std::min(kHeadsBlock, n - start);
    const uint32_t* outputs = random.peekEngineOutputs(2 * static_cast<std::size_t>(count) + 64);
    // Each coin is the next position's; a heads position is listed with its
    // choice, a tails one is written over by the next.
    std::size_t taken = 0;
    int32_t headCount = 0;
    int32_t position = 0;
    uint64_t carry = 0;
    for (std::size_t word = 0; position < count; word += 64) {
      const uint64_t bits = topBits(outputs + word);
      uint64_t coins = ~choicePositions(bits, carry);
      for (; coins != 0 && position < count; coins &= coins - 1, ++position) {
        const int at = __builtin_ctzll(coins);
        const auto head = static_cast<uint32_t>(bits >> at) & 1;
        heads[headCount] = order[start + position];
        choices[headCount] = outputs[word + at + 1];
        headCount += static_cast<int32_t>(head);
        taken = word + at + 1 + head;
      }
    }
    assert(taken <= 2 * static_cast<std::size_t>(count));
    random.skipEngineOutputs(taken);
    treat(static_cast<const int32_t*>(heads), static_cast<const uint32_t*>(choices), headCount);
  }
}

}  // namespace tintara
