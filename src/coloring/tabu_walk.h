// The level-constrained tabu walk: chromatic mode's alternative to the Gibbs
// sweep (--move tabu) for growing an elite's chain.
//
// The walk is TabuCol (Hertz and de Werra 1987) with the tenure of Galinier
// and Hao (1999). Each step recolours one conflicting vertex (one sharing
// its colour with a neighbour) to another colour, choosing among all such
// moves one that lowers the number of monochromatic edges most (or raises
// it least). A move back to a colour the vertex left recently is tabu for
// `tenure` steps, tenure = tenureBase + L + floor(tenurePerConflict * |C|),
// L uniform in [0, tenureSpread) and |C| the number of conflicting vertices
// after the move, unless it would reach fewer conflicts than the best state
// of the chain so far (aspiration). Unlike plain TabuCol, a move whose
// score would fall below `level` is never made, so that every state of the
// walk is a valid offspring at the splitting level; a sample that starts at
// or above the level stays there, as with the Gibbs move.
//
// Draws, per step that moves: one uniform01 picks among the equally good
// admissible moves (in the order: conflicting vertices as the walk's list
// holds them, then colours ascending), then, when tenureSpread > 1, one
// uniform01 gives L. A step with no admissible move ends the walk without
// drawing; so does reaching a proper colouring (no conflicting vertex).
//
// An elite's chain is one walk: startTabuWalk builds the neighbour colour
// counts (vertexCount x colorCount) and the conflicting-vertex list for the
// sample, then each tabuWalk call continues the same search for walkLength
// steps, keeping the tabu table and the best score between calls, so each
// offspring is a snapshot of one search (a fresh search per offspring would
// forget its tabu list every walkLength steps). The tables live in the
// workspace and are only grown, never freed, so that walks allocate nothing
// once warm. Repeated edges count once per adjacency entry, like the score;
// self-loops are left out of the counts, as in the Gibbs move (they conflict
// whatever the colour, so no move changes them).
#pragma once

#include <cstdint>
#include <vector>

#include "coloring/coloring_sample.h"

namespace tintara {

struct TabuSettings {
  // Steps between offspring of one chain.
  int32_t walkLength = 0;
  int32_t tenureBase = 0;
  int32_t tenureSpread = 0;
  double tenurePerConflict = 0.0;
};

// The settings --move tabu runs with: 2000 steps between offspring, and
// Galinier and Hao's tenure, L in [0, 10) plus 0.6 |C|. Chosen on the
// benchmarks of examples/dimacs with tools/tabu_tuning (docs/tabu.md).
TabuSettings defaultTabuSettings();

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
  // tabu. Steps count on across walks (clock), so no walk clears the table.
  std::vector<int64_t> tabuUntil;
  int64_t clock = 0;
  // The conflicting vertices, in no fixed order, and each vertex's index in
  // that list (-1 when it is not conflicting).
  std::vector<int32_t> conflicting;
  std::vector<int32_t> conflictIndex;
  std::vector<TabuMoveChoice> ties;  // one step's best admissible moves
  double bestScore = 0.0;            // the chain's best so far (for aspiration)
};

// Makes `workspace` describe `sample` as it is now, and opens its chain:
// every earlier tabu entry expires. O(vertexCount * colorCount + edges).
void startTabuWalk(const ColoringSample& sample, const TabuSettings& settings,
                   TabuWorkspace& workspace);

// walkLength steps of the chain started on `sample` (which nothing else has
// changed since the last startTabuWalk or tabuWalk). `level` is a whole
// number or infinite; sample.score stays current.
void tabuWalk(ColoringSample& sample, double level, const TabuSettings& settings,
              TabuWorkspace& workspace);

// The bytes a workspace holds for a graph of n vertices tested at k
// colours, for the memory check: kTabuCellBytes a (vertex, colour) cell
// (the counts, 4 bytes; the tabu table, 8; at worst every cell a tied
// move, 8) and kTabuVertexBytes a vertex (the two lists of n).
constexpr double kTabuCellBytes = 20.0;
constexpr double kTabuVertexBytes = 8.0;
double tabuWorkspaceBytes(double vertexCount, double colorCount);

}  // namespace tintara
