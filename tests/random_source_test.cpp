#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numeric>
#include <vector>

#include <boost/random/mersenne_twister.hpp>

#include "coloring/coloring_sample.h"
#include "random/random_source.h"

namespace tintara {
namespace {

constexpr double kTwoTo32 = 4294967296.0;

TEST(RandomSourceEngine, MatchesReferenceMt19937Outputs) {
  RandomSource random(1, 5489);
  EXPECT_EQ(random.uniform01(), 3499211612.0 / kTwoTo32);
  EXPECT_EQ(random.uniform01(), 581869302.0 / kTwoTo32);
  EXPECT_EQ(random.uniform01(), 3890346734.0 / kTwoTo32);
}

TEST(RandomSourceEngine, EachDrawTakesExactlyOneEngineOutput) {
  RandomSource random(1, 20240607);
  boost::random::mt19937 reference(20240607);
  double largest = 0.0;
  for (int i = 0; i < 5000; ++i) {  // crosses several 624-word block refills
    const double u = random.uniform01();
    ASSERT_EQ(u * kTwoTo32, static_cast<double>(reference())) << "draw " << i;
    largest = std::max(largest, u);
  }
  EXPECT_LT(largest, 1.0);
}

TEST(RandomSourceEngine, PeekedOutputsAreTheNextDrawsAcrossBlockEnds) {
  RandomSource random(1, 77);
  boost::random::mt19937 reference(77);
  // Peeks of every length at every offset of the block, each followed by
  // taking part of what was seen and drawing the rest one by one.
  for (std::size_t count = 1; count <= RandomSource::kEngineBlock; count += 97) {
    const uint32_t* outputs = random.peekEngineOutputs(count);
    const std::vector<uint32_t> seen(outputs, outputs + count);
    random.skipEngineOutputs(count / 3);
    for (std::size_t i = 0; i < count; ++i) {
      ASSERT_EQ(seen[i], reference()) << "count " << count << ", output " << i;
      if (i >= count / 3) {
        ASSERT_EQ(random.uniform01() * kTwoTo32, seen[i]);
      }
    }
  }
}

TEST(RandomSourceEngine, ScaledIndexStaysBelowTheCount) {
  const double largestDraw = 1.0 - 1.0 / kTwoTo32;
  EXPECT_EQ(scaledIndex(3, largestDraw), 2);
  EXPECT_EQ(scaledIndex(2, 0.5), 1);
  EXPECT_EQ(scaledIndex(2, 0.4999), 0);
  EXPECT_EQ(scaledIndex(1 << 30, largestDraw), (1 << 30) - 1);
  EXPECT_EQ(scaledIndex(7, 1.0), 6);  // the clamp itself
}

TEST(RandomSourceShuffle, DrawsTheSameStreamAsRand) {
  RandomSource random(987654321u, 1);
  std::srand(987654321u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(random.randDraw(), std::rand()) << "draw " << i;
}

// The index below i, as drawn from rand(): with 31-bit outputs one output x
// per attempt, rejected when x >= floor(2^31 / i) * i.
int referenceIndexBelow(int i) {
  const long long limit = (2147483648LL / i) * i;
  for (;;) {
    const long long x = std::rand();
    if (x < limit) return static_cast<int>(x % i);
  }
}

TEST(RandomSourceShuffle, PermutesLikeTheRejectionSamplerOverRand) {
  for (unsigned seed : {1u, 42u, 31337u}) {
    std::vector<int32_t> shuffled(50);
    std::iota(shuffled.begin(), shuffled.end(), 0);
    std::vector<int32_t> expected = shuffled;
    RandomSource random(seed, 1);
    for (int round = 0; round < 3; ++round) {
      random.shuffleOrder(shuffled.data(), shuffled.data() + shuffled.size());
    }
    std::srand(seed);
    for (int round = 0; round < 3; ++round) {
      for (int j = 1; j < 50; ++j) std::swap(expected[j], expected[referenceIndexBelow(j + 1)]);
    }
    EXPECT_EQ(shuffled, expected) << "seed " << seed;
  }
}

TEST(RandomSourceShuffle, ShortSequencesDrawNothing) {
  RandomSource random(77, 1);
  int32_t one = 5;
  random.shuffleOrder(&one, &one);
  random.shuffleOrder(&one, &one + 1);
  EXPECT_EQ(one, 5);
  std::srand(77);
  EXPECT_EQ(random.randDraw(), std::rand());
}

TEST(RandomSourceShuffle, TwoElementsSwapExactlyOnAnEvenDraw) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    RandomSource random(seed, 1);
    std::array<int32_t, 2> pair{0, 1};
    random.shuffleOrder(pair.data(), pair.data() + 2);
    std::srand(seed);
    const int x = std::rand();
    EXPECT_EQ(pair[0] == 1, x % 2 == 0) << "seed " << seed;
    EXPECT_EQ(random.randDraw(), std::rand()) << "one draw only, seed " << seed;
  }
}

TEST(RandomSourceShuffle, AllOrdersOfFourAreEquallyLikely) {
  RandomSource random(2024, 1);
  std::map<std::array<int32_t, 4>, int> counts;
  const int trials = 48000;
  for (int t = 0; t < trials; ++t) {
    std::array<int32_t, 4> order{0, 1, 2, 3};
    random.shuffleOrder(order.data(), order.data() + 4);
    ++counts[order];
  }
  ASSERT_EQ(counts.size(), 24u);
  const double expected = trials / 24.0;
  double chiSquare = 0.0;
  for (const auto& [order, count] : counts) {
    chiSquare += (count - expected) * (count - expected) / expected;
  }
  EXPECT_LT(chiSquare, 49.7);  // the 0.999 quantile with 23 degrees of freedom
}

}  // namespace
}  // namespace tintara
