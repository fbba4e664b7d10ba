// Exact counts of proper colourings, for checking the splitting estimates.
//
// A tool beside the program, not part of it: the test suite checks the
// estimates against it and the scripts' studies use it through exact_count
// (exact_count_main.cpp). It deliberately shares nothing with the program's
// splitting engine: it reads only the Graph.
//
// countProperColorings uses variable elimination (bucket elimination). The
// variables are the vertices, each with domain {0..k-1}; every distinct edge
// u-v (u != v) is a factor table [x_u != x_v]. Vertices are eliminated in a
// greedy min-fill order (ties: fewest neighbours, then lowest id): the
// factors that mention the vertex are multiplied and the vertex is summed
// out. The cost is about k^(w+1) per vertex, w the width of the order, so
// grids up to 8x8 and sparse graphs of a few hundred vertices with small
// treewidth take well under a second.
//
// Arithmetic is exact: table entries are unsigned 128-bit integers and every
// sum and product is checked, so a count either is exact or the call throws
// std::overflow_error (never when k^n < 2^128, since every entry counts
// colourings of a part of the graph).
//
// Instance semantics: a repeated edge does not change the set of proper
// colourings (it is one factor), and a self-loop u-u makes the count 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/graph.h"

namespace tintara::exact {

__extension__ typedef unsigned __int128 ExactCount;

struct EliminationStats {
  int32_t width = 0;          // largest scope left after summing a vertex out
  uint64_t largestTable = 0;  // entries of the largest table built
};

// The number of proper k-colourings of `graph`, by variable elimination.
// Throws std::length_error when one table would need more than
// `maxTableEntries` entries (the graph's treewidth is too large for this
// method) and std::overflow_error when a count does not fit in 128 bits.
ExactCount countProperColorings(const Graph& graph, int32_t k, EliminationStats* stats = nullptr,
                                uint64_t maxTableEntries = uint64_t{1} << 24);

// The same count by depth-first search for dense graphs (where elimination
// tables are too large): vertices are coloured in a fixed order, a colour is
// only introduced after all lower ones are in use, and each leaf using m
// colours stands for k(k-1)...(k-m+1) colourings. Throws std::length_error
// after `maxNodes` search nodes.
ExactCount countProperColoringsBySearch(const Graph& graph, int32_t k,
                                        uint64_t maxNodes = uint64_t{1} << 32);

// Whether a proper k-colouring exists, by the same search stopped at the
// first colouring found. Throws std::length_error after `maxNodes` nodes.
bool hasProperColoring(const Graph& graph, int32_t k, uint64_t maxNodes = uint64_t{1} << 32);

// count / k^n, the probability that a uniformly random k-colouring is proper.
long double properProbability(ExactCount count, int32_t vertexCount, int32_t k);

// The greedy min-fill elimination order that countProperColorings uses.
std::vector<int32_t> minFillOrder(const Graph& graph);

std::string toDecimal(ExactCount value);

}  // namespace tintara::exact
