#include "coloring/gibbs_reference.h"

#include <vector>

namespace tintara {

void gibbsMoveReference(ColoringSample& sample, double level) {
  RandomSource& random = *sample.randomSource;
  int32_t* order = sample.visitOrder.data();
  random.shuffleOrder(order, order + sample.visitOrder.size());
  for (int32_t i = 0; i < sample.vertexCount; ++i) {
    if (random.uniform01() < 0.5) continue;
    const int32_t v = order[i];
    std::vector<int32_t> counts(static_cast<std::size_t>(sample.colorCount), 0);
    for (int32_t w : sample.graph->neighbours(v)) {
      if (w != v) ++counts[sample.vertexColors[w]];
    }
    const double base = 2.0 * counts[sample.vertexColors[v]] + sample.score;
    std::vector<int32_t> allowed;
    for (int32_t color = 0; color < sample.colorCount; ++color) {
      if (base - 2.0 * counts[color] >= level) allowed.push_back(color);
    }
    if (allowed.empty()) continue;
    const auto size = static_cast<int32_t>(allowed.size());
    const int32_t color = allowed[scaledIndex(size, random.uniform01())];
    sample.vertexColors[v] = color;
    sample.score = base - 2.0 * counts[color];
  }
}

}  // namespace tintara
