// The exact probability that a uniformly random k-colouring of a small-width
// graph is proper, by variable elimination, and a proper colouring beside it.
//
// Bucket elimination (Dechter, "Bucket elimination: a unifying framework for
// reasoning", Artificial Intelligence 113, 1999) over the vertices, each a
// variable with the k colours as its values and each edge u-v a constraint
// x_u != x_v. Eliminating v multiplies the tables that mention v (those left
// by earlier eliminations whose first vertex to go is v) with v's edges to
// vertices still present, sums over v's colour and divides by k: every table
// entry is then a probability, the chance that a random colouring of the
// vertices eliminated so far is proper given the colours of its scope, the
// vertices v was still joined to. Entries are WideDouble, so that no
// product underflows, however many vertices go.
//
// The order is greedy minimum fill (exact/elimination_order.h), shared with
// the tables indexed by colour-equality patterns
// (exact/partition_elimination.h). Only vertices whose table the cap
// admits are candidates.
//
// Cost. A step with a scope of d vertices builds a table of k^d entries,
// visiting k^(d+1) (entry, colour) pairs: `work` is the sum of these. The
// plan refuses a graph (it is then "hard": left to a splitting run) as soon
// as one table would exceed limits.maxTableEntries or the work would exceed
// limits.maxWork, so refusing costs no table at all. The defaults were
// measured on grids, wheels and random graphs (bench/elimination_bench.cpp,
// on the project's two-core machine): see EliminationLimits.
//
// Memory. The plan tells, before any table exists, the most table entries
// alive at once (the tables not yet consumed and the one being built) and
// the bits a colouring would keep: eliminationBytes() gives the peak in
// bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "numeric/wide_double.h"

namespace tintara {

struct EliminationLimits {
  // The largest table: 2^20 entries of sizeof(WideDouble) = 24 bytes, 24 MiB.
  // A step's scope is then at most 20 vertices for k = 2, 12 for k = 3, 10
  // for k = 4, 8 for k = 5 and 6 for k = 10.
  uint64_t maxTableEntries = uint64_t{1} << 20;
  // The (entry, colour) pairs of all steps together: the time. Measured at
  // 8 to 30 ns a pair (a WideDouble addition alone takes about 15 ns; the
  // wheels' small tables are cheapest, large tables with several factors
  // dearest), so 2^23 pairs take 0.07 to 0.25 s. For example the 9x9 grid
  // with k = 3 (width 11, 1.9e6 pairs) takes 48 ms, a random graph of 80
  // vertices and 120 edges with k = 3 (width 12, 3.2e6 pairs) 80 ms, and
  // the 8x8 grid with k = 4 (8.40e6 pairs, 0.2 s) is just refused. The
  // live tables then hold at most 2^23 / k entries (all tables together),
  // 96 MiB for k = 2 and 64 MiB for k = 3. Measured peaks were 1.3 to 2.1
  // times the largest table where it had 2e4 entries or more; the 6x200
  // grid's many small tables peaked at 1.4 MiB, 26 times its largest.
  uint64_t maxWork = uint64_t{1} << 23;
};

struct EliminationPlan {
  // False when the limits refused the graph; the rest is then incomplete.
  bool feasible = false;
  // Step s eliminates order[s]; its table's scope is
  // scopes[scopeStart[s]] up to scopes[scopeStart[s + 1]].
  std::vector<int32_t> order;
  std::vector<uint32_t> scopeStart;
  std::vector<int32_t> scopes;
  int32_t width = 0;  // the largest scope
  uint64_t work = 0;
  uint64_t largestTable = 0;     // entries
  uint64_t peakLiveEntries = 0;  // entries of all tables alive at once, at the peak
  uint64_t witnessBits = 0;      // one bit an entry of every table, kept for a colouring
};

// The order and its costs for `graph` (simple: lists sorted, without
// repeats or self-loops) and k >= 2 colours, without building any table.
// Refuses (feasible false) as soon as the work would exceed the limit or
// no vertex left has a table within the cap. Each step adds at most
// width^2 / 2 fill edges and counts the fill of its scope afresh, O(width^3)
// adjacency tests; since work grows as k^width, the limits keep the
// planning of a refused block short too.
EliminationPlan planElimination(const Graph& graph, int32_t k,
                                const EliminationLimits& limits = {});

// The bytes eliminate() holds at its peak for a feasible plan: the live
// tables' entries, with a colouring the kept bits, and a few ints a vertex.
double eliminationBytes(const EliminationPlan& plan, bool withColoring);

// A bound on eliminationBytes for every plan `limits` admit on a graph of
// vertexCount vertices, known before any planning: all tables together
// hold at most maxWork / k entries. Under the defaults, 64 MiB for k = 3
// and 96 MiB for k = 2, plus 12 bytes a vertex.
double eliminationBytesBound(const EliminationLimits& limits, int32_t k, int32_t vertexCount,
                             bool withColoring);

struct EliminationResult {
  WideDouble probability = 0;
  // With withColoring and a probability above 0: a proper k-colouring,
  // colours in [0, k); empty otherwise.
  std::vector<int32_t> coloring;
};

// The probability that a uniformly random k-colouring of `graph` is proper,
// exact to rounding, by the feasible `plan` made for this graph and k. With
// withColoring, every table's non-zero entries are kept as bits (one an
// entry of every table: witnessBits / 8 bytes, at most maxWork / (8k), 341
// KiB for k = 3 under the default limits) and a backward pass colours the
// vertices in reverse order, each with the first colour that keeps the
// tables it consumed non-zero and differs from its neighbours eliminated
// later (which are coloured already). Rejected: keeping the consumed tables
// themselves, 192 times the memory for the same answer.
EliminationResult eliminate(const Graph& graph, int32_t k, const EliminationPlan& plan,
                            bool withColoring);

}  // namespace tintara
