#include "coloring/tabu_walk.h"

#include <cassert>
#include <cmath>
#include <limits>

namespace tintara {

TabuSettings defaultTabuSettings() {
  TabuSettings settings;
  settings.walkLength = 2000;
  settings.tenureBase = 0;
  settings.tenureSpread = 10;
  settings.tenurePerConflict = 0.6;
  return settings;
}

namespace {

constexpr int64_t kFar = int64_t{1} << 40;

// The largest rise in monochromatic adjacency pairs (half the score's fall)
// a move may bring: the new score, score - 2 * rise, must stay at or above
// the level.
int64_t largestRise(double score, double level) {
  if (std::isnan(level) || level == std::numeric_limits<double>::infinity()) return -kFar;
  if (level == -std::numeric_limits<double>::infinity()) return kFar;
  const double half = std::floor((score - level) / 2.0);
  if (half >= static_cast<double>(kFar)) return kFar;
  if (half <= -static_cast<double>(kFar)) return -kFar;
  return static_cast<int64_t>(half);
}

void addConflicting(TabuWorkspace& w, int32_t v) {
  w.conflictIndex[v] = static_cast<int32_t>(w.conflicting.size());
  w.conflicting.push_back(v);
}

void removeConflicting(TabuWorkspace& w, int32_t v) {
  const int32_t at = w.conflictIndex[v];
  const int32_t last = w.conflicting.back();
  w.conflicting[at] = last;
  w.conflictIndex[last] = at;
  w.conflicting.pop_back();
  w.conflictIndex[v] = -1;
}

// Keeps v's place in the conflicting list in step with its own colour count.
void updateConflicting(TabuWorkspace& w, int32_t v, bool conflicting) {
  const bool listed = w.conflictIndex[v] >= 0;
  if (conflicting && !listed) addConflicting(w, v);
  if (!conflicting && listed) removeConflicting(w, v);
}

}  // namespace

void startTabuWalk(const ColoringSample& sample, const TabuSettings& settings, TabuWorkspace& w) {
  const Graph& graph = *sample.graph;
  const int32_t n = sample.vertexCount;
  const int32_t k = sample.colorCount;
  const std::size_t cells = static_cast<std::size_t>(n) * static_cast<std::size_t>(k);
  w.colorCount = k;
  w.neighbourColors.assign(cells, 0);
  // Reserved to the exact size, so that the memory check's count holds and
  // no step allocates: a step ties at most every (vertex, colour) pair.
  if (w.tabuUntil.size() < cells) {
    w.tabuUntil.reserve(cells);
    w.tabuUntil.resize(cells, 0);
  }
  if (w.ties.capacity() < cells) w.ties.reserve(cells);
  // Every entry set so far lies below the old clock plus the longest
  // tenure, so moving the clock past that expires them all.
  const auto longest = static_cast<int64_t>(settings.tenureBase) + settings.tenureSpread +
                       static_cast<int64_t>(std::ceil(settings.tenurePerConflict * n)) + 1;
  w.clock += longest;
  w.conflicting.clear();
  w.conflictIndex.assign(static_cast<std::size_t>(n), -1);
  if (w.conflicting.capacity() < static_cast<std::size_t>(n)) w.conflicting.reserve(n);
  const int32_t* colors = sample.vertexColors.data();
  for (int32_t v = 0; v < n; ++v) {
    int32_t* row = w.neighbourColors.data() + static_cast<std::size_t>(v) * k;
    for (int32_t u : graph.neighbours(v)) {
      if (u != v) ++row[colors[u]];
    }
    if (row[colors[v]] > 0) addConflicting(w, v);
  }
  w.bestScore = sample.score;
}

void tabuWalk(ColoringSample& sample, double level, const TabuSettings& settings,
              TabuWorkspace& w) {
  const Graph& graph = *sample.graph;
  const int32_t k = sample.colorCount;
  assert(w.colorCount == k);
  assert(w.conflictIndex.size() == static_cast<std::size_t>(sample.vertexCount));
  int32_t* colors = sample.vertexColors.data();
  RandomSource& random = *sample.randomSource;
  for (int32_t step = 0; step < settings.walkLength; ++step) {
    if (w.conflicting.empty()) return;
    const int64_t maxRise = largestRise(sample.score, level);
    // A tabu move is still admissible when it beats the chain's best score:
    // a rise below `aspire` does (score - 2 * rise > bestScore).
    const double aspireBound = (sample.score - w.bestScore) / 2.0;
    int64_t bestRise = std::numeric_limits<int64_t>::max();
    w.ties.clear();
    for (const int32_t v : w.conflicting) {
      const std::size_t rowStart = static_cast<std::size_t>(v) * static_cast<std::size_t>(k);
      const int32_t* row = w.neighbourColors.data() + rowStart;
      const int64_t* tabu = w.tabuUntil.data() + rowStart;
      const int32_t own = row[colors[v]];
      for (int32_t c = 0; c < k; ++c) {
        const int64_t rise = static_cast<int64_t>(row[c]) - own;
        if (rise > bestRise || rise > maxRise || c == colors[v]) continue;
        if (tabu[c] > w.clock && !(static_cast<double>(rise) < aspireBound)) continue;
        if (rise < bestRise) {
          bestRise = rise;
          w.ties.clear();
        }
        w.ties.push_back(TabuMoveChoice{v, c});
      }
    }
    if (w.ties.empty()) return;
    const TabuMoveChoice move = w.ties[static_cast<std::size_t>(
        scaledIndex(static_cast<int32_t>(w.ties.size()), random.uniform01()))];

    const int32_t v = move.vertex;
    const int32_t from = colors[v];
    const int32_t to = move.color;
    colors[v] = to;
    sample.score -= 2.0 * static_cast<double>(bestRise);
    assert(sample.score >= level);
    for (int32_t u : graph.neighbours(v)) {
      if (u == v) continue;
      int32_t* row = w.neighbourColors.data() + static_cast<std::size_t>(u) * k;
      --row[from];
      ++row[to];
      if (colors[u] == from) updateConflicting(w, u, row[from] > 0);
      if (colors[u] == to) updateConflicting(w, u, true);
    }
    updateConflicting(w, v, w.neighbourColors[static_cast<std::size_t>(v) * k + to] > 0);
    if (sample.score > w.bestScore) w.bestScore = sample.score;

    int64_t tenure =
        settings.tenureBase + static_cast<int64_t>(settings.tenurePerConflict *
                                                   static_cast<double>(w.conflicting.size()));
    if (settings.tenureSpread > 1) tenure += scaledIndex(settings.tenureSpread, random.uniform01());
    w.tabuUntil[static_cast<std::size_t>(v) * k + from] = w.clock + 1 + tenure;
    ++w.clock;
  }
}

double tabuWorkspaceBytes(double vertexCount, double colorCount) {
  return vertexCount * colorCount * kTabuCellBytes + vertexCount * kTabuVertexBytes + 64.0;
}

}  // namespace tintara
