#include "coloring/gibbs_move.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "coloring/level_sweep.h"

namespace tintara {

namespace {

// Each chooser below counts v's neighbour colours (v's own entries, its
// self-loops, left out), asks limitOf(own, degree) for the largest allowed
// count, and, when some colour is allowed, indexOf(allowedCount) for the
// index of the chosen one among the allowed colours in ascending order:
// indexOf makes the choice draw.

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
  return choiceFromLanes(counts, colors[v], static_cast<int32_t>(last - first), colorLanes, limitOf,
                         indexOf);
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
  return choiceFromTable(counts, k, 0, colors[v], static_cast<int32_t>(last - first), limitOf,
                         indexOf, allowed, allowedCounts);
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
  int32_t* colors = sample.vertexColors.data();
  // Inlined by force: without it g++ 12 -O3 left no prefetch in this
  // sweep, and a sweep of a 100,000-vertex graph took 1.4-4x as long.
  const int64_t rise = colorHeads(
      sweep, random, order, n, colors, half,
      [&sweep](const int32_t* heads, int32_t h, int32_t count) __attribute__((always_inline)) {
        sweep.prefetchStart(heads[std::min(h + 2 * kListAhead, count - 1)]);
        sweep.prefetchList(heads[std::min(h + kListAhead, count - 1)]);
      });
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
    sweepCoinsFirst(sweep, sample.visitOrder.data(), n, bound.exactHalf(), level);
  } else {
    sweepInTurn(sweep, sample.visitOrder.data(), n, level);
  }
}

}  // namespace tintara
