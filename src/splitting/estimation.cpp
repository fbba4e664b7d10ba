#include "splitting/estimation.h"

#include <stdexcept>
#include <vector>

#include "splitting/splitting_loops.h"

namespace tintara {

namespace {

// Colourings of a graph, regrown by the Gibbs sweep.
struct GibbsSpace {
  using Sample = ColoringSample;
  const Graph& graph;
  RandomSource& source;
  int32_t k;
  GibbsWorkspace workspace;

  void create(Population& population, int32_t N) {
    createPopulation(population, graph, source, N, k);
  }
  double startLevel() const { return static_cast<double>(-graph.vertexCount); }
  RandomSource& random() { return source; }
  int32_t children(std::size_t, int32_t) const { return 0; }
  bool regrow(Population& population, std::size_t elites, const std::vector<int32_t>& factors,
              int32_t /*children: none*/, double level) {
    regenerate(population, elites, factors, level, workspace);
    return true;
  }
  bool lengthen(int32_t&) { return false; }
};

}  // namespace

std::optional<WideDouble> estimateAtLevelsUnlessAbandoned(const LevelList& levels,
                                                          const Graph& graph, RandomSource& random,
                                                          int32_t N, int32_t k,
                                                          const std::function<bool()>& abandoned) {
  if (N < 1) throw std::invalid_argument("a fixed-level run needs N >= 1");
  GibbsSpace space{graph, random, k, {}};
  return estimateAtLevelsIn(space, levels, N, abandoned);
}

}  // namespace tintara
