#include "coloring/kernel_state.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "coloring/coloring_sample.h"
#include "coloring/level_sweep.h"

namespace tintara {

namespace {

bool isBad(const KernelLink& link, int32_t color, int32_t neighbourColor) {
  return link.equality ? color != neighbourColor : color == neighbourColor;
}

bool linkActive(const KernelLink& link, const KernelSample& sample) {
  return link.bit < 0 || sample.active[static_cast<std::size_t>(link.bit)] != 0;
}

}  // namespace

KernelGraph makeKernelGraph(int32_t vertexCount, const std::vector<KernelEdge>& edges) {
  KernelGraph graph;
  graph.vertexCount = vertexCount;
  graph.edgeCount = static_cast<int32_t>(edges.size());
  graph.linkStart.assign(static_cast<std::size_t>(vertexCount) + 1, 0);
  for (const KernelEdge& e : edges) {
    ++graph.linkStart[e.u + 1];
    ++graph.linkStart[e.v + 1];
  }
  for (int32_t v = 0; v < vertexCount; ++v) graph.linkStart[v + 1] += graph.linkStart[v];
  graph.links.resize(graph.linkStart[vertexCount]);
  std::vector<uint32_t> next(graph.linkStart.begin(), graph.linkStart.end() - 1);
  for (const KernelEdge& e : edges) {
    int32_t bit = -1;
    if (e.activeProbability < 1.0) {
      bit = static_cast<int32_t>(graph.bits.size());
      graph.bits.push_back(KernelBit{e.u, e.v, e.equality, e.activeProbability});
    }
    graph.links[next[e.u]++] = KernelLink{e.v, bit, e.equality};
    graph.links[next[e.v]++] = KernelLink{e.u, bit, e.equality};
  }
  return graph;
}

void randomKernelSample(KernelSample& sample, const KernelGraph& graph, RandomSource& random,
                        int32_t k) {
  const auto n = static_cast<std::size_t>(graph.vertexCount);
  sample.colors.resize(n);
  sample.visitOrder.resize(n);
  for (std::size_t v = 0; v < n; ++v) {
    sample.visitOrder[v] = static_cast<int32_t>(v);
    sample.colors[v] = scaledIndex(k, random.uniform01());
  }
  sample.active.resize(graph.bits.size());
  for (std::size_t b = 0; b < graph.bits.size(); ++b) {
    sample.active[b] = random.uniform01() < graph.bits[b].activeProbability ? 1 : 0;
  }
  sample.score = kernelScore(graph, sample);
}

double kernelScore(const KernelGraph& graph, const KernelSample& sample) {
  double score = 0.0;
  for (int32_t v = 0; v < graph.vertexCount; ++v) {
    for (const KernelLink& link : graph.linksOf(v)) {
      if (linkActive(link, sample) &&
          isBad(link, sample.colors[v], sample.colors[link.neighbour])) {
        score -= 1.0;  // once from each end: -2 an edge
      }
    }
  }
  return score;
}

namespace {

// The choosers below count, for every colour c, the bad links v would have
// with colour c among its active links: an inequality link to colour c, an
// equality link to any other colour. They read a link's activity from
// `linkActive` at link.bit + 2, which holds the bits from slot 2 on, 1 in
// slot 1 for the links without a bit (bit -1), and 0 in slot 0 for the
// padding link below: no link branches on having a bit. As in
// coloring/gibbs_move.cpp, limitOf(own, degree) gives the largest allowed
// count and indexOf the choice's index among the allowed colours (making
// the choice draw).
constexpr KernelLink kPadding{0, -2, false};  // never active

// With at most 8 colours and a degree below 128: the counts in byte lanes.
// An inequality link adds 1 in its neighbour colour's lane, an equality
// link 1 in every other lane (the lanes past k, which no colour reads,
// included). The first kSlots links are read whatever the degree, the
// padding link past the end, so that the loop ends the same way at every
// vertex (a loop to each vertex's degree mispredicts its exit at most
// vertices of a kernel, whose degrees are mostly 3 to 5: four slots took
// about 30% off the sweep's time in bench/kernel_bench.cpp).
constexpr int kSlots = 4;

template <class LimitOf, class IndexOf>
[[gnu::always_inline]] inline Choice chooseWithLanes(const int32_t* colors,
                                                     const uint8_t* linkActive, int32_t v,
                                                     const KernelLink* first,
                                                     const KernelLink* last, uint64_t colorLanes,
                                                     LimitOf limitOf, IndexOf indexOf) {
  uint64_t counts = 0;
  const auto add = [&](const KernelLink& link) {
    const uint64_t lane = uint64_t{1} << (8 * colors[link.neighbour]);
    const uint64_t equality = uint64_t{0} - static_cast<uint64_t>(link.equality);
    const uint64_t active = uint64_t{0} - static_cast<uint64_t>(linkActive[link.bit + 2]);
    // kEveryLane ^ lane = kEveryLane - lane: every lane but the neighbour's.
    counts += (lane ^ (equality & kEveryLane)) & active;
  };
  const int64_t degree = last - first;
  for (int i = 0; i < kSlots; ++i) add(*(i < degree ? first + i : &kPadding));
  for (const KernelLink* link = first + kSlots; link < last; ++link) add(*link);
  return choiceFromLanes(counts, colors[v], static_cast<int32_t>(last - first), colorLanes, limitOf,
                         indexOf);
}

// Any number of colours and any degree: a table of k entries, all zeros
// between positions, holds each colour's inequality links less its
// equality links; adding v's active equality links gives the counts. The
// scan over the colours reads each entry and clears it.
template <class LimitOf, class IndexOf>
Choice chooseWithTable(const int32_t* colors, const uint8_t* linkActive, int32_t v, int32_t k,
                       const KernelLink* first, const KernelLink* last, LimitOf limitOf,
                       IndexOf indexOf, KernelWorkspace& workspace) {
  int32_t* counts = workspace.colorCounts.data();
  int32_t* allowed = workspace.allowedColors.data();
  int32_t* allowedCounts = workspace.allowedCounts.data();
  int32_t equalLinks = 0;
  for (const KernelLink* link = first; link != last; ++link) {
    const int32_t active = linkActive[link->bit + 2];
    const int32_t equality = link->equality ? 1 : 0;
    counts[colors[link->neighbour]] += active * (1 - 2 * equality);
    equalLinks += active & equality;
  }
  return choiceFromTable(counts, k, equalLinks, colors[v], static_cast<int32_t>(last - first),
                         limitOf, indexOf, allowed, allowedCounts);
}

// What a sweep needs to treat a vertex.
struct KernelSweep {
  const KernelGraph& graph;
  int32_t k;
  int32_t* colors;
  const uint8_t* linkActive;
  KernelWorkspace& workspace;
  uint64_t colorLanes;  // the lanes of colours 0 .. k - 1; 0 when k > 8

  template <class LimitOf, class IndexOf>
  [[gnu::always_inline]] Choice choose(int32_t v, LimitOf limitOf, IndexOf indexOf) {
    const KernelLink* first = graph.links.data() + graph.linkStart[v];
    const KernelLink* last = graph.links.data() + graph.linkStart[v + 1];
    if (colorLanes != 0 && last - first <= kMaxLaneDegree) {
      return chooseWithLanes(colors, linkActive, v, first, last, colorLanes, limitOf, indexOf);
    }
    return chooseWithTable(colors, linkActive, v, k, first, last, limitOf, indexOf, workspace);
  }
};

// The colour pass position by position, for a sample below the level or a
// level that is not a whole number: the coin, then the choice if heads,
// allowed when its count is at most own + floor((score - level) / 2), the
// slack recomputed only when the score changes.
void colorsInTurn(KernelSweep& sweep, KernelSample& sample, RandomSource& random, double level) {
  const int32_t n = sweep.graph.vertexCount;
  double slack = std::floor((sample.score - level) / 2.0);
  const auto limitOf = [&](int32_t own, int32_t degree) {
    // Whole numbers, or an infinite or NaN slack: the largest count at most
    // own + slack, in [-1, degree].
    const double limit = static_cast<double>(own) + slack;
    if (!(limit >= -1.0)) return -1;
    return limit >= static_cast<double>(degree) ? degree : static_cast<int32_t>(limit);
  };
  const auto indexOf = [&](int32_t count) { return scaledIndex(count, random.uniform01()); };
  for (int32_t i = 0; i < n; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = sample.visitOrder[i];
    const Choice choice = sweep.choose(v, limitOf, indexOf);
    if (choice.color < 0) continue;
    sweep.colors[v] = choice.color;
    if (choice.count != choice.own) {
      sample.score += 2.0 * static_cast<double>(choice.own - choice.count);
      slack = std::floor((sample.score - level) / 2.0);
    }
  }
}

// The bits pass in turn, with the double tests themselves.
void bitsInTurn(const KernelGraph& graph, KernelSample& sample, RandomSource& random,
                double level) {
  const int32_t* colors = sample.colors.data();
  for (std::size_t b = 0; b < graph.bits.size(); ++b) {
    const KernelBit& bit = graph.bits[b];
    const double u = random.uniform01();
    const bool bad = bit.equality ? colors[bit.u] != colors[bit.v] : colors[bit.u] == colors[bit.v];
    uint8_t& active = sample.active[b];
    // The score with the bit off, and on; a value is allowed when its score
    // is at or above the level (off never scores below on). With neither
    // allowed, as with no colour allowed, nothing changes.
    const double off = sample.score + (active && bad ? 2.0 : 0.0);
    const double on = off - (bad ? 2.0 : 0.0);
    if (off < level) continue;
    active = u < bit.activeProbability && on >= level ? 1 : 0;
    sample.score = active ? on : off;
  }
}

// The sweep of a sample at or above the level, both whole numbers (or the
// level -infinity): v's own colour is always allowed, so every heads
// position draws its choice, and the coins and choices are read ahead
// (forEachHeadsBlock) without a branch on a coin. Then every bit's off
// value is allowed, and its draw is read from the block of outputs. The
// level test is on half = floor((score - level) / 2) in an integer, and the
// score is set once at the end, to the value the steps would give.
void sweepReadAhead(KernelSweep& sweep, KernelSample& sample, RandomSource& random, int64_t half,
                    [[maybe_unused]] double level) {
  const KernelGraph& graph = sweep.graph;
  int32_t* colors = sweep.colors;
  // Half of the score's rise so far, at least -half after the colours.
  int64_t rise = colorHeads(sweep, random, sample.visitOrder.data(), graph.vertexCount, colors,
                            half, [](const int32_t*, int32_t, int32_t) {});
  // A bit's value off is always allowed, on when it leaves half >= 0; a
  // draw u = output / 2^32 is below p as a double, exactly as uniform01's.
  const KernelBit* bits = graph.bits.data();
  uint8_t* active = sample.active.data();
  const auto bitCount = static_cast<int32_t>(graph.bits.size());
  for (int32_t start = 0; start < bitCount;) {
    const int32_t count =
        std::min(bitCount - start, static_cast<int32_t>(RandomSource::kEngineBlock));
    const uint32_t* outputs = random.peekEngineOutputs(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
      const KernelBit& bit = bits[start + i];
      const double u = static_cast<double>(outputs[i]) * 0x1p-32;
      const int32_t bad = (colors[bit.u] == colors[bit.v]) != bit.equality ? 1 : 0;
      const int32_t wasActive = active[start + i];
      const int64_t off = half + rise + (wasActive & bad);
      const int32_t on = (u < bit.activeProbability) & (off - bad >= 0) ? 1 : 0;
      active[start + i] = static_cast<uint8_t>(on);
      rise += (wasActive & bad) - (on & bad);
    }
    random.skipEngineOutputs(static_cast<std::size_t>(count));
    start += count;
  }
  sample.score += 2.0 * static_cast<double>(rise);
  assert(!std::isfinite(level) || CountBound(sample.score, level).exactHalf() == half + rise);
}

}  // namespace

void kernelGibbsMove(KernelSample& sample, const KernelGraph& graph, int32_t k,
                     RandomSource& random, double level, KernelWorkspace& workspace) {
  assert(k >= 1);
  const int32_t n = graph.vertexCount;
  if (n > 0) random.shuffleOrder(sample.visitOrder.data(), sample.visitOrder.data() + n);
  if (workspace.colorCounts.size() < static_cast<std::size_t>(k)) {
    workspace.colorCounts.assign(static_cast<std::size_t>(k), 0);
    workspace.allowedColors.resize(static_cast<std::size_t>(k));
    workspace.allowedCounts.resize(static_cast<std::size_t>(k));
  }
  // The bits stay put through the colour pass.
  workspace.linkActive.resize(sample.active.size() + 2);
  workspace.linkActive[0] = 0;  // the padding link
  workspace.linkActive[1] = 1;  // the links without a bit
  std::copy(sample.active.begin(), sample.active.end(), workspace.linkActive.begin() + 2);
  KernelSweep sweep{graph,
                    k,
                    sample.colors.data(),
                    workspace.linkActive.data(),
                    workspace,
                    k > kMaxLaneColors    ? 0
                    : k == kMaxLaneColors ? ~uint64_t{0}
                                          : (uint64_t{1} << (8 * k)) - 1};
  const CountBound bound(sample.score, level);
  if (bound.ownColorAllowed()) {
    sweepReadAhead(sweep, sample, random, bound.exactHalf(), level);
  } else {
    colorsInTurn(sweep, sample, random, level);
    bitsInTurn(graph, sample, random, level);
  }
  assert(sample.score == kernelScore(graph, sample));
}

}  // namespace tintara
