#include "coloring/gibbs_move.h"

#include <algorithm>
#include <cassert>

namespace tintara {

namespace {

// The largest neighbour count c in [-1, maxCount] for which a colour held by
// c neighbours keeps the score at or above the level: base - 2c >= level.
// The test is monotone in c, so the scan can compare integer counts with this
// bound instead of forming a double per colour. The quotient only guesses c;
// the guess is checked with the exact test, which settles the one step a
// rounded quotient can be off by.
int32_t highestAllowedCount(double base, double level, int32_t maxCount) {
  if (!(base >= level)) return -1;
  const double half = (base - level) / 2.0;
  if (half >= static_cast<double>(maxCount)) return maxCount;
  auto c = static_cast<int32_t>(half);
  if (!(base - 2.0 * c >= level)) return c - 1;
  if (base - 2.0 * (c + 1.0) >= level) return c + 1;
  return c;
}

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

bool chooseWithLanes(const ColoringSample& sample, int32_t v, const int32_t* first,
                     const int32_t* last, double level, uint64_t colorLanes, RandomSource& random,
                     int32_t& newColor, double& newScore) {
  const int32_t* colors = sample.vertexColors.data();
  uint64_t counts = 0;
  for (const int32_t* p = first; p != last; ++p) {
    const int32_t w = *p;
    counts += static_cast<uint64_t>(w != v) << (8 * colors[w]);
  }
  const auto countOf = [&](int32_t color) {
    return static_cast<int32_t>((counts >> (8 * color)) & 0xff);
  };
  const double base = static_cast<double>(2 * countOf(colors[v])) + sample.score;
  const int32_t limit = highestAllowedCount(base, level, static_cast<int32_t>(last - first));
  if (limit < 0) return false;
  const uint64_t allowed = (lanesAtMost(counts, limit) & colorLanes) >> 7;
  const int32_t allowedCount = laneSum(allowed);
  if (allowedCount == 0) return false;
  const int32_t index = scaledIndex(allowedCount, random.uniform01());
  // Lane j of allowed * kEveryLane counts the allowed colours up to j; the
  // chosen colour is the number of lanes where that is at most index.
  const int32_t color = laneSum(lanesAtMost(allowed * kEveryLane, index) >> 7);
  newColor = color;
  newScore = base - static_cast<double>(2 * countOf(color));
  return true;
}

// The treated position's new colour and score from a table of colour counts;
// false when no colour keeps the score at or above the level.
bool chooseWithTable(const ColoringSample& sample, int32_t v, double level, RandomSource& random,
                     GibbsWorkspace& workspace, int32_t& newColor, double& newScore) {
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
  const auto neighbours = sample.graph->neighbours(v);
  for (int32_t w : neighbours) {
    if (w != v) ++counts[colors[w]];
  }
  // The score with v recoloured to j: conflicts with colour c go (+2 each),
  // conflicts with colour j come (-2 each).
  const double base = static_cast<double>(2 * counts[colors[v]]) + sample.score;
  const int32_t limit = highestAllowedCount(base, level, static_cast<int32_t>(neighbours.size()));
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
  if (allowedCount == 0) return false;
  const int32_t index = scaledIndex(allowedCount, random.uniform01());
  newColor = allowed[index];
  newScore = base - static_cast<double>(2 * allowedCounts[index]);
  return true;
}

// The same choice from the sorted neighbour colours, without a k-entry table.
bool chooseFromNeighbours(const ColoringSample& sample, int32_t v, double level,
                          RandomSource& random, GibbsWorkspace& workspace, int32_t& newColor,
                          double& newScore) {
  const int32_t* colors = sample.vertexColors.data();
  auto& neighbours = workspace.neighbourColors;
  auto& failing = workspace.failingColors;
  neighbours.clear();
  for (int32_t w : sample.graph->neighbours(v)) {
    if (w != v) neighbours.push_back(colors[w]);
  }
  std::sort(neighbours.begin(), neighbours.end());
  const auto countOf = [&](int32_t color) {
    const auto range = std::equal_range(neighbours.begin(), neighbours.end(), color);
    return static_cast<int32_t>(range.second - range.first);
  };
  const double base = static_cast<double>(2 * countOf(colors[v])) + sample.score;
  // No colour beats a colour that no neighbour has, whose value is base.
  if (base < level) return false;

  failing.clear();  // ascending, as the neighbour colours are sorted
  for (std::size_t i = 0; i < neighbours.size();) {
    std::size_t end = i;
    while (end < neighbours.size() && neighbours[end] == neighbours[i]) ++end;
    if (base - static_cast<double>(2 * static_cast<int32_t>(end - i)) < level) {
      failing.push_back(neighbours[i]);
    }
    i = end;
  }
  const int32_t allowedCount = sample.colorCount - static_cast<int32_t>(failing.size());
  if (allowedCount == 0) return false;
  // The index-th allowed colour: step past every failing colour at or below it.
  int32_t color = scaledIndex(allowedCount, random.uniform01());
  for (int32_t f : failing) {
    if (f > color) break;
    ++color;
  }
  newColor = color;
  newScore = base - static_cast<double>(2 * countOf(color));
  return true;
}

}  // namespace

void gibbsMove(ColoringSample& sample, double level, GibbsWorkspace& workspace) {
  const int32_t k = sample.colorCount;
  assert(k >= 1);
  RandomSource& random = *sample.randomSource;
  const uint32_t* neighbourStart = sample.graph->neighbourStart.data();
  const int32_t* neighbourList = sample.graph->neighbourList.data();
  const int32_t* order = sample.visitOrder.data();
  const bool fewColors = k <= std::min(workspace.laneColorLimit, kMaxLaneColors);
  const uint64_t colorLanes = k >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * k)) - 1;

  if (!sample.visitOrder.empty()) {
    random.shuffleOrder(sample.visitOrder.data(),
                        sample.visitOrder.data() + sample.visitOrder.size());
  }
  const auto visit = [&](int32_t i) {
    if (random.uniform01() < 0.5) return;
    const int32_t v = order[i];
    const int32_t* first = neighbourList + neighbourStart[v];
    const int32_t* last = neighbourList + neighbourStart[v + 1];
    const int64_t degree = last - first;
    int32_t newColor = 0;
    double newScore = 0.0;
    bool moved;
    if (fewColors && degree <= kMaxLaneDegree) {
      moved =
          chooseWithLanes(sample, v, first, last, level, colorLanes, random, newColor, newScore);
    } else if (k <= degree + workspace.denseColorMargin) {
      moved = chooseWithTable(sample, v, level, random, workspace, newColor, newScore);
    } else {
      moved = chooseFromNeighbours(sample, v, level, random, workspace, newColor, newScore);
    }
    if (!moved) return;
    sample.vertexColors[v] = newColor;
    sample.score = newScore;
  };
  const int32_t n = sample.vertexCount;
  int32_t i = 0;
  // Every position ahead may be treated, so each one's list is fetched
  // early: its offsets 2 * kListAhead positions ahead, its list kListAhead
  // positions ahead, once the offsets have arrived. On graphs whose lists
  // no longer fit the nearer caches this halves the sweep's time.
  constexpr int32_t kListAhead = 8;
  for (; i + 2 * kListAhead < n; ++i) {
    __builtin_prefetch(neighbourStart + order[i + 2 * kListAhead]);
    __builtin_prefetch(neighbourList + neighbourStart[order[i + kListAhead]]);
    visit(i);
  }
  for (; i < n; ++i) visit(i);
}

}  // namespace tintara
