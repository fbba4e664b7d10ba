#include "coloring/gibbs_move.h"

#include <algorithm>
#include <cassert>

namespace tintara {

namespace {

// The treated position's new colour and score from a table of colour counts;
// false when no colour keeps the score at or above the level.
bool chooseWithTable(const ColoringSample& sample, int32_t v, double level, RandomSource& random,
                     GibbsWorkspace& workspace, int32_t& newColor, double& newScore) {
  const int32_t k = sample.colorCount;
  const int32_t* colors = sample.vertexColors.data();
  if (workspace.colorCounts.size() < static_cast<std::size_t>(k)) {
    workspace.colorCounts.resize(k, 0);
    workspace.allowedColors.resize(k);
    workspace.allowedScores.resize(k);
  }
  // The table is all zeros between positions: the scan over the colours
  // below reads each count and clears it.
  int32_t* counts = workspace.colorCounts.data();
  int32_t* allowed = workspace.allowedColors.data();
  double* allowedScores = workspace.allowedScores.data();
  for (int32_t w : sample.graph->adjacency[v]) {
    if (w != v) ++counts[colors[w]];
  }
  // The score with v recoloured to j: conflicts with colour c go (+2 each),
  // conflicts with colour j come (-2 each).
  const double base = static_cast<double>(2 * counts[colors[v]]) + sample.score;
  int32_t allowedCount = 0;
  for (int32_t j = 0; j < k; ++j) {
    const double value = base - static_cast<double>(2 * counts[j]);
    counts[j] = 0;
    if (value >= level) {
      allowed[allowedCount] = j;
      allowedScores[allowedCount] = value;
      ++allowedCount;
    }
  }
  if (allowedCount == 0) return false;
  const int32_t index = scaledIndex(allowedCount, random.uniform01());
  newColor = allowed[index];
  newScore = allowedScores[index];
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
  for (int32_t w : sample.graph->adjacency[v]) {
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
  const auto& adjacency = sample.graph->adjacency;

  if (!sample.visitOrder.empty()) {
    random.shuffleOrder(sample.visitOrder.data(),
                        sample.visitOrder.data() + sample.visitOrder.size());
  }
  for (int32_t i = 0; i < sample.vertexCount; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = sample.visitOrder[i];
    const auto degree = static_cast<int64_t>(adjacency[v].size());
    int32_t newColor = 0;
    double newScore = 0.0;
    const bool moved =
        k <= degree + workspace.denseColorMargin
            ? chooseWithTable(sample, v, level, random, workspace, newColor, newScore)
            : chooseFromNeighbours(sample, v, level, random, workspace, newColor, newScore);
    if (!moved) continue;
    sample.vertexColors[v] = newColor;
    sample.score = newScore;
  }
}

}  // namespace tintara
