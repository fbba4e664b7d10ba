// A graph whose edges are factors of the colour relation of their ends:
// what is left of a block once series and parallel reductions have merged
// its chains (exact/series_parallel.h), and what the elimination over
// colour-equality patterns counts (exact/partition_elimination.h).
//
// An edge contributes the factor `differ` when its two ends have different
// colours and `differ + shift` when they share one. The probability of the
// graph is the mean, over uniform independent colours of its vertices, of
// the product of its edges' factors. A plain edge, whose ends must differ,
// is differ 1, shift -1, so a graph of plain edges has the probability that
// a uniformly random colouring is proper.
//
// The shift is kept apart from the factor for equal colours so that the two
// factors' difference, which a long chain makes tiny beside either of them,
// is known to full relative precision: a series reduction multiplies the
// shifts (exact/series_parallel.h), where the difference of two rounded
// factors would be lost to cancellation.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "numeric/wide_double.h"

namespace tintara {

struct EdgeFactor {
  WideDouble differ = 1;
  WideDouble shift = -1;
  // The factor when the two ends share a colour.
  WideDouble same() const { return differ + shift; }
};

struct WeightedEdge {
  int32_t u = 0;
  int32_t v = 0;
  EdgeFactor factor;
};

// Vertices 0 .. vertexCount - 1; every edge joins two different vertices,
// and no two edges join the same pair.
struct WeightedGraph {
  int32_t vertexCount = 0;
  std::vector<WeightedEdge> edges;
};

// `simple` (a simple graph: lists without repeats or self-loops) with every
// edge plain, in the order of the lists (u < v, u ascending, then v).
WeightedGraph plainWeighted(const Graph& simple);

}  // namespace tintara
