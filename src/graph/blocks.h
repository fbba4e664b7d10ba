// The biconnected blocks of a simple graph and its block-cut tree.
//
// A block is a maximal connected subgraph without a cut vertex of its own: a
// bridge (two vertices, one edge) or a 2-connected subgraph. Every edge lies
// in exactly one block, two blocks share at most one vertex (a cut vertex of
// the graph), and the blocks and cut vertices of one connected component form
// a tree. A vertex without edges is in no block: it is counted apart.
//
// Found by Hopcroft and Tarjan's depth-first search ("Algorithm 447:
// efficient algorithms for graph manipulation", CACM 16(6), 1973) with an
// explicit stack, so that the depth of the search (a path of 10^6 vertices
// goes 10^6 deep) never reaches the call stack. O(n + m) time and memory.
//
// The blocks are stored end to end rather than as one Graph each: a graph
// with a million bridges would otherwise hold four heap blocks, about 200
// bytes, a bridge. blockGraph() builds a block's Graph when one is needed
// (for elimination or a splitting run), in O(size of the block).
//
// Numbering. A block's local vertex i is the i-th of its vertices in
// ascending order of original id; the blocks are numbered in lexicographic
// order of their vertex lists, so by smallest vertex first (two blocks share
// at most one vertex, so the second vertex breaks every tie). A connected
// graph that is one block therefore comes back as itself: block 0, its
// vertices 0..n-1, and blockGraph(0) has the simple graph's lists entry for
// entry.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "graph/graph.h"

namespace tintara {

struct BlockDecomposition {
  int32_t vertexCount = 0;       // of the whole graph
  int32_t componentCount = 0;    // connected components, isolated vertices included
  int32_t isolatedVertices = 0;  // vertices without an edge: in no block

  // Block b's vertices (original ids, ascending) are
  // vertices[vertexStart[b]] up to vertices[vertexStart[b + 1]]. A position
  // in `vertices` is a "slot": a vertex as a member of one block (a cut
  // vertex has one slot in each of its blocks).
  std::vector<uint32_t> vertexStart;  // blockCount() + 1 offsets
  std::vector<int32_t> vertices;
  std::vector<int32_t> edgeCounts;  // distinct edges of each block

  // The blocks' own neighbour lists in local ids, ascending: slot s's list
  // is localNeighbours[localStart[s]] up to localNeighbours[localStart[s + 1]].
  std::vector<uint32_t> localStart;  // vertices.size() + 1 offsets
  std::vector<int32_t> localNeighbours;

  // The block-cut tree, rooted in each component at the block that holds
  // the component's smallest vertex and is first in block order. Every
  // other block b shares exactly one vertex, cutVertex[b] (an original id),
  // with the part of its component that lies towards the root: with its
  // parent block parentBlock[b] (which holds cutVertex[b] too). Both are -1
  // at a root. joinOrder lists every block once, each after its parent, so
  // that colouring the blocks in this order fixes a block's cut vertex
  // before the block itself is coloured.
  std::vector<int32_t> parentBlock;
  std::vector<int32_t> cutVertex;
  std::vector<int32_t> joinOrder;

  int32_t blockCount() const { return static_cast<int32_t>(edgeCounts.size()); }
  int32_t blockSize(int32_t b) const {
    return static_cast<int32_t>(vertexStart[b + 1] - vertexStart[b]);
  }
  std::span<const int32_t> blockVertices(int32_t b) const {
    return {vertices.data() + vertexStart[b], vertices.data() + vertexStart[b + 1]};
  }
};

// The blocks of `simple`, which must be a simple graph: every list sorted
// ascending, no repeated entry, no self-loop (as simpleGraph returns).
BlockDecomposition decomposeBlocks(const Graph& simple);

// Block b's induced subgraph: vertex i is blockVertices(b)[i], lists
// ascending, edgeCount the block's distinct edges, idBase 0 (its ids are the
// block's own; add the instance's idBase to blockVertices(b)[i] for the file's id).
Graph blockGraph(const BlockDecomposition& blocks, int32_t b);

}  // namespace tintara
