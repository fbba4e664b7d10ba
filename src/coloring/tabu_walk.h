// The tabu walk: chromatic mode's move (--move tabu) for growing an elite's
// chain, in place of the Gibbs sweep.
//
// The walk is TabuCol (Hertz and de Werra 1987) with the tenure of Galinier
// and Hao (1999). Each step recolours one conflicting vertex (one sharing
// its colour with a neighbour) to another colour, choosing among all such
// moves one that lowers the number of monochromatic edges most (or raises
// it least). Moving a vertex back to a colour it left is tabu for `tenure`
// steps, tenure = tenureBase + L + floor(tenurePerConflict * |C|), L uniform
// in [0, tenureSpread) and |C| the number of conflicting vertices after the
// move, unless the move reaches a better score than any the walk has met
// (aspiration).
//
// A walk starts afresh on each sample it is given: its tables (the n x k
// neighbour colour counts and the conflicting-vertex list) are built from
// the sample in O(edges + n k), no tabu entry of an earlier walk holds, and
// it makes walkLength(n) steps, fewer only when a colouring is proper (no
// conflicting vertex is left) or every move is tabu. It then hands back the
// best colouring it met, its start included, and among colourings of that
// best score the last one met, by undoing its logged moves back to that
// step: on a plateau the walk so returns a new colouring of the same score
// rather than its start, and the clones of one elite part.
//
// Kept best, the walk never returns a score below its start's, so a sample
// at or above the splitting level stays there without the walk itself being
// held to the level: TabuCol climbs out of a local optimum through worse
// colourings, and a level-constrained walk would forbid exactly the moves
// that let it.
//
// Draws, per step that moves: one uniform01 picks among the equally good
// admissible moves (in the order: conflicting vertices as the walk's list
// holds them, then colours ascending), then, when tenureSpread > 1, one
// uniform01 gives L. A step with no admissible move, and a proper colouring,
// end the walk without drawing. Repeated edges count once per adjacency
// entry, like the score; self-loops are left out of the counts, as in the
// Gibbs move (they conflict whatever the colour, so no move changes them).
//
// The workspace's tables are grown, never freed, so that walks allocate
// nothing once warm.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "coloring/coloring_sample.h"

namespace tintara {

struct TabuSettings {
  // A walk's steps on a graph of n vertices: walkSteps + stepsPerVertex * n.
  int32_t walkSteps = 0;
  int32_t stepsPerVertex = 0;
  int32_t tenureBase = 0;
  int32_t tenureSpread = 0;
  double tenurePerConflict = 0.0;
};

// The settings --move tabu runs with: walks of 250 steps whatever the
// graph, and Galinier and Hao's tenure, L in [0, 10) plus 0.6 |C|. Chosen
// on the benchmarks of examples/dimacs with tools/tabu_tuning (docs/tabu.md
// has the figures).
TabuSettings defaultTabuSettings();

// The steps of one walk on a graph of `vertexCount` vertices.
int64_t walkLength(const TabuSettings& settings, int32_t vertexCount);

// The settings with walks twice as long; a count that would pass INT32_MAX
// stays there (a population of 2^31 samples may double its walks 30 times).
TabuSettings doubledWalk(TabuSettings settings);

struct TabuMoveChoice {
  int32_t vertex = 0;
  int32_t color = 0;
};

// Everything a walk keeps, sized for the sample at startTabuWalk.
struct TabuWorkspace {
  int32_t colorCount = 0;
  // neighbourColors[v * colorCount + c]: adjacency entries of v (self-loops
  // left out) whose vertex has colour c.
  std::vector<int32_t> neighbourColors;
  // tabuUntil[v * colorCount + c]: the step before which moving v to c is
  // tabu. Steps count on across walks (clock), and each walk starts the
  // clock past every entry an earlier one set, so no walk clears the table.
  std::vector<int64_t> tabuUntil;
  int64_t clock = 0;
  // The conflicting vertices, in no fixed order, and each vertex's index in
  // that list (-1 when it is not conflicting).
  std::vector<int32_t> conflicting;
  std::vector<int32_t> conflictIndex;
  std::vector<TabuMoveChoice> ties;  // one step's best admissible moves
  // The walk's moves, each as (vertex, colour it left), and the best score
  // met with the number of moves made when it was last met.
  std::vector<TabuMoveChoice> moves;
  double bestScore = 0.0;
  std::size_t bestMoves = 0;
};

// Asked at a walk's start and every 1024 steps: true ends it at once (an
// iteration of N walks may take seconds, and a halt must not wait for it).
using WalkStop = std::function<bool()>;

// One walk of walkLength(n) steps on `sample`, which it leaves at the best
// colouring met (sample.score current). Returns false when `stop` ended it
// early: the sample then holds the best colouring met so far.
bool tabuWalk(ColoringSample& sample, const TabuSettings& settings, TabuWorkspace& workspace,
              const WalkStop& stop = {});

// tabuWalk in its parts, for tests: startTabuWalk builds the tables from
// `sample` and opens a walk; each tabuStep makes one step (false, drawing
// nothing, when the colouring is proper or no move is admissible);
// finishTabuWalk goes back to the best colouring met.
void startTabuWalk(const ColoringSample& sample, const TabuSettings& settings,
                   TabuWorkspace& workspace);
bool tabuStep(ColoringSample& sample, const TabuSettings& settings, TabuWorkspace& workspace);
void finishTabuWalk(ColoringSample& sample, TabuWorkspace& workspace);

// The bytes a workspace holds for a graph of n vertices tested at k
// colours with `settings`, for the memory check: kTabuCellBytes a (vertex,
// colour) cell (the counts, 4 bytes; the tabu table, 8; at worst every cell
// a tied move, 8), kTabuVertexBytes a vertex (the two lists of n), and 8
// bytes a logged move.
constexpr double kTabuCellBytes = 20.0;
constexpr double kTabuVertexBytes = 8.0;
double tabuWorkspaceBytes(const TabuSettings& settings, double vertexCount, double colorCount);

}  // namespace tintara
