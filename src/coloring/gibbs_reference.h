// The level-constrained Gibbs sweep written plainly, as the oracle that the
// fast gibbsMove is tested against.
//
// It makes the draws gibbs_move.h describes, in that order: shuffleOrder on
// the visiting order, then at each position one uniform01 coin; on heads
// (u >= 0.5) it counts the vertex's neighbour colours (its own self-loop
// entries left out), lists in ascending order the colours whose resulting
// score 2 * own + score - 2 * count is at least `level` (compared in
// doubles), and, when the list is not empty, takes entry
// scaledIndex(size, u) for a second uniform01 u and updates the score.
//
// gibbsMove must match it draw for draw and bit for bit: same colours, same
// score, same visiting order, and the RandomSource left at the same place.
// It allocates at every treated position and runs one path for all graphs
// and colour counts: it is for tests, never for a run.
#pragma once

#include "coloring/coloring_sample.h"

namespace tintara {

void gibbsMoveReference(ColoringSample& sample, double level);

}  // namespace tintara
