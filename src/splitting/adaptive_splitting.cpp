#include "splitting/adaptive_splitting.h"

#include "splitting/splitting_loops.h"

namespace tintara {

namespace {

// Colourings of a graph, regrown by the chain's move (the Gibbs sweep, or
// chromatic mode's tabu walks, which ask `stop` within).
struct ColoringSpace {
  using Sample = ColoringSample;
  const Graph& graph;
  RandomSource& source;
  int32_t k;
  const ChainMove& move;
  const StopQuery& stop;
  ChainWorkspace workspace;

  void create(Population& population, int32_t N) {
    createPopulation(population, graph, source, N, k);
  }
  double startLevel() const { return static_cast<double>(-graph.vertexCount); }
  RandomSource& random() { return source; }
  bool regrow(Population& population, std::size_t elites, const std::vector<int32_t>& factors,
              double level) {
    return regenerate(population, elites, factors, level, move, workspace, stop);
  }
};

}  // namespace

AdaptiveRun adaptiveRun(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                        std::vector<int32_t>* properColoring, const LevelObserver& observer,
                        const StopQuery& stop, const ChainMove& move) {
  ColoringSpace space{graph, random, k, move, stop, {}};
  return adaptiveRunIn(
      space, N, rho,
      [properColoring](const ColoringSample& proper) {
        if (properColoring) *properColoring = proper.vertexColors;
      },
      observer, stop);
}

}  // namespace tintara
