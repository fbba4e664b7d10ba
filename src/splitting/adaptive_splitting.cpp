#include "splitting/adaptive_splitting.h"

#include "splitting/splitting_loops.h"

namespace tintara {

namespace {

// Colourings of a graph, regrown by the chain's move: the Gibbs sweep, or
// chromatic mode's tabu walks, which ask `stop` within, make some samples
// as crossover children, and lengthen (doubled walks, and the population
// halved when asked) where the run would stagnate, up to
// move.walkDoublings times.
struct ColoringSpace {
  using Sample = ColoringSample;
  const Graph& graph;
  RandomSource& source;
  int32_t k;
  const ChainMove& move;
  const StopQuery& stop;
  ChainMove current;  // the walks' length as the run goes
  int32_t doublings = 0;
  ChainWorkspace workspace;

  void create(Population& population, int32_t N) {
    createPopulation(population, graph, source, N, k);
  }
  double startLevel() const { return static_cast<double>(-graph.vertexCount); }
  RandomSource& random() { return source; }
  int32_t children(std::size_t elites, int32_t n) const {
    // Children need two elites; with one, the regrowth makes clones alone.
    return elites >= 2 ? childrenPerRegrowth(current, n) : 0;
  }
  bool regrow(Population& population, std::size_t elites, const std::vector<int32_t>& factors,
              int32_t made, double level) {
    return regenerate(population, elites, factors, made, level, current, workspace, stop);
  }
  bool lengthen(int32_t& n) {
    if (current.kind != MoveKind::Tabu || doublings >= move.walkDoublings) return false;
    ++doublings;
    current.tabu = doubledWalk(current.tabu);
    if (move.halvePopulation && n > 1) n /= 2;
    return true;
  }
};

}  // namespace

AdaptiveRun adaptiveRun(const Graph& graph, RandomSource& random, int32_t N, double rho, int32_t k,
                        std::vector<int32_t>* properColoring, const LevelObserver& observer,
                        const StopQuery& stop, const ChainMove& move) {
  ColoringSpace space{graph, random, k, move, stop, move, 0, {}};
  return adaptiveRunIn(
      space, N, rho,
      [properColoring](const ColoringSample& proper) {
        if (properColoring) *properColoring = proper.vertexColors;
      },
      observer, stop);
}

}  // namespace tintara
