// A large clique: a lower bound on the chromatic number, since a clique's
// vertices need distinct colours.
//
// Deterministic: the same graph and budget give the same clique. Repeated
// edges count once and self-loops not at all (no vertex is its own
// neighbour here). Memory is O(n + m): adjacency is the sorted simple graph
// (graph/simple_graph.h), and bitsets exist only for one neighbourhood at
// a time: about 2 s^2 bits for s <= min(degeneracy, kMaxSearchVertices)
// vertices. An n x n matrix (fast for small n) is never built.
//
// Two stages, both spending counted work, never time:
// - greedy from every vertex v that could still beat the best clique (core
//   number + 1 > its size), highest core numbers first: start with {v} and
//   v's neighbours as candidates, repeatedly add the candidate with the most
//   neighbours among the remaining candidates (ties: smallest id) and keep
//   only the candidates adjacent to it;
// - branch and bound, which only ever replaces the clique by a larger one:
//   for each vertex v, the cliques among v and its later neighbours in a
//   degeneracy order, bounded by greedy colourings of the candidates
//   (Tomita's MCQ on bitsets), until its work budget runs out.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph.h"

namespace tintara {

struct CliqueBudget {
  // Adjacency entries the greedy stage may read; it takes no new start
  // vertex after that.
  int64_t greedyWork = 10'000'000;
  // The branch and bound's work: adjacency entries read to set up the
  // neighbourhoods plus the candidates its nodes colour for their bounds (a
  // node's cost grows with its candidates, so a count of nodes alone would
  // not bound the time); 0 keeps the greedy clique.
  int64_t searchWork = 10'000'000;
};

// Neighbourhoods larger than this are left to the greedy stage: their
// bitsets would take more than 4 MiB.
inline constexpr int32_t kMaxSearchVertices = 4096;

// The clique's vertices in increasing order: empty for a graph without
// vertices, at least one vertex otherwise.
std::vector<int32_t> largeClique(const Graph& graph, const CliqueBudget& budget = {});

}  // namespace tintara
