// The source of randomness of one splitting run: the pilot, each
// fixed-level run and each colourability test has its own.
//
// uniform01 draws a double in [0, 1) from an MT19937 engine through Boost's
// uniform real distribution: exactly one 32-bit engine output per draw, the
// result y / 2^32. shuffleOrder permutes a visiting order with draws from the
// C library's rand stream.
//
// The rand stream is drawn through glibc's reentrant random_r over a private
// state seeded like srand: the same numbers as rand() after srand(seed), but
// without the lock that rand() takes on every call and without touching the
// process-wide state, so that sources on different threads never meet.
//
// Not copyable or movable: samples hold its address, and random_r's state
// points into the object itself.
#pragma once

#include <cstdint>
#include <cstdlib>

#include <boost/random/mersenne_twister.hpp>
#include <boost/random/uniform_real_distribution.hpp>
#include <boost/random/variate_generator.hpp>

namespace tintara {

// One stream of a program seed: every run of a program derives its numbers
// from the program's seed and the run's own stream index.
struct StreamId {
  uint64_t seed = 0;
  uint64_t stream = 0;
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
  double uniform01() { return generator(); }

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

  using Distribution = boost::random::uniform_real_distribution<double>;
  Distribution distribution{0.0, 1.0};
  boost::random::mt19937 engine;
  boost::random::variate_generator<boost::random::mt19937&, Distribution> generator{engine,
                                                                                    distribution};

  // Private state for random_r; 128 bytes is glibc's default (TYPE_3), the
  // size srand/rand use.
  alignas(int32_t) char randState[128] = {};
  random_data randData = {};
};

}  // namespace tintara
