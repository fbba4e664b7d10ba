#include "coloring/gibbs_move.h"

#include <algorithm>
#include <cassert>

namespace tintara {

void gibbsMove(ColoringSample& sample, double level, GibbsWorkspace& workspace) {
  const int32_t k = sample.colorCount;
  assert(k >= 1);
  RandomSource& random = *sample.randomSource;
  const auto& adjacency = sample.graph->adjacency;
  int32_t* colors = sample.vertexColors.data();

  if (!sample.visitOrder.empty()) {
    random.shuffleOrder(sample.visitOrder.data(),
                        sample.visitOrder.data() + sample.visitOrder.size());
  }
  auto& counts = workspace.colorCounts;
  auto& allowed = workspace.allowedColors;
  if (counts.size() < static_cast<std::size_t>(k)) counts.resize(k);
  if (allowed.capacity() < static_cast<std::size_t>(k)) allowed.reserve(k);

  for (int32_t i = 0; i < sample.vertexCount; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = sample.visitOrder[i];
    const int32_t c = colors[v];

    std::fill_n(counts.begin(), k, 0);
    for (int32_t w : adjacency[v]) {
      if (w != v) ++counts[colors[w]];
    }
    // The score with v recoloured to j: conflicts with colour c go (+2 each),
    // conflicts with colour j come (-2 each).
    const double base = static_cast<double>(2 * counts[c]) + sample.score;
    allowed.clear();
    for (int32_t j = 0; j < k; ++j) {
      if (base - static_cast<double>(2 * counts[j]) >= level) allowed.push_back(j);
    }
    if (allowed.empty()) continue;

    const auto allowedCount = static_cast<int32_t>(allowed.size());
    const int32_t j = allowed[scaledIndex(allowedCount, random.uniform01())];
    colors[v] = j;
    sample.score = base - static_cast<double>(2 * counts[j]);
  }
}

}  // namespace tintara
