#include "random/random_source.h"

#include <algorithm>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tintara {

namespace {

// Bits carried by one rand() output, and the matching mask: start from 64 bits
// and halve the mask while it exceeds RAND_MAX (31 bits with glibc).
struct RandWidth {
  int bits = 64;
  uint64_t mask = ~uint64_t{0};
  constexpr RandWidth() {
    while (mask > static_cast<uint64_t>(RAND_MAX)) {
      mask >>= 1;
      --bits;
    }
  }
};
constexpr RandWidth kRandWidth;

}  // namespace

RandomSource::RandomSource(StreamId id) {
  // The two generators get sequences that differ in their last word, so
  // their states are unrelated too. std::seed_seq mixes every word into
  // every output; seeding each from one 32-bit word of (seed, stream) would
  // give nearby seeds nearby streams and collide after 2^32 values.
  // Part 0 leaves the part out, so that its sequences are those of a
  // program without parts; every other part adds a word, which no sequence
  // of part 0 has.
  const auto words = [&](uint32_t purpose) {
    std::vector<uint32_t> list{static_cast<uint32_t>(id.seed), static_cast<uint32_t>(id.seed >> 32),
                               static_cast<uint32_t>(id.stream),
                               static_cast<uint32_t>(id.stream >> 32), purpose};
    if (id.part != 0) list.push_back(id.part);
    return std::seed_seq(list.begin(), list.end());
  };
  std::seed_seq randWords = words(0);
  uint32_t randSeed = 0;
  randWords.generate(&randSeed, &randSeed + 1);
  seedRandStream(randSeed);
  std::seed_seq engineWords = words(1);
  engine.seed(engineWords);
}

RandomSource::RandomSource(uint32_t randSeed, uint32_t engineSeed) {
  seedRandStream(randSeed);
  engine.seed(engineSeed);
}

void RandomSource::refillEngineBlock() {
  const std::size_t kept = kEngineBlock - engineNext;
  std::copy(engineBlock.begin() + static_cast<std::ptrdiff_t>(engineNext), engineBlock.end(),
            engineBlock.begin());
  for (std::size_t i = kept; i < kEngineBlock; ++i) engineBlock[i] = engine();
  engineNext = 0;
}

void RandomSource::seedRandStream(uint32_t randSeed) {
  if (initstate_r(randSeed, randState, sizeof randState, &randData) != 0) {
    throw std::runtime_error("initstate_r failed");
  }
}

// A uniform index below `bound` (bound >= 2): gather enough rand outputs to
// cover bound - 1, and start over when the value falls into the incomplete
// last block, so that every index is equally likely.
inline uint64_t RandomSource::indexBelow(uint64_t bound) {
  if (bound - 1 <= kRandWidth.mask && kRandWidth.mask < UINT32_MAX) {
    // One output per attempt. The general test below, value / bound <
    // span / bound or span % bound == bound - 1 with span = mask, is then
    // value < floor((mask + 1) / bound) * bound, the largest multiple of
    // bound that fits; with r = value % bound that is value - r <=
    // mask + 1 - bound. So one division per attempt, and values up to
    // mask + 1 - bound (all but a fraction bound / 2^31) pass before it ends.
    const auto b = static_cast<uint32_t>(bound);
    const uint32_t lastStart = static_cast<uint32_t>(kRandWidth.mask + 1) - b;
    for (;;) {
      uint32_t draw;
      do {
        draw = static_cast<uint32_t>(randDraw());
      } while (draw > kRandWidth.mask);
      const uint32_t r = draw % b;
      if (draw <= lastStart || draw - r <= lastStart) return r;
    }
  }
  return indexBelowWide(bound);
}

// The general case: several outputs joined per attempt.
uint64_t RandomSource::indexBelowWide(uint64_t bound) {
  for (;;) {
    uint64_t value = 0;
    uint64_t span = 0;
    while (span < bound - 1) {
      uint64_t draw;
      do {
        draw = static_cast<uint64_t>(randDraw());
      } while (draw > kRandWidth.mask);
      value = (value << kRandWidth.bits) | draw;
      span = (span << kRandWidth.bits) | kRandWidth.mask;
    }
    if (value / bound < span / bound || span % bound == bound - 1) return value % bound;
  }
}

void RandomSource::shuffleOrder(int32_t* first, int32_t* last) {
  const auto count = last - first;
  if (count < 2) return;
  for (std::ptrdiff_t j = 1; j < count; ++j) {
    const auto r = static_cast<std::ptrdiff_t>(indexBelow(static_cast<uint64_t>(j) + 1));
    std::swap(first[j], first[r]);
  }
}

}  // namespace tintara
