#include "splitting/chain_move.h"

#include <algorithm>

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

const char* crossoverName(Crossover kind) {
  return kind == Crossover::Gpx ? "gpx" : "none";
}

std::optional<Crossover> parseCrossover(const std::string& word) {
  for (const Crossover kind : {Crossover::None, Crossover::Gpx}) {
    if (word == crossoverName(kind)) return kind;
  }
  return std::nullopt;
}

int32_t walkDoublingsFor(int32_t N) {
  int32_t doublings = 0;
  while (doublings < 30 && (int64_t{1} << doublings) < N) ++doublings;
  return doublings;
}

ChainMove testMove(MoveKind kind, Crossover crossover, int32_t N) {
  ChainMove move;
  move.kind = kind;
  if (kind != MoveKind::Tabu) return move;
  move.walkDoublings = walkDoublingsFor(N);
  move.halvePopulation = kHalvePopulation;
  if (crossover == Crossover::Gpx) {
    move.crossover = Crossover::Gpx;
    move.childrenPerThousand = kChildrenPerThousand;
  }
  return move;
}

int32_t childrenPerRegrowth(const ChainMove& move, int32_t N) {
  if (move.kind != MoveKind::Tabu || move.crossover != Crossover::Gpx) return 0;
  const int64_t children = static_cast<int64_t>(N) * move.childrenPerThousand / 1000;
  // At least one clone: a regrowth of children alone would drop every elite.
  return static_cast<int32_t>(std::clamp<int64_t>(children, 0, std::max(N - 1, 0)));
}

TabuSettings longestWalk(const ChainMove& move) {
  TabuSettings walk = move.tabu;
  for (int32_t d = 0; d < move.walkDoublings; ++d) walk = doubledWalk(walk);
  return walk;
}

void addWalkFootprint(RunFootprint& footprint, const ChainMove& move, int32_t N) {
  if (move.kind != MoveKind::Tabu) return;
  const TabuSettings walk = longestWalk(move);
  footprint.walkCellBytes = kTabuCellBytes;
  footprint.walkVertexBytes = kTabuVertexBytes + 8.0 * walk.stepsPerVertex;
  footprint.walkFixedBytes = 8.0 * walk.walkSteps;
  const double children = childrenPerRegrowth(move, N);
  if (children > 0) {
    // Each child two lists of n ints (and a heap header each); the
    // crossover's lists 9 bytes a vertex and 20 a colour, no more colours
    // than vertices.
    footprint.walkVertexBytes += 8.0 * children + 9.0 + 20.0;
    footprint.walkFixedBytes +=
        children * (static_cast<double>(sizeof(ColoringSample)) + 32.0) + gpxWorkspaceBytes(0, 0);
  }
}

}  // namespace tintara
