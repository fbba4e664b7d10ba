#include "coloring/gibbs_move.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace tintara {

namespace {

// The level test as a bound on neighbour counts. Recolouring v, which shares
// its colour with `own` neighbours, to a colour held by c neighbours gives
// the score base - 2c with base = 2 * own + score, and the colour is allowed
// when that is at least the level. The test falls as c grows, so each
// position needs only the largest allowed c, and the scan over the colours
// compares integers.
//
// When the score and the level are whole numbers below 2^52, every one of
// those doubles is exact, and the test is c <= own + half with half =
// floor((score - level) / 2): an integer kept in step with the score through
// the sweep, so that a position does no floating-point work for the test.
// An infinite or NaN level makes half "far" above or below any count. Any
// other level falls back to the double test itself at every position.
class CountBound {
 public:
  CountBound(double score, double level) : level(level) {
    constexpr double kExactBelow = 0x1p52;
    if (std::isnan(level) || level == std::numeric_limits<double>::infinity()) {
      half = -kFar;
    } else if (level == -std::numeric_limits<double>::infinity()) {
      half = kFar;
    } else if (level == std::floor(level) && std::fabs(level) < kExactBelow &&
               score == std::floor(score) && std::fabs(score) < kExactBelow) {
      half = static_cast<int64_t>(std::floor((score - level) / 2.0));
    } else {
      exact = false;
    }
  }

  // The largest allowed neighbour count, in [-1, degree]; -1 allows nothing.
  int32_t limit(int32_t own, double score, int32_t degree) const {
    if (exact) return static_cast<int32_t>(std::clamp<int64_t>(own + half, -1, degree));
    return limitFromDoubles(static_cast<double>(2 * own) + score, degree);
  }

  // After v moved from a colour held by `own` neighbours to one held by
  // `count`: the score rose by 2 * (own - count).
  void moved(int32_t own, int32_t count) { half += own - count; }

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

// A treated position's outcome: the new colour (-1 when no colour is
// allowed, and nothing was drawn), the neighbours holding it, and those
// holding v's old colour.
struct Choice {
  int32_t color = -1;
  int32_t count = 0;
  int32_t own = 0;
};

// With at most 8 colours and fewer than 128 neighbours, the colour counts fit
// in the bytes of one 64-bit word, and the allowed set, its size and the
// chosen colour all follow from a few word operations: no table to fill and
// clear, no loop over the colours, no branch on a count.
constexpr int32_t kMaxLaneColors = 8;
constexpr int64_t kMaxLaneDegree = 127;
constexpr uint64_t kEveryLane = 0x0101010101010101;
constexpr uint64_t kLaneTops = 0x8080808080808080;

// The sum of the eight byte lanes of x, each at most 8.
inline int32_t laneSum(uint64_t x) {
  return static_cast<int32_t>((x * kEveryLane) >> 56);
}

// Top bit of every lane whose value is at most `bound` (lane values and
// bound at most 127: the lanes cannot borrow from each other).
inline uint64_t lanesAtMost(uint64_t lanes, int32_t bound) {
  return (kEveryLane * static_cast<uint64_t>(0x80 + bound) - lanes) & kLaneTops;
}

[[gnu::always_inline]] inline Choice chooseWithLanes(const ColoringSample& sample, int32_t v,
                                                     const int32_t* first, const int32_t* last,
                                                     const CountBound& bound, uint64_t colorLanes,
                                                     RandomSource& random) {
  const int32_t* colors = sample.vertexColors.data();
  uint64_t counts = 0;
  for (const int32_t* p = first; p != last; ++p) {
    const int32_t w = *p;
    counts += static_cast<uint64_t>(w != v) << (8 * colors[w]);
  }
  const auto countOf = [&](int32_t color) {
    return static_cast<int32_t>((counts >> (8 * color)) & 0xff);
  };
  Choice choice;
  choice.own = countOf(colors[v]);
  const int32_t limit = bound.limit(choice.own, sample.score, static_cast<int32_t>(last - first));
  if (limit < 0) return choice;
  const uint64_t allowed = (lanesAtMost(counts, limit) & colorLanes) >> 7;
  const int32_t allowedCount = laneSum(allowed);
  if (allowedCount == 0) return choice;
  const int32_t index = scaledIndex(allowedCount, random.uniform01());
  // Lane j of allowed * kEveryLane counts the allowed colours up to j; the
  // chosen colour is the number of lanes where that is at most index.
  choice.color = laneSum(lanesAtMost(allowed * kEveryLane, index) >> 7);
  choice.count = countOf(choice.color);
  return choice;
}

// Any number of colours, with a table of k counts.
Choice chooseWithTable(const ColoringSample& sample, int32_t v, const int32_t* first,
                       const int32_t* last, const CountBound& bound, RandomSource& random,
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
  const int32_t limit = bound.limit(choice.own, sample.score, static_cast<int32_t>(last - first));
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
  const int32_t index = scaledIndex(allowedCount, random.uniform01());
  choice.color = allowed[index];
  choice.count = allowedCounts[index];
  return choice;
}

// The same choice from the sorted neighbour colours, without a k-entry table.
Choice chooseFromNeighbours(const ColoringSample& sample, int32_t v, const int32_t* first,
                            const int32_t* last, const CountBound& bound, RandomSource& random,
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
  const int32_t limit = bound.limit(choice.own, sample.score, static_cast<int32_t>(last - first));
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
  int32_t color = scaledIndex(allowedCount, random.uniform01());
  for (int32_t f : failing) {
    if (f > color) break;
    ++color;
  }
  choice.color = color;
  choice.count = countOf(color);
  return choice;
}

}  // namespace

void gibbsMove(ColoringSample& sample, double level, GibbsWorkspace& workspace) {
  const int32_t k = sample.colorCount;
  assert(k >= 1);
  RandomSource& random = *sample.randomSource;
  const uint32_t* neighbourStart = sample.graph->neighbourStart.data();
  const int32_t* neighbourList = sample.graph->neighbourList.data();
  const int32_t* order = sample.visitOrder.data();
  int32_t* colors = sample.vertexColors.data();
  const bool fewColors = k <= std::min(workspace.laneColorLimit, kMaxLaneColors);
  const uint64_t colorLanes = k >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * k)) - 1;
  const int32_t n = sample.vertexCount;

  if (n > 0) random.shuffleOrder(sample.visitOrder.data(), sample.visitOrder.data() + n);
  CountBound bound(sample.score, level);
  for (int32_t i = 0; i < n; ++i) {
    // Every position ahead may be treated, so each one's list is fetched
    // early: its offsets 2 * kListAhead positions ahead, its list kListAhead
    // positions ahead, once the offsets have arrived. On graphs whose lists
    // no longer fit the nearer caches this halves the sweep's time.
    constexpr int32_t kListAhead = 8;
    __builtin_prefetch(neighbourStart + order[std::min(i + 2 * kListAhead, n - 1)]);
    __builtin_prefetch(neighbourList + neighbourStart[order[std::min(i + kListAhead, n - 1)]]);

    if (random.uniform01() < 0.5) continue;
    const int32_t v = order[i];
    const int32_t* first = neighbourList + neighbourStart[v];
    const int32_t* last = neighbourList + neighbourStart[v + 1];
    const int64_t degree = last - first;
    Choice choice;
    if (fewColors && degree <= kMaxLaneDegree) {
      choice = chooseWithLanes(sample, v, first, last, bound, colorLanes, random);
    } else if (k <= degree + workspace.denseColorMargin) {
      choice = chooseWithTable(sample, v, first, last, bound, random, workspace);
    } else {
      choice = chooseFromNeighbours(sample, v, first, last, bound, random, workspace);
    }
    if (choice.color < 0) continue;
    colors[v] = choice.color;
    const double base = static_cast<double>(2 * choice.own) + sample.score;
    sample.score = base - static_cast<double>(2 * choice.count);
    bound.moved(choice.own, choice.count);
  }
}

}  // namespace tintara
