// The exact probability that a uniformly random k-colouring of one block is
// proper, where there is one to be had cheaply, and a proper colouring
// beside it.
//
// A block (graph/blocks.h) is recognised from its counts: two vertices are a
// bridge; as many edges as vertices make every vertex of degree 2 (a block
// of three or more vertices has no vertex of degree below 2), so a cycle;
// w(w-1)/2 edges a complete graph. Their probabilities have closed forms:
//
//   bridge          (k-1)/k
//   cycle of L      ((k-1)^L + (-1)^L (k-1)) / k^L   (its chromatic polynomial over k^L)
//   complete K_w    k(k-1)...(k-w+1) / k^w            (0 when w > k)
//
// computed in WideDouble, so that L or w in the millions and any k stay
// exact to rounding (k^L alone is far beyond a double). Any other block
// goes to variable elimination (exact/coloring_elimination.h) and is
// "hard", without an exact value, when the elimination limits refuse it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "exact/coloring_elimination.h"
#include "graph/graph.h"
#include "numeric/wide_double.h"

namespace tintara {

enum class BlockShape { Bridge, Cycle, Complete, Other };

// The shape of a block with these counts (a triangle is a Cycle). Only
// meaningful for a block: any connected graph with as many edges as
// vertices would pass for a cycle.
BlockShape blockShape(int32_t vertexCount, int64_t edgeCount);

// The closed forms above, for k >= 1 (length >= 3, w >= 1).
WideDouble bridgeProbability(int32_t k);
WideDouble cycleProbability(int64_t length, int32_t k);
WideDouble completeProbability(int64_t w, int32_t k);
// The one of them for a block of this shape (not Other) and size.
WideDouble closedFormProbability(BlockShape shape, int64_t vertexCount, int32_t k);

struct BlockValue {
  BlockShape shape = BlockShape::Other;
  // None for a hard block: an Other block the elimination limits refused.
  std::optional<WideDouble> probability;
  // With withColoring and a probability above 0: a proper k-colouring of
  // the block in its own ids; empty otherwise. A bridge is coloured 0 1, a
  // complete graph 0..w-1, a cycle 0 1 0 1 ... along the cycle from vertex
  // 0 with 2 for its last vertex when L is odd; an eliminated block as
  // eliminate() colours it.
  std::vector<int32_t> coloring;
  // What the elimination held at its peak (eliminationBytes of its plan);
  // 0 for a closed form or a refused block.
  double eliminationBytes = 0;
};

// The value of `block` (a block's graph as blockGraph gives it: simple and
// biconnected, or one edge) for k >= 1 colours. Eliminates an Other block
// within `limits`, and then holds at most eliminationBytes(plan,
// withColoring) for the tables; the closed forms take O(1) memory, and O(L)
// for a cycle's colouring.
// `checkTables`, when given, is told the bytes the elimination's tables
// will hold and the block's vertices before any table is made (and may
// throw to refuse the run).
BlockValue valueBlock(const Graph& block, int32_t k, const EliminationLimits& limits = {},
                      bool withColoring = false,
                      const std::function<void(double bytes, int32_t vertices)>& checkTables = {});

}  // namespace tintara
