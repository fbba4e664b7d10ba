// How regenerate grows an elite's chain: the move that makes each offspring
// from the one before, and the scratch storage the moves reuse.
//
// Gibbs, the level-constrained Gibbs sweep (coloring/gibbs_move.h), is the
// splitting method's own move and the only one counting mode uses: its
// chains keep the conditional distribution the estimates rely on. Tabu, a
// tabu walk that keeps the best colouring it meets (coloring/tabu_walk.h),
// is chromatic mode's default (--move tabu): a search, not a sampler, which
// drives the colourability test towards a proper colouring far faster than
// the sweep (docs/tabu.md).
//
// Two further settings belong to the tabu walk alone. A test that would
// stagnate first lengthens its walks (walkDoublings), since a population
// of short walks can stand still where longer ones still climb. And a
// regrowth may make some of its samples as children of two elites
// (coloring/gpx_crossover.h) rather than as clones, each then walked like
// any offspring. Neither keeps the level set's law, which only matters to
// counting mode, where neither is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "coloring/gibbs_move.h"
#include "coloring/gpx_crossover.h"
#include "coloring/tabu_walk.h"
#include "process/run_memory.h"

namespace tintara {

enum class MoveKind : int32_t { Gibbs = 0, Tabu = 1 };

// "gibbs" and "tabu", the words --move takes.
const char* moveName(MoveKind kind);
std::optional<MoveKind> parseMove(const std::string& word);

enum class Crossover : int32_t { None = 0, Gpx = 1 };

// "none" and "gpx", the words --crossover takes.
const char* crossoverName(Crossover kind);
std::optional<Crossover> parseCrossover(const std::string& word);

// A tabu test that would stagnate doubles its walks' length and halves its
// population, so that an iteration's cost stays N x 250 steps, until one
// sample walks as long as the whole population did: ceil(log2 N) times,
// 10 for the default N = 1000. Tests on a generated Leighton graph needed
// up to 10 to pass at one and two colours above its chromatic number. And
// the children a regrowth with --crossover gpx makes per 1000 samples: 100
// and 500 were measured, neither passed a test the walks alone failed, and
// 100 cost less. Chosen with tools/tabu_tuning on examples/dimacs and
// generated Leighton, flat and G(n, 1/2) graphs (docs/tabu.md).
int32_t walkDoublingsFor(int32_t N);
constexpr bool kHalvePopulation = true;
constexpr int32_t kChildrenPerThousand = 100;

struct ChainMove {
  MoveKind kind = MoveKind::Gibbs;
  TabuSettings tabu = defaultTabuSettings();  // read only by the tabu walk
  // Tabu only: how many times a test that would stagnate doubles its
  // walks' length and goes on (adaptive_splitting.h); 0 never.
  int32_t walkDoublings = 0;
  // With each doubling, halve the population too (never below one
  // sample), so that an iteration's work stays as it was.
  bool halvePopulation = false;
  // Tabu only: the children each regrowth of N samples makes, N *
  // childrenPerThousand / 1000 (rounded down); 0 makes none.
  Crossover crossover = Crossover::None;
  int32_t childrenPerThousand = 0;
};

// The move a chromatic test with a population of N makes with `kind` and
// `crossover`: with the tabu walk, the program's doublings and (with GPX)
// its children; the Gibbs sweep alone otherwise.
ChainMove testMove(MoveKind kind, Crossover crossover, int32_t N);

// The children a regrowth of N samples makes with `move`.
int32_t childrenPerRegrowth(const ChainMove& move, int32_t N);

// The longest walk a test with `move` may make on a graph of n vertices:
// its settings' length doubled walkDoublings times.
TabuSettings longestWalk(const ChainMove& move);

// Adds to `footprint` what each thread's tests hold for `move` on top of
// their population of N: the tabu walk's tables and move log at the
// longest walk, and with the crossover its children and its lists.
void addWalkFootprint(RunFootprint& footprint, const ChainMove& move, int32_t N);

// One run's scratch for either move, reused across chains and iterations.
struct ChainWorkspace {
  GibbsWorkspace gibbs;
  TabuWorkspace tabu;
  GpxWorkspace gpx;
  std::vector<ColoringSample> children;  // a regrowth's children, their buffers kept
};

}  // namespace tintara
