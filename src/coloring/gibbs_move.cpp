#include "coloring/gibbs_move.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <limits>

#include "coloring/coin_parsing.h"

namespace tintara {

namespace {

// The level test as a bound on neighbour counts. Recolouring v, which shares
// its colour with `own` neighbours, to a colour held by c neighbours gives
// the score base - 2c with base = 2 * own + score, and the colour is allowed
// when that is at least the level. The test falls as c grows, so each
// position needs only the largest allowed c, and the choice compares
// integer counts with it.
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

  // The largest allowed neighbour count, in [-1, degree]; -1 allows nothing.
  int32_t limit(int32_t own, double score, int32_t degree) const {
    if (exact) return clampedLimit(own, half, degree);
    return limitFromDoubles(static_cast<double>(2 * own) + score, degree);
  }

  // After v moved from a colour held by `own` neighbours to one held by
  // `count`: the score rose by 2 * (own - count).
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
// allowed, and nothing was drawn), the neighbours holding it, and those
// holding v's old colour.
struct Choice {
  int32_t color = -1;
  int32_t count = 0;
  int32_t own = 0;
};

// Each chooser below counts v's neighbour colours (v's own entries, its
// self-loops, left out), asks limitOf(own, degree) for the largest allowed
// count, and, when some colour is allowed, indexOf(allowedCount) for the
// index of the chosen one among the allowed colours in ascending order:
// indexOf makes the choice draw.

// With at most 8 colours and fewer than 128 neighbours, the colour counts fit
// in the bytes of one 64-bit word, and the allowed set and its size follow
// from a few word operations: no table of counts to fill and clear, no loop
// over the colours, no branch on a count.
constexpr int32_t kMaxLaneColors = 8;
constexpr int64_t kMaxLaneDegree = 127;
constexpr uint64_t kEveryLane = 0x0101010101010101;
constexpr uint64_t kLaneTops = 0x8080808080808080;

// kNthColor[m][i]: the i-th set bit of the 8-bit set m, for the chosen
// index among the allowed colours.
constexpr auto kNthColor = [] {
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

// v's neighbour colour counts in byte lanes, from the first `slots` entries
// of its list and the rest in a loop. The slots past the end of the list
// read v itself, which counts nothing, so that the slots end the same way at
// every vertex: a loop that stops at each vertex's own degree ends on a
// mispredicted branch at almost every vertex of an irregular graph.
template <int slots>
[[gnu::always_inline]] inline uint64_t laneCounts(const int32_t* colors, const int32_t& v,
                                                  const int32_t* first, const int32_t* last) {
  uint64_t counts = 0;
  const int64_t degree = last - first;
  for (int i = 0; i < slots; ++i) {
    const int32_t w = *(i < degree ? first + i : &v);
    counts += static_cast<uint64_t>(w != v) << (8 * colors[w]);
  }
  for (const int32_t* p = first + slots; p < last; ++p) {
    counts += static_cast<uint64_t>(*p != v) << (8 * colors[*p]);
  }
  return counts;
}

template <class LimitOf, class IndexOf>
[[gnu::always_inline]] inline Choice chooseWithLanes(const int32_t* colors, int32_t v,
                                                     const int32_t* first, const int32_t* last,
                                                     uint64_t colorLanes, LimitOf limitOf,
                                                     IndexOf indexOf) {
  // Four slots cover grids and other graphs of low degree, twelve most
  // vertices of a random graph of average degree 10.
  const uint64_t counts = last - first <= 4 ? laneCounts<4>(colors, v, first, last)
                                            : laneCounts<12>(colors, v, first, last);
  const auto countOf = [&](int32_t color) {
    return static_cast<int32_t>((counts >> (8 * color)) & 0xff);
  };
  Choice choice;
  choice.own = countOf(colors[v]);
  const int32_t limit = limitOf(choice.own, static_cast<int32_t>(last - first));
  if (limit < 0) return choice;
  const uint64_t allowed = lanesAtMost(counts, limit) & colorLanes;
  const int32_t allowedCount = laneSum(allowed);
  if (allowedCount == 0) return choice;
  choice.color = kNthColor[laneBits(allowed)][indexOf(allowedCount)];
  choice.count = countOf(choice.color);
  return choice;
}

// Any number of colours, with a table of k counts.
template <class LimitOf, class IndexOf>
Choice chooseWithTable(const ColoringSample& sample, int32_t v, const int32_t* first,
                       const int32_t* last, LimitOf limitOf, IndexOf indexOf,
                       GibbsWorkspace& workspace) {
  const int32_t k = sample.colorCount;
  const int32_t* colors = sample.vertexColors.data();
  if (workspace.colorCounts.size() < static_cast<std::size_t>(k)) {
    workspace.colorCounts.resize(k, 0);
    workspace.allowedColors.resize(k);
    workspace.allowedCounts.resize(k);
  }
  // The table is all zeros between positions: the scan over the colours
  // below reads each count and clears it.
  int32_t* counts = workspace.colorCounts.data();
  int32_t* allowed = workspace.allowedColors.data();
  int32_t* allowedCounts = workspace.allowedCounts.data();
  for (const int32_t* p = first; p != last; ++p) {
    if (*p != v) ++counts[colors[*p]];
  }
  Choice choice;
  choice.own = counts[colors[v]];
  const int32_t limit = limitOf(choice.own, static_cast<int32_t>(last - first));
  // Every colour is written; only the allowed ones advance the count, so the
  // scan has no branch to mispredict.
  int32_t allowedCount = 0;
  for (int32_t j = 0; j < k; ++j) {
    const int32_t count = counts[j];
    counts[j] = 0;
    allowed[allowedCount] = j;
    allowedCounts[allowedCount] = count;
    allowedCount += count <= limit ? 1 : 0;
  }
  if (allowedCount == 0) return choice;
  const int32_t index = indexOf(allowedCount);
  choice.color = allowed[index];
  choice.count = allowedCounts[index];
  return choice;
}

// The same choice from the sorted neighbour colours, without a k-entry table.
template <class LimitOf, class IndexOf>
Choice chooseFromNeighbours(const ColoringSample& sample, int32_t v, const int32_t* first,
                            const int32_t* last, LimitOf limitOf, IndexOf indexOf,
                            GibbsWorkspace& workspace) {
  const int32_t* colors = sample.vertexColors.data();
  auto& neighbours = workspace.neighbourColors;
  auto& failing = workspace.failingColors;
  neighbours.clear();
  for (const int32_t* p = first; p != last; ++p) {
    if (*p != v) neighbours.push_back(colors[*p]);
  }
  std::sort(neighbours.begin(), neighbours.end());
  const auto countOf = [&](int32_t color) {
    const auto range = std::equal_range(neighbours.begin(), neighbours.end(), color);
    return static_cast<int32_t>(range.second - range.first);
  };
  Choice choice;
  choice.own = countOf(colors[v]);
  const int32_t limit = limitOf(choice.own, static_cast<int32_t>(last - first));
  // No colour beats a colour that no neighbour has, with count 0.
  if (limit < 0) return choice;

  failing.clear();  // ascending, as the neighbour colours are sorted
  for (std::size_t i = 0; i < neighbours.size();) {
    std::size_t end = i;
    while (end < neighbours.size() && neighbours[end] == neighbours[i]) ++end;
    if (static_cast<int64_t>(end - i) > limit) failing.push_back(neighbours[i]);
    i = end;
  }
  const int32_t allowedCount = sample.colorCount - static_cast<int32_t>(failing.size());
  if (allowedCount == 0) return choice;
  // The index-th allowed colour: step past every failing colour at or below it.
  int32_t color = indexOf(allowedCount);
  for (int32_t f : failing) {
    if (f > color) break;
    ++color;
  }
  choice.color = color;
  choice.count = countOf(color);
  return choice;
}

// What a sweep needs to treat a vertex.
struct Sweep {
  ColoringSample& sample;
  GibbsWorkspace& workspace;
  const uint32_t* neighbourStart;
  const int32_t* neighbourList;
  bool fewColors;
  uint64_t colorLanes;

  // v's choice by the path its degree and the colour count call for.
  template <class LimitOf, class IndexOf>
  [[gnu::always_inline]] Choice choose(int32_t v, LimitOf limitOf, IndexOf indexOf) {
    const int32_t* first = neighbourList + neighbourStart[v];
    const int32_t* last = neighbourList + neighbourStart[v + 1];
    const int64_t degree = last - first;
    if (fewColors && degree <= kMaxLaneDegree) {
      return chooseWithLanes(sample.vertexColors.data(), v, first, last, colorLanes, limitOf,
                             indexOf);
    }
    if (sample.colorCount <= degree + workspace.denseColorMargin) {
      return chooseWithTable(sample, v, first, last, limitOf, indexOf, workspace);
    }
    return chooseFromNeighbours(sample, v, first, last, limitOf, indexOf, workspace);
  }

  // Fetches v's neighbour list, or the offsets that locate it, ahead of its
  // use. On graphs whose lists no longer fit the nearer caches this halves
  // the sweep's time; see the sweeps below.
  void prefetchList(int32_t v) const { __builtin_prefetch(neighbourList + neighbourStart[v]); }
  void prefetchStart(int32_t v) const { __builtin_prefetch(neighbourStart + v); }
};

// A vertex's list is fetched kListAhead treated vertices before its turn,
// and its offsets twice as far ahead, so that they have arrived by then.
constexpr int32_t kListAhead = 8;

// Position by position: the coin, then the vertex's choice if treated.
void sweepInTurn(Sweep& sweep, const int32_t* order, int32_t n, double level) {
  ColoringSample& sample = sweep.sample;
  RandomSource& random = *sample.randomSource;
  CountBound bound(sample.score, level);
  const auto limitOf = [&](int32_t own, int32_t degree) {
    return bound.limit(own, sample.score, degree);
  };
  const auto indexOf = [&](int32_t count) { return scaledIndex(count, random.uniform01()); };
  for (int32_t i = 0; i < n; ++i) {
    // Any position ahead may be treated.
    sweep.prefetchStart(order[std::min(i + 2 * kListAhead, n - 1)]);
    sweep.prefetchList(order[std::min(i + kListAhead, n - 1)]);
    if (random.uniform01() < 0.5) continue;
    const int32_t v = order[i];
    const Choice choice = sweep.choose(v, limitOf, indexOf);
    if (choice.color < 0) continue;
    sample.vertexColors[v] = choice.color;
    const double base = static_cast<double>(2 * choice.own) + sample.score;
    sample.score = base - static_cast<double>(2 * choice.count);
    bound.moved(choice.own, choice.count);
    assert(bound.inStepWith(sample.score));
  }
}

// The same draws, read ahead. When the score starts at or above the level,
// v's own colour is always allowed (it leaves the score where it is), so
// every treated position draws its choice; the engine outputs alone then fix
// which positions are treated and with which choice draw, before any vertex
// is looked at. Each block of positions reads its outputs (a coin, and after
// heads a choice), takes them, then treats its heads. The coins are read
// without a branch (no predictor can learn a coin), and the treated vertices
// are known ahead, so only their lists are prefetched.
//
// Score and level being whole numbers below 2^52, the score changes by
// 2 * (own - count) exactly at each move: the sweep adds these up in an
// integer and sets the double once at the end, to the same value.
void sweepCoinsFirst(Sweep& sweep, const int32_t* order, int32_t n, int64_t half,
                     [[maybe_unused]] double level) {
  ColoringSample& sample = sweep.sample;
  RandomSource& random = *sample.randomSource;
  // A block of positions takes at most two outputs each; 64 more are read.
  constexpr int32_t kBlock = static_cast<int32_t>((RandomSource::kEngineBlock - 64) / 2);
  int32_t* heads = sweep.workspace.treatedVertices.data();
  uint32_t* choices = sweep.workspace.choiceOutputs.data();
  int32_t* colors = sample.vertexColors.data();
  int64_t rise = 0;  // half of the score's rise so far
  for (int32_t start = 0; start < n; start += kBlock) {
    const int32_t count = std::min(kBlock, n - start);
    const uint32_t* outputs = random.peekEngineOutputs(2 * static_cast<std::size_t>(count) + 64);
    // uniform01 < 0.5 exactly when the output's top bit is clear. Each coin
    // is the next position's; a heads position is listed with its choice.
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
    for (int32_t h = 0; h < headCount; ++h) {
      sweep.prefetchStart(heads[std::min(h + 2 * kListAhead, headCount - 1)]);
      sweep.prefetchList(heads[std::min(h + kListAhead, headCount - 1)]);
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
  }
  sample.score += 2.0 * static_cast<double>(rise);
  // The score rose by exactly twice the integer rise.
  assert(!std::isfinite(level) || CountBound(sample.score, level).exactHalf() == half + rise);
}

}  // namespace

void gibbsMove(ColoringSample& sample, double level, GibbsWorkspace& workspace) {
  const int32_t k = sample.colorCount;
  assert(k >= 1);
  const int32_t n = sample.vertexCount;
  if (n > 0)
    sample.randomSource->shuffleOrder(sample.visitOrder.data(), sample.visitOrder.data() + n);
  Sweep sweep{sample,
              workspace,
              sample.graph->neighbourStart.data(),
              sample.graph->neighbourList.data(),
              k <= std::min(workspace.laneColorLimit, kMaxLaneColors),
              k >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * k)) - 1};
  const CountBound bound(sample.score, level);
  if (bound.ownColorAllowed() && workspace.readCoinsFirst) {
    const std::size_t block = RandomSource::kEngineBlock / 2;  // more than kBlock
    if (workspace.treatedVertices.size() < block) {
      workspace.treatedVertices.resize(block);
      workspace.choiceOutputs.resize(block);
    }
    sweepCoinsFirst(sweep, sample.visitOrder.data(), n, bound.exactHalf(), level);
  } else {
    sweepInTurn(sweep, sample.visitOrder.data(), n, level);
  }
}

}  // namespace tintara
