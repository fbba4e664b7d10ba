#include "coloring/tabu_walk.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace tintara {

TabuSettings defaultTabuSettings() {
  TabuSettings settings;
  settings.walkSteps = 250;
  settings.stepsPerVertex = 0;
  settings.tenureBase = 0;
  settings.tenureSpread = 10;
  settings.tenurePerConflict = 0.6;
  return settings;
}

int64_t walkLength(const TabuSettings& settings, int32_t vertexCount) {
  return static_cast<int64_t>(settings.walkSteps) +
         static_cast<int64_t>(settings.stepsPerVertex) * vertexCount;
}

TabuSettings doubledWalk(TabuSettings settings) {
  const auto doubled = [](int32_t x) {
    return x > std::numeric_limits<int32_t>::max() / 2 ? std::numeric_limits<int32_t>::max()
                                                       : 2 * x;
  };
  settings.walkSteps = doubled(settings.walkSteps);
  settings.stepsPerVertex = doubled(settings.stepsPerVertex);
  return settings;
}

namespace {

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

#ifndef NDEBUG
// Whether the tables describe `sample` as it is: every count recounted,
// the list holding exactly the conflicting vertices, and the score.
bool tablesMatch(const ColoringSample& sample, const TabuWorkspace& w) {
  const int32_t k = sample.colorCount;
  const int32_t* colors = sample.vertexColors.data();
  std::vector<int32_t> counts(static_cast<std::size_t>(k));
  double score = 0.0;
  std::size_t conflicting = 0;
  for (int32_t v = 0; v < sample.vertexCount; ++v) {
    counts.assign(counts.size(), 0);
    for (int32_t u : sample.graph->neighbours(v)) {
      if (u != v) ++counts[colors[u]];
      score -= colors[u] == colors[v];
    }
    const int32_t* row = w.neighbourColors.data() + static_cast<std::size_t>(v) * k;
    if (!std::equal(counts.begin(), counts.end(), row)) return false;
    const bool isConflicting = row[colors[v]] > 0;
    if (isConflicting != (w.conflictIndex[v] >= 0)) return false;
    if (isConflicting && w.conflicting[w.conflictIndex[v]] != v) return false;
    conflicting += isConflicting;
  }
  return conflicting == w.conflicting.size() && score == sample.score;
}
#endif

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
  const auto length = static_cast<std::size_t>(walkLength(settings, n));
  if (w.moves.capacity() < length) w.moves.reserve(length);
  w.moves.clear();
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
  w.bestMoves = 0;
  assert(tablesMatch(sample, w));
}

bool tabuStep(ColoringSample& sample, const TabuSettings& settings, TabuWorkspace& w) {
  const int32_t k = sample.colorCount;
  assert(w.colorCount == k);
  assert(w.conflictIndex.size() == static_cast<std::size_t>(sample.vertexCount));
  if (w.conflicting.empty()) return false;
  int32_t* colors = sample.vertexColors.data();
  // A tabu move is still admissible when it beats the walk's best score:
  // a rise below `aspireBound` does (score - 2 * rise > bestScore).
  const double aspireBound = (sample.score - w.bestScore) / 2.0;
  int64_t bestRise = std::numeric_limits<int64_t>::max();
  w.ties.clear();
  for (const int32_t v : w.conflicting) {
    const std::size_t rowStart = static_cast<std::size_t>(v) * static_cast<std::size_t>(k);
    const int32_t* row = w.neighbourColors.data() + rowStart;
    const int64_t* tabu = w.tabuUntil.data() + rowStart;
    const int32_t ownColor = colors[v];
    const int32_t own = row[ownColor];
    for (int32_t c = 0; c < k; ++c) {
      const int64_t rise = static_cast<int64_t>(row[c]) - own;
      if (rise > bestRise || c == ownColor) continue;
      if (tabu[c] > w.clock && !(static_cast<double>(rise) < aspireBound)) continue;
      if (rise < bestRise) {
        bestRise = rise;
        w.ties.clear();
      }
      w.ties.push_back(TabuMoveChoice{v, c});
    }
  }
  if (w.ties.empty()) return false;
  RandomSource& random = *sample.randomSource;
  const TabuMoveChoice move = w.ties[static_cast<std::size_t>(
      scaledIndex(static_cast<int32_t>(w.ties.size()), random.uniform01()))];

  const int32_t v = move.vertex;
  const int32_t from = colors[v];
  const int32_t to = move.color;
  colors[v] = to;
  sample.score -= 2.0 * static_cast<double>(bestRise);
  for (int32_t u : sample.graph->neighbours(v)) {
    if (u == v) continue;
    int32_t* row = w.neighbourColors.data() + static_cast<std::size_t>(u) * k;
    --row[from];
    ++row[to];
    if (colors[u] == from) updateConflicting(w, u, row[from] > 0);
    if (colors[u] == to) updateConflicting(w, u, true);
  }
  updateConflicting(w, v, w.neighbourColors[static_cast<std::size_t>(v) * k + to] > 0);
  w.moves.push_back(TabuMoveChoice{v, from});
  // Ties with the best go to the later colouring.
  if (sample.score >= w.bestScore) {
    w.bestScore = sample.score;
    w.bestMoves = w.moves.size();
  }

  int64_t tenure =
      settings.tenureBase +
      static_cast<int64_t>(settings.tenurePerConflict * static_cast<double>(w.conflicting.size()));
  if (settings.tenureSpread > 1) tenure += scaledIndex(settings.tenureSpread, random.uniform01());
  w.tabuUntil[static_cast<std::size_t>(v) * k + from] = w.clock + 1 + tenure;
  ++w.clock;
  // The full recount is dear: every 1024th step in a Debug build.
  assert((w.moves.size() & 1023) != 0 || tablesMatch(sample, w));
  return true;
}

void finishTabuWalk(ColoringSample& sample, TabuWorkspace& w) {
  // Each walk's tables, recounted once more at its end in a Debug build:
  // as dear as building them.
  assert(tablesMatch(sample, w));
  int32_t* colors = sample.vertexColors.data();
  for (std::size_t i = w.moves.size(); i > w.bestMoves; --i) {
    colors[w.moves[i - 1].vertex] = w.moves[i - 1].color;
  }
  sample.score = w.bestScore;
#ifndef NDEBUG
  ColoringSample recounted = sample;
  recounted.computeScore();
  assert(recounted.score == sample.score);
#endif
}

bool tabuWalk(ColoringSample& sample, const TabuSettings& settings, TabuWorkspace& w,
              const WalkStop& stop) {
  startTabuWalk(sample, settings, w);
  const int64_t length = walkLength(settings, sample.vertexCount);
  bool finished = true;
  for (int64_t step = 0; step < length; ++step) {
    if ((step & 1023) == 0 && stop && stop()) {
      finished = false;
      break;
    }
    if (!tabuStep(sample, settings, w)) break;
  }
  finishTabuWalk(sample, w);
  return finished;
}

double tabuWorkspaceBytes(const TabuSettings& settings, double vertexCount, double colorCount) {
  const double moves = static_cast<double>(settings.walkSteps) +
                       static_cast<double>(settings.stepsPerVertex) * vertexCount;
  return vertexCount * colorCount * kTabuCellBytes + vertexCount * kTabuVertexBytes + 8.0 * moves +
         64.0;
}

}  // namespace tintara
