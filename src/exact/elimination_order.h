// The elimination order that both kinds of elimination tables share
// (exact/coloring_elimination.h indexes its tables by colour tuples,
// exact/partition_elimination.h by colour-equality patterns): greedy
// minimum fill, and the bookkeeping of which table lives when.
//
// Greedy minimum fill (ties: the smaller degree, then the lower id): each
// step eliminates the vertex whose neighbours lack the fewest edges to be a
// clique, and its neighbours then become one; the step's scope is those
// neighbours. Only vertices of degree at most maxScope are candidates, so
// a hub's fill count (the pairs among thousands of neighbours) is never
// kept up to date: it is counted afresh once the hub's degree falls within
// the cap. Rejected: minimum degree, cheaper to keep but wider: on 27 grids
// and sparse random graphs (4x7 to 12x15, 100 and 300 vertices) minimum
// fill was narrower on 17, by one or two vertices, and wider on one; every
// vertex of width costs a factor in time.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "graph/graph.h"

namespace tintara {

// Step s eliminates order[s]; its scope (the table it builds) is
// scopes[scopeStart[s]] up to scopes[scopeStart[s + 1]].
struct OrderSteps {
  std::vector<int32_t>& order;
  std::vector<uint32_t>& scopeStart;
  std::vector<int32_t>& scopes;
};

// Eliminates the vertices of `graph` (simple: lists sorted, without repeats
// or self-loops) in greedy minimum-fill order among those of degree at most
// maxScope, appending each step to `steps` (which start empty, scopeStart
// holding its first 0) with its scope ascending. Before each step,
// admit(vertex, scopeSize) may refuse it, which ends the order there.
// Returns whether every vertex was eliminated. Each step adds at most
// width^2 / 2 fill edges and counts the fill of its scope afresh,
// O(width^3) adjacency tests.
bool orderByMinimumFill(const Graph& graph, int32_t maxScope,
                        const std::function<bool(int32_t vertex, int32_t scopeSize)>& admit,
                        OrderSteps steps);

inline std::span<const int32_t> stepScope(const std::vector<uint32_t>& scopeStart,
                                          const std::vector<int32_t>& scopes, int32_t s) {
  return {scopes.data() + scopeStart[s], scopes.data() + scopeStart[s + 1]};
}

// The first step at which one of `scope`'s vertices goes (step[u] is u's
// step): where the table with this scope is consumed.
int32_t consumingStep(std::span<const int32_t> scope, const std::vector<int32_t>& step);

struct LiveEntries {
  uint64_t peak = 0;   // entries of all tables alive at once, at the peak
  uint64_t total = 0;  // entries of all tables, each counted once
};

// The live entries step by step, where a scope of d vertices has
// entriesOf[d] entries: each table lives from its step to the step that
// consumes it, and a step's new table is built while the tables it
// consumes still exist.
LiveEntries countLiveEntries(const std::vector<int32_t>& order,
                             const std::vector<uint32_t>& scopeStart,
                             const std::vector<int32_t>& scopes,
                             std::span<const uint64_t> entriesOf);

}  // namespace tintara
