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
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "coloring/gibbs_move.h"
#include "coloring/tabu_walk.h"

namespace tintara {

enum class MoveKind : int32_t { Gibbs = 0, Tabu = 1 };

// "gibbs" and "tabu", the words --move takes.
const char* moveName(MoveKind kind);
std::optional<MoveKind> parseMove(const std::string& word);

struct ChainMove {
  MoveKind kind = MoveKind::Gibbs;
  TabuSettings tabu = defaultTabuSettings();  // read only by the tabu walk
};

// One run's scratch for either move, reused across chains and iterations.
struct ChainWorkspace {
  GibbsWorkspace gibbs;
  TabuWorkspace tabu;
};

}  // namespace tintara
