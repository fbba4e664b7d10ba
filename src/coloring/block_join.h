// A proper colouring of a whole graph from proper colourings of its blocks.
//
// Blocks meet only at cut vertices, and renaming the colours of a proper
// colouring keeps it proper. So the blocks are coloured in the block-cut
// tree's join order (graph/blocks.h), each component's root block as given,
// and every other block with its colours renamed by the transposition that
// gives its cut vertex the colour its parent block already gave it. Every
// edge lies in one block, so the result is proper when every block's
// colouring is; a vertex in no block (isolated) gets colour 0.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "graph/blocks.h"
#include "graph/graph.h"

namespace tintara {

// slotColors[s] is the colour of blocks.vertices[s] in its block's colouring
// (the slots of block b are vertexStart[b] up to vertexStart[b + 1], in the
// block's own vertex order). Returns one colour a vertex of `graph`, the
// graph the blocks were found in (or the graph as read, with the same
// vertices: repeated edges change nothing). Throws std::invalid_argument
// when slotColors does not have one entry a slot, and std::logic_error when
// the joined colouring is not a proper k-colouring (some block's was not).
// O(n + m) time, nothing beyond the result.
std::vector<int32_t> joinBlockColorings(const Graph& graph, const BlockDecomposition& blocks,
                                        std::span<const int32_t> slotColors, int32_t k);

}  // namespace tintara
