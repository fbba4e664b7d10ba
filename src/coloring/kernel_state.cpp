#include "coloring/kernel_state.h"

#include <cassert>
#include <cmath>

#include "coloring/coloring_sample.h"

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

void kernelGibbsMove(KernelSample& sample, const KernelGraph& graph, int32_t k,
                     RandomSource& random, double level, KernelWorkspace& workspace) {
  const int32_t n = graph.vertexCount;
  if (n > 0) random.shuffleOrder(sample.visitOrder.data(), sample.visitOrder.data() + n);
  if (workspace.unequalBad.size() < static_cast<std::size_t>(k)) {
    workspace.unequalBad.assign(static_cast<std::size_t>(k), 0);
    workspace.equalGood.assign(static_cast<std::size_t>(k), 0);
  }
  int32_t* unequalBad = workspace.unequalBad.data();
  int32_t* equalGood = workspace.equalGood.data();
  int32_t* colors = sample.colors.data();
  for (int32_t i = 0; i < n; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = sample.visitOrder[i];
    // Colour c makes bad, among v's active links, the inequality links to
    // colour c and the equality links to any other colour.
    int32_t equalLinks = 0;
    for (const KernelLink& link : graph.linksOf(v)) {
      if (!linkActive(link, sample)) continue;
      if (link.equality) {
        ++equalLinks;
        ++equalGood[colors[link.neighbour]];
      } else {
        ++unequalBad[colors[link.neighbour]];
      }
    }
    const auto badWith = [&](int32_t c) { return unequalBad[c] + equalLinks - equalGood[c]; };
    const int32_t own = badWith(colors[v]);
    // Allowed: score + 2 (own - bad) >= level, whole numbers both.
    const double slack = std::floor((sample.score - level) / 2.0);
    const double limit = static_cast<double>(own) + slack;
    int32_t allowedCount = 0;
    for (int32_t c = 0; c < k; ++c) allowedCount += badWith(c) <= limit ? 1 : 0;
    if (allowedCount > 0) {
      int32_t index = scaledIndex(allowedCount, random.uniform01());
      for (int32_t c = 0; c < k; ++c) {
        if (badWith(c) > limit) continue;
        if (index-- == 0) {
          sample.score += 2.0 * static_cast<double>(own - badWith(c));
          colors[v] = c;
          break;
        }
      }
    }
    for (const KernelLink& link : graph.linksOf(v)) {
      unequalBad[colors[link.neighbour]] = 0;
      equalGood[colors[link.neighbour]] = 0;
    }
  }
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
  assert(sample.score == kernelScore(graph, sample));
}

}  // namespace tintara
