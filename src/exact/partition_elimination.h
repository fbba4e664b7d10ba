// The exact value of a weighted graph (exact/weighted_graph.h) by variable
// elimination over tables indexed by colour-equality patterns, and a
// colouring of positive weight beside it.
//
// Why patterns suffice. Every edge factor depends only on whether its two
// ends share a colour, and the k colours are exchangeable, so every table
// that bucket elimination (Dechter, "Bucket elimination: a unifying
// framework for reasoning", Artificial Intelligence 113, 1999) builds over
// a scope S depends on the scope's colours only through which of them are
// equal: a set partition of S into at most k blocks. Such a table has
// patternCount(|S|, k) entries (the partitions into at most k blocks, the
// Bell number of |S| when k >= |S|) where a table of colour tuples
// (exact/coloring_elimination.h) has k^|S|: about k! times fewer for wide
// scopes, 5e3 to 5e5 times fewer at k = 10 for scopes of 6 to 14.
//
// Eliminating v with scope S. For each partition pi of S (m blocks), v's
// colour either is the colour of one of pi's blocks (m cases, each one
// partition of S + v) or a colour no vertex of S has (k - m colours, all
// the same partition, v alone):
//
//   entry(pi) = (1/k) [ sum over blocks B of g(pi + v in B)
//                       + (k - m) g(pi + v alone) ],
//
// g the product of v's bucket's tables, each at its own scope's pattern,
// and v's edge factors to S (same or differ as the extended partition
// says). An entry is the mean weight of the vertices eliminated so far
// given the pattern of the scope's colours; a vertex with an empty scope
// (the last of its connected part) leaves its part's value.
//
// Indexing. A partition of a scope (u_0, ..., u_{d-1}) is its restricted
// growth string: a_0 = 0 and each a_j at most one above the largest label
// before it, below k. Tables list the strings in lexicographic order, and
// a string's rank is sum over j of a_j * R(d - 1 - j, m_j), with m_j the
// labels used before j and R(r, m) the completions of r more positions
// with m labels used: so a pattern is ranked in O(d) and the entries are
// built in rank order. Each step's scope is ordered latest-eliminated
// first: the vertex that consumes a table is then the last of its scope, so
// v's choice changes only the last position of each table it reads, and a
// table's scope minus v lies in the consumer's scope in the same order.
//
// Work. A step with a scope of d vertices visits every (entry, choice of
// v's class) pair of positive weight: exactly the partitions of S + v into
// at most k blocks, patternCount(d + 1, k); `work` is their sum over the
// steps, the counterpart of the colour tables' k^(d+1). Each pair costs one
// lookup and one product a bucket table; each entry besides ranks its
// pattern in each bucket table, O(d) integer steps. Measured
// (bench/elimination_bench.cpp, CPU time on the project's two-core machine
// under other loads) at 16 to 46 ns a pair on grids, wheels and random
// graphs at k = 3 to 10, where a colour pair takes 7 to 39 ns: the lookups
// jump further through the tables. The work being about k! times smaller
// on wide scopes, the time is 2.5 to 5 times smaller at k = 3 and far
// smaller beyond: the 8x8 grid (width 10) takes 2.4 ms against 11 ms at
// k = 3 and 10 ms against 330 ms at k = 4, the 6x6 grid 0.13 ms against
// 1.2 s at k = 10.
//
// Limits. EliminationLimits apply as they do to colour tables: a vertex is
// a candidate only while patternCount(its degree, k) <= maxTableEntries,
// and the plan is refused as soon as the work would exceed maxWork. Under
// the default cap of 2^20 entries a scope may have 21 vertices at k = 2,
// 14 at k = 3, 12 at k = 4 and 11 from k = 5 on (colour tables: 20, 12,
// 10, 8, and 6 at k = 10).
#pragma once

#include <cstdint>
#include <vector>

#include "exact/coloring_elimination.h"
#include "exact/weighted_graph.h"
#include "numeric/wide_double.h"

namespace tintara {

// The partitions of d elements into at most k blocks (d, k >= 0): 1 for
// d = 0, the Bell number of d when k >= d, 2^(d-1) for k = 2, 1 for k = 1.
// UINT64_MAX when the count does not fit.
uint64_t patternCount(int32_t d, int32_t k);

struct PartitionPlan {
  // False when the limits refused the graph; the rest is then incomplete.
  bool feasible = false;
  // Step s eliminates order[s]; its table's scope is scopes[scopeStart[s]]
  // up to scopes[scopeStart[s + 1]], latest-eliminated vertex first (the
  // order its patterns are ranked in).
  std::vector<int32_t> order;
  std::vector<uint32_t> scopeStart;
  std::vector<int32_t> scopes;
  int32_t width = 0;             // the largest scope
  uint64_t work = 0;             // (entry, choice of v's class) pairs, as above
  uint64_t largestTable = 0;     // entries
  uint64_t peakLiveEntries = 0;  // entries of all tables alive at once, at the peak
  uint64_t witnessBits = 0;      // one bit an entry of every table, kept for a colouring
  int64_t edgeCount = 0;         // the graph's, for the bytes
};

// The greedy minimum-fill order (exact/elimination_order.h, the one the
// colour tables use, with the cap on patterns instead of colour tuples) and
// its costs for `graph` and k >= 1 colours, without building any table.
// Refuses (feasible false) as soon as the work would exceed the limit or no
// vertex left has a table within the cap. For k = 1 every edge is at its
// `same` factor and nothing is eliminated: every step has an empty scope
// and the work is the edge count. Throws std::invalid_argument on k < 1 or
// a graph outside WeightedGraph's contract (an end out of range, a
// self-loop, two edges on one pair).
PartitionPlan planPartitionElimination(const WeightedGraph& graph, int32_t k,
                                       const EliminationLimits& limits = {});

// The bytes eliminateByPartitions() holds at its peak for a feasible plan:
// the live tables' entries, with a colouring the kept bits, and its lists
// (48 bytes a vertex, 4 an edge).
double partitionEliminationBytes(const PartitionPlan& plan, bool withColoring);

// The value of `graph` (the mean over uniform independent colourings in
// [0, k) of the product of its edge factors: for a plain graph the
// probability that a random colouring is proper), exact to rounding, by the
// feasible `plan` made for this graph and k. 0 when some table is all
// zeros.
//
// With withColoring and a value above 0, also a colouring in [0, k) whose
// every edge factor is above 0 (for a plain graph a proper colouring): one
// bit an entry of every table (non-zero or not) is kept, and a backward
// pass colours the vertices in reverse order, each with a colour that
// keeps the tables it consumed non-zero and its factors to the vertices
// coloured already above 0: a colour of a scope vertex, or the least colour
// no scope vertex has. The colouring needs factors >= 0 (then an entry is
// non-zero exactly when some colouring of what it sums over weighs above
// 0); std::invalid_argument otherwise.
EliminationResult eliminateByPartitions(const WeightedGraph& graph, int32_t k,
                                        const PartitionPlan& plan, bool withColoring);

}  // namespace tintara
