// The source of randomness of one splitting run: the pilot, each
// fixed-level run and each colourability test has its own.
//
// uniform01 draws a double in [0, 1) from Boost's MT19937 engine: exactly one
// 32-bit engine output y per draw, the result y / 2^32 (what Boost's uniform
// real distribution on [0, 1) makes of it). The engine's outputs are made a
// block ahead and handed out in order, so that a caller can also see the
// outputs its next draws will take before it takes them (the Gibbs move
// reads its coins so). shuffleOrder permutes a visiting order with draws
// from the C library's rand stream.
//
// The rand stream is drawn through glibc's reentrant random_r over a private
// state seeded like srand: the same numbers as rand() after srand(seed), but
// without the lock that rand() takes on every call and without touching the
// process-wide state, so that sources on different threads never meet.
//
// Not copyable or movable: samples hold its address, and random_r's state
// points into the object itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <boost/random/mersenne_twister.hpp>

namespace tintara {

// One stream of a program seed: every run of a program derives its numbers
// from the program's seed and the run's own stream index, and, when the
// graph is counted by parts, the index of its part. Part 0 has the streams
// the program had before parts existed.
struct StreamId {
  uint64_t seed = 0;
  uint64_t stream = 0;
  uint32_t part = 0;
};

class RandomSource {
 public:
  // Both generators seeded from (seed, stream) through a seed sequence, so
  // that nearby seeds and streams give unrelated numbers.
  explicit RandomSource(StreamId id);
  // The shuffle's stream as srand(randSeed) would start rand(), and the
  // engine with the standard MT19937 seeding from engineSeed; for tests and
  // benchmarks that compare with reference generators.
  RandomSource(uint32_t randSeed, uint32_t engineSeed);

  RandomSource(const RandomSource&) = delete;
  RandomSource& operator=(const RandomSource&) = delete;

  // A uniform double in [0, 1): a multiple of 2^-32, never 1.0.
  double uniform01() {
    if (engineNext == kEngineBlock) refillEngineBlock();
    return static_cast<double>(engineBlock[engineNext++]) * 0x1p-32;
  }

  // The engine outputs of the next `count` uniform01 draws (count at most
  // kEngineBlock), without drawing them: the i-th next draw will be
  // outputs[i] / 2^32. skipEngineOutputs(c) then takes the first c of them,
  // exactly as c uniform01 calls would.
  static constexpr std::size_t kEngineBlock = 1024;
  const uint32_t* peekEngineOutputs(std::size_t count) {
    if (kEngineBlock - engineNext < count) refillEngineBlock();
    return engineBlock.data() + engineNext;
  }
  void skipEngineOutputs(std::size_t count) { engineNext += count; }

  // Permutes [first, last) in place: for j = 1 .. m-1 swaps a[j] with a[r],
  // r a uniform index below j + 1 drawn from the rand stream.
  void shuffleOrder(int32_t* first, int32_t* last);

  // The next value of the rand stream, as rand() would return it.
  int32_t randDraw() {
    int32_t value = 0;
    random_r(&randData, &value);
    return value;
  }

 private:
  void seedRandStream(uint32_t randSeed);
  uint64_t indexBelow(uint64_t bound);
  uint64_t indexBelowWide(uint64_t bound);

  // Keeps the outputs not yet drawn and appends new ones from the engine.
  void refillEngineBlock();

  boost::random::mt19937 engine;
  std::array<uint32_t, kEngineBlock> engineBlock{};
  std::size_t engineNext = kEngineBlock;  // the next output to hand out

  // Private state for random_r; 128 bytes is glibc's default (TYPE_3), the
  // size srand/rand use.
  alignas(int32_t) char randState[128] = {};
  random_data randData = {};
};

}  // namespace tintara
