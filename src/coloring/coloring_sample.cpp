#include "coloring/coloring_sample.h"

#include <cassert>

namespace tintara {

ColoringSample::ColoringSample(const Graph& g, RandomSource& random, int32_t k)
    : vertexCount(g.vertexCount),
      colorCount(k),
      vertexColors(static_cast<std::size_t>(g.vertexCount), 0),
      visitOrder(static_cast<std::size_t>(g.vertexCount), 0),
      randomSource(&random),
      graph(&g) {
  assert(k >= 1);
  for (int32_t i = 0; i < vertexCount; ++i) visitOrder[i] = i;
  randomizeColors();
  computeScore();
}

void ColoringSample::randomizeColors() {
  for (int32_t i = 0; i < vertexCount; ++i) {
    vertexColors[i] = scaledIndex(colorCount, randomSource->uniform01());
  }
}

void ColoringSample::computeScore() {
  score = 0;
  for (int32_t v = 0; v < vertexCount; ++v) {
    for (int32_t w : graph->neighbours(v)) {
      if (vertexColors[w] == vertexColors[v]) score -= 1;
    }
  }
}

}  // namespace tintara
