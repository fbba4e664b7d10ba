#include "splitting/chain_move.h"

namespace tintara {

const char* moveName(MoveKind kind) {
  return kind == MoveKind::Tabu ? "tabu" : "gibbs";
}

std::optional<MoveKind> parseMove(const std::string& word) {
  for (const MoveKind kind : {MoveKind::Gibbs, MoveKind::Tabu}) {
    if (word == moveName(kind)) return kind;
  }
  return std::nullopt;
}

}  // namespace tintara
