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
#pragma once

#include <cstdint>

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

}  // namespace tintara
