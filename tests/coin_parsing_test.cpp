#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "coloring/coin_parsing.h"

namespace tintara {
namespace {

constexpr uint32_t kTop = 0x80000000u;
constexpr uint64_t kAll = ~uint64_t{0};
constexpr uint64_t kEven = 0x5555555555555555;
constexpr uint64_t kOdd = 0xAAAAAAAAAAAAAAAA;
constexpr uint64_t kBit63 = uint64_t{1} << 63;

// Engine outputs whose top bits are the given words' bits, output 64w + i
// taking bit i of word w; the low bits are random, as a choice's are.
std::vector<uint32_t> outputsWithTopBits(const std::vector<uint64_t>& words, std::mt19937& low) {
  std::vector<uint32_t> outputs;
  for (uint64_t word : words) {
    for (int i = 0; i < 64; ++i) outputs.push_back(((word >> i) & 1 ? kTop : 0) | (low() >> 1));
  }
  return outputs;
}

// The outputs read in turn from a coin: tails is one output, heads a coin
// and then its choice. Returns one mask of choices per 64 outputs.
std::vector<uint64_t> choicesReadInTurn(const std::vector<uint32_t>& outputs) {
  std::vector<uint64_t> choices(outputs.size() / 64 + 1, 0);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (outputs[i] & kTop) {
      ++i;
      choices[i / 64] |= uint64_t{1} << (i % 64);
    }
  }
  return choices;
}

TEST(CoinParsing, FindsTheChoicesAndTheCarryThatReadingInTurnFinds) {
  struct Case {
    std::string name;
    std::vector<uint64_t> words;
  };
  std::vector<Case> cases = {
      {"all tails", {0, 0, 0}},
      {"all heads", {kAll, kAll, kAll}},
      {"heads at even outputs", {kEven, kEven}},
      {"heads at odd outputs, each word ending on heads", {kOdd, kOdd, kOdd}},
      {"heads at bit 63 only", {kBit63, 0, kBit63, kBit63}},
      {"a run of heads from bit 63 through whole words", {kBit63, kAll, kAll, 0}},
      {"odd run across the boundary", {uint64_t{7} << 61, 7, kBit63 | 1, kEven}},
      {"choice at bit 63", {uint64_t{3} << 62, kAll}},
      {"heads at bit 63 then even outputs", {kOdd, kEven, kOdd, kOdd}},
  };
  // Random words, at even odds and mostly heads (long runs across words).
  std::mt19937_64 bits(7);
  for (int density : {1, 4}) {
    Case random{"random, density " + std::to_string(density), {}};
    for (int w = 0; w < 200; ++w) {
      uint64_t word = bits();
      for (int extra = 1; extra < density; ++extra) word |= bits();
      random.words.push_back(word);
    }
    cases.push_back(random);
  }

  std::mt19937 low(11);
  for (const Case& c : cases) {
    const std::vector<uint32_t> outputs = outputsWithTopBits(c.words, low);
    const std::vector<uint64_t> expected = choicesReadInTurn(outputs);
    uint64_t carry = 0;
    for (std::size_t w = 0; w < c.words.size(); ++w) {
      const uint64_t top = topBits(outputs.data() + 64 * w);
      ASSERT_EQ(top, c.words[w]) << c.name << ", word " << w;
      ASSERT_EQ(choicePositions(top, carry), expected[w]) << c.name << ", word " << w;
      ASSERT_EQ(carry, expected[w + 1] & 1) << c.name << ", carry out of word " << w;
    }
  }
}

}  // namespace
}  // namespace tintara
