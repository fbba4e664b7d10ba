#include "exact/partition_elimination.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <span>
#include <stdexcept>

#include "exact/elimination_order.h"

namespace tintara {
namespace {

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

uint64_t saturatingMultiply(uint64_t a, uint64_t b) {
  uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

// R(r, m): the ways to label r more positions of a restricted growth string
// with m labels used so far and at most k in all, for r <= maxRemaining
// (saturating at UINT64_MAX). R(0, m) = 1; R(r, m) = m R(r - 1, m) +
// R(r - 1, m + 1), the last term only while m < k. Only labels up to
// maxRemaining are ever used before the remaining positions.
class Completions {
 public:
  Completions(int32_t maxRemaining, int32_t k)
      : columns(std::min(maxRemaining, k) + 2),
        counts(static_cast<std::size_t>(maxRemaining + 1) * columns, 0) {
    for (int32_t m = 0; m < columns; ++m) at(0, m) = 1;
    for (int32_t r = 1; r <= maxRemaining; ++r) {
      for (int32_t m = 0; m < columns; ++m) {
        uint64_t ways = saturatingMultiply(static_cast<uint64_t>(m), at(r - 1, m));
        if (m < k && m + 1 < columns) ways = saturatingAdd(ways, at(r - 1, m + 1));
        at(r, m) = ways;
      }
    }
  }

  uint64_t operator()(int32_t r, int32_t m) const {
    return counts[static_cast<std::size_t>(r) * columns + m];
  }

 private:
  uint64_t& at(int32_t r, int32_t m) { return counts[static_cast<std::size_t>(r) * columns + m]; }

  int32_t columns;
  std::vector<uint64_t> counts;
};

// Every pattern count below a 64-bit cap belongs to a scope of at most 65
// vertices: with k >= 2 the count is at least 2^(d - 1).
constexpr int32_t kCountedScopes = 66;

// The simple graph of `weighted`'s edges (lists sorted), checking its contract.
Graph adjacency(const WeightedGraph& weighted) {
  Graph graph;
  graph.vertexCount = weighted.vertexCount;
  for (const WeightedEdge& e : weighted.edges) {
    if (e.u < 0 || e.v < 0 || e.u >= weighted.vertexCount || e.v >= weighted.vertexCount) {
      throw std::invalid_argument("partition elimination: an edge's end is out of range");
    }
    if (e.u == e.v) throw std::invalid_argument("partition elimination: a self-loop");
  }
  setNeighbours(graph, weighted.edges, [](const WeightedEdge& e) { return std::pair{e.u, e.v}; });
  graph.edgeCount = static_cast<int32_t>(weighted.edges.size());
  for (int32_t u = 0; u < graph.vertexCount; ++u) {
    auto* first = graph.neighbourList.data() + graph.neighbourStart[u];
    auto* last = graph.neighbourList.data() + graph.neighbourStart[u + 1];
    std::sort(first, last);
    if (std::adjacent_find(first, last) != last) {
      throw std::invalid_argument("partition elimination: two edges join the same pair");
    }
  }
  return graph;
}

std::span<const int32_t> scopeOf(const PartitionPlan& plan, int32_t s) {
  return stepScope(plan.scopeStart, plan.scopes, s);
}

std::vector<int32_t> stepsOf(const PartitionPlan& plan) {
  std::vector<int32_t> step(plan.order.size());
  for (std::size_t s = 0; s < plan.order.size(); ++s) step[plan.order[s]] = static_cast<int32_t>(s);
  return step;
}

}  // namespace

uint64_t patternCount(int32_t d, int32_t k) {
  if (d < 0 || k < 0) throw std::invalid_argument("patternCount: negative size");
  if (d == 0) return 1;
  if (k == 0) return 0;
  if (k == 1) return 1;
  if (d > kCountedScopes) return UINT64_MAX;
  return Completions(d, k)(d, 0);
}

PartitionPlan planPartitionElimination(const WeightedGraph& weighted, int32_t k,
                                       const EliminationLimits& limits) {
  if (k < 1) throw std::invalid_argument("planPartitionElimination: k must be at least 1");
  const Graph graph = adjacency(weighted);
  const int32_t n = graph.vertexCount;
  PartitionPlan plan;
  plan.edgeCount = static_cast<int64_t>(weighted.edges.size());
  plan.scopeStart.assign(1, 0);
  if (k == 1) {
    // One colour: nothing to sum over, every edge at its `same` factor.
    if (weighted.edges.size() > limits.maxWork) return plan;
    plan.work = weighted.edges.size();
    plan.order.resize(n);
    std::iota(plan.order.begin(), plan.order.end(), 0);
    plan.scopeStart.assign(static_cast<std::size_t>(n) + 1, 0);
    plan.feasible = true;
    return plan;
  }
  const Completions completions(kCountedScopes, k);
  // The widest scope whose table the cap admits (counts grow with d).
  int32_t maxScope = 0;
  while (maxScope < n && maxScope < kCountedScopes &&
         completions(maxScope + 1, 0) <= limits.maxTableEntries) {
    ++maxScope;
  }
  const auto admit = [&](int32_t, int32_t d) {
    // d <= maxScope < kCountedScopes, so both counts are in the table.
    const uint64_t entries = completions(d, 0);
    const uint64_t pairs = completions(d + 1, 0);
    if (pairs > limits.maxWork - plan.work) return false;
    plan.work += pairs;
    plan.largestTable = std::max(plan.largestTable, entries);
    plan.width = std::max(plan.width, d);
    return true;
  };
  if (!orderByMinimumFill(graph, maxScope, admit, {plan.order, plan.scopeStart, plan.scopes})) {
    return plan;
  }
  plan.feasible = true;
  // Each scope latest-eliminated first: see the header's "Indexing".
  const std::vector<int32_t> step = stepsOf(plan);
  for (int32_t s = 0; s < n; ++s) {
    std::sort(plan.scopes.begin() + plan.scopeStart[s],
              plan.scopes.begin() + plan.scopeStart[s + 1],
              [&](int32_t a, int32_t b) { return step[a] > step[b]; });
  }
  std::vector<uint64_t> entriesOf(static_cast<std::size_t>(plan.width) + 1);
  for (int32_t d = 0; d <= plan.width; ++d) entriesOf[d] = completions(d, 0);
  const LiveEntries live = countLiveEntries(plan.order, plan.scopeStart, plan.scopes, entriesOf);
  plan.peakLiveEntries = live.peak;
  plan.witnessBits = live.total;
  return plan;
}

double partitionEliminationBytes(const PartitionPlan& plan, bool withColoring) {
  return static_cast<double>(plan.peakLiveEntries) * static_cast<double>(sizeof(WideDouble)) +
         (withColoring ? static_cast<double>(plan.witnessBits) / 8.0 : 0.0) +
         48.0 * static_cast<double>(plan.order.size()) + 4.0 * static_cast<double>(plan.edgeCount);
}

namespace {

// One elimination in progress: the tables left by the steps so far, each
// waiting in the bucket of the step that consumes it, and (with a
// colouring) one bit an entry of every table, kept for the backward pass.
class PartitionElimination {
 public:
  PartitionElimination(const WeightedGraph& graph, int32_t k, const PartitionPlan& plan,
                       bool withColoring)
      : graph(graph),
        k(k),
        plan(plan),
        withColoring(withColoring),
        n(graph.vertexCount),
        step(stepsOf(plan)),
        completions(plan.width, k) {
    // Each edge goes to the step of its end eliminated first.
    edgeStart.assign(static_cast<std::size_t>(n) + 1, 0);
    for (const WeightedEdge& e : graph.edges) ++edgeStart[std::min(step[e.u], step[e.v]) + 1];
    for (int32_t s = 0; s < n; ++s) edgeStart[s + 1] += edgeStart[s];
    stepEdges.resize(graph.edges.size());
    std::vector<uint32_t> fillAt(edgeStart.begin(), edgeStart.end() - 1);
    for (std::size_t i = 0; i < graph.edges.size(); ++i) {
      const WeightedEdge& e = graph.edges[i];
      stepEdges[fillAt[std::min(step[e.u], step[e.v])]++] = static_cast<int32_t>(i);
    }
    multiples.resize(static_cast<std::size_t>(std::min(k, plan.width) + 1));
    for (std::size_t a = 0; a < multiples.size(); ++a) {
      multiples[a] = WideDouble(k - static_cast<int32_t>(a));
    }
    tables.resize(n);
    bucketHead.assign(n, -1);
    nextInBucket.assign(n, -1);
    if (withColoring) bitStart.assign(static_cast<std::size_t>(n) + 1, 0);
    slot.assign(n, -1);
  }

  // Every step in the plan's order: the product of the last tables of the
  // connected parts, or nothing when a table is all zeros.
  std::optional<WideDouble> run() {
    WideDouble value = 1;
    for (int32_t s = 0; s < n; ++s) {
      std::vector<WideDouble> table = stepTable(s);
      if (std::all_of(table.begin(), table.end(), [](const WideDouble& x) { return x == 0; })) {
        return std::nullopt;
      }
      if (withColoring) keepBits(s, table);
      const auto scope = scopeOf(plan, s);
      if (scope.empty()) {
        value *= table[0];  // the last vertex of a connected part
      } else {
        const int32_t consumer = consumingStep(scope, step);
        nextInBucket[s] = bucketHead[consumer];
        bucketHead[consumer] = s;
        tables[s] = std::move(table);
      }
    }
    return value;
  }

  // Backward: the vertices eliminated later are coloured already, and the
  // table of each step that consumed a table is non-zero at their pattern,
  // so some class for v keeps every table v consumed non-zero and its
  // factors to them above 0.
  std::vector<int32_t> witness() const {
    std::vector<int32_t> colors(n, -1);
    std::vector<uint64_t> seen(k, 0);
    std::vector<int32_t> labelOf(k, 0);
    uint64_t stamp = 0;
    std::vector<int32_t> candidates;
    for (int32_t s = n; s-- > 0;) {
      const int32_t v = plan.order[s];
      // The scope's colours, then the least colour none of them has.
      candidates.clear();
      ++stamp;
      for (int32_t u : scopeOf(plan, s)) {
        if (seen[colors[u]] != stamp) candidates.push_back(colors[u]);
        seen[colors[u]] = stamp;
      }
      for (int32_t c = 0; c < k; ++c) {
        if (seen[c] != stamp) {
          candidates.push_back(c);
          break;
        }
      }
      for (int32_t c : candidates) {
        colors[v] = c;
        if (fits(s, colors, seen, labelOf, stamp)) break;
        colors[v] = -1;
      }
      if (colors[v] < 0) {
        throw std::logic_error("eliminateByPartitions: no colour fits in the backward pass");
      }
    }
    return colors;
  }

 private:
  // Step s's table over its scope's patterns, built in rank order; the
  // bucket's tables are freed.
  std::vector<WideDouble> stepTable(int32_t s) {
    const auto scope = scopeOf(plan, s);
    const auto d = static_cast<int32_t>(scope.size());
    gatherBucket(s, scope);
    std::vector<WideDouble> table(completions(d, 0));
    label.assign(d, 0);
    blocksBefore.assign(static_cast<std::size_t>(d) + 1, 0);
    for (int32_t j = 0; j < d; ++j) blocksBefore[j + 1] = 1;
    for (std::size_t entry = 0; entry < table.size(); ++entry) {
      table[entry] = entryValue(d);
      nextPattern(d);
    }
    for (int32_t t : bucket) std::vector<WideDouble>().swap(tables[t]);
    return table;
  }

  // The tables step s consumes, each with the scope positions of its
  // vertices but the last (v, see "Indexing"), and v's edges to the scope.
  void gatherBucket(int32_t s, std::span<const int32_t> scope) {
    const int32_t v = plan.order[s];
    const auto d = static_cast<int32_t>(scope.size());
    for (int32_t j = 0; j < d; ++j) slot[scope[j]] = j;
    bucket.clear();
    positionStart.assign(1, 0);
    positions.clear();
    for (int32_t t = bucketHead[s]; t >= 0; t = nextInBucket[t]) {
      const auto tableScope = scopeOf(plan, t);
      if (tableScope.back() != v) throw std::logic_error("partition elimination: scope order");
      bucket.push_back(t);
      for (std::size_t p = 0; p + 1 < tableScope.size(); ++p) {
        positions.push_back(slot[tableScope[p]]);
      }
      positionStart.push_back(static_cast<uint32_t>(positions.size()));
    }
    edgeSlots.clear();
    edgeFactors.clear();
    for (uint32_t i = edgeStart[s]; i < edgeStart[s + 1]; ++i) {
      const WeightedEdge& e = graph.edges[stepEdges[i]];
      edgeSlots.push_back(slot[e.u == v ? e.v : e.u]);
      const WideDouble same = e.factor.same();
      edgeFactors.push_back({same, e.factor.differ, same == 0, same == 1, e.factor.differ == 0,
                             e.factor.differ == 1});
    }
    for (int32_t u : scope) slot[u] = -1;
    const std::size_t tableCount = bucket.size();
    prefixRank.resize(tableCount);
    restrictedBlocks.resize(tableCount);
    relabel.assign(tableCount * (static_cast<std::size_t>(d) + 1), 0);
    relabelStamp.assign(relabel.size(), 0);
    edgeRelation.resize(edgeSlots.size());
  }

  // The entry at the current pattern (label): each table's rank up to its
  // last position, then v's classes, each weighted by the bucket's tables
  // and v's edge factors, over k.
  WideDouble entryValue(int32_t d) {
    const int32_t m = blocksBefore[d];
    ++stamp;
    const std::size_t tableCount = bucket.size();
    const std::size_t labels = static_cast<std::size_t>(d) + 1;
    for (std::size_t i = 0; i < tableCount; ++i) {
      const uint32_t first = positionStart[i];
      const auto size = static_cast<int32_t>(positionStart[i + 1] - first) + 1;
      int32_t* map = relabel.data() + i * labels;
      uint64_t* mapStamp = relabelStamp.data() + i * labels;
      uint64_t rank = 0;
      int32_t used = 0;
      for (int32_t q = 0; q + 1 < size; ++q) {
        const int32_t a = label[positions[first + q]];
        if (mapStamp[a] != stamp) {
          mapStamp[a] = stamp;
          map[a] = used++;
          rank += static_cast<uint64_t>(map[a]) * completions(size - 1 - q, map[a]);
        } else {
          rank += static_cast<uint64_t>(map[a]) * completions(size - 1 - q, used);
        }
      }
      prefixRank[i] = rank;
      restrictedBlocks[i] = used;
    }
    for (std::size_t j = 0; j < edgeSlots.size(); ++j) edgeRelation[j] = label[edgeSlots[j]];
    WideDouble sum = 0;
    // v in block c for c < m, alone (k - m colours) for c = m.
    for (int32_t c = 0; c <= m && c < k; ++c) {
      WideDouble product = classWeight(c);
      if (product == 0) continue;
      if (c == m) product *= multiples[m];
      sum += product;
    }
    return sum / k;
  }

  // g for v in class c of the current pattern (c = the pattern's block
  // count: v alone). Factors of exactly 1 (every factor of a plain edge but
  // a shared colour's 0) are not multiplied, nor is the first factor into a
  // 1: a WideDouble product costs about as much as the rest of a pair.
  WideDouble classWeight(int32_t c) const {
    WideDouble product;
    bool unit = true;
    const auto times = [&](const WideDouble& x) {
      if (unit) {
        product = x;
        unit = false;
      } else {
        product *= x;
      }
    };
    for (std::size_t j = 0; j < edgeRelation.size(); ++j) {
      const StepFactor& f = edgeFactors[j];
      const bool same = edgeRelation[j] == c;
      if (same ? f.sameIsZero : f.differIsZero) return 0;
      if (!(same ? f.sameIsOne : f.differIsOne)) times(same ? f.same : f.differ);
    }
    const std::size_t labels = label.size() + 1;
    for (std::size_t i = 0; i < bucket.size(); ++i) {
      const std::size_t at = i * labels + static_cast<std::size_t>(c);
      const uint64_t vLabel = relabelStamp[at] == stamp
                                  ? static_cast<uint64_t>(relabel[at])
                                  : static_cast<uint64_t>(restrictedBlocks[i]);
      const WideDouble& entry = tables[bucket[i]][prefixRank[i] + vLabel];
      if (entry == 0) return 0;
      times(entry);
    }
    return unit ? WideDouble(1) : product;
  }

  // The next restricted growth string in lexicographic order, the last
  // position fastest.
  void nextPattern(int32_t d) {
    for (int32_t j = d; j-- > 1;) {
      if (label[j] < blocksBefore[j] && label[j] + 1 < k) {
        ++label[j];
        blocksBefore[j + 1] = std::max(blocksBefore[j], label[j] + 1);
        for (int32_t p = j + 1; p < d; ++p) {
          label[p] = 0;
          blocksBefore[p + 1] = blocksBefore[p];
        }
        return;
      }
    }
  }

  void keepBits(int32_t s, const std::vector<WideDouble>& table) {
    bitStart[s + 1] = bitStart[s] + table.size();
    bits.resize((bitStart[s + 1] + 63) / 64, 0);
    for (std::size_t entry = 0; entry < table.size(); ++entry) {
      const uint64_t bit = bitStart[s] + entry;
      if (table[entry] != 0) bits[bit / 64] |= uint64_t{1} << (bit % 64);
    }
  }

  // Whether v = order[s], coloured already in `colors`, keeps every table
  // step s consumed non-zero and its factors to later vertices above 0.
  bool fits(int32_t s, const std::vector<int32_t>& colors, std::vector<uint64_t>& seen,
            std::vector<int32_t>& labelOf, uint64_t& stamp) const {
    for (uint32_t i = edgeStart[s]; i < edgeStart[s + 1]; ++i) {
      const WeightedEdge& e = graph.edges[stepEdges[i]];
      const WideDouble factor = colors[e.u] == colors[e.v] ? e.factor.same() : e.factor.differ;
      if (!(factor > 0)) return false;
    }
    for (int32_t t = bucketHead[s]; t >= 0; t = nextInBucket[t]) {
      const auto tableScope = scopeOf(plan, t);
      const auto size = static_cast<int32_t>(tableScope.size());
      ++stamp;
      uint64_t rank = 0;
      int32_t used = 0;
      for (int32_t q = 0; q < size; ++q) {
        const int32_t c = colors[tableScope[q]];
        if (seen[c] != stamp) {
          seen[c] = stamp;
          labelOf[c] = used++;
          rank += static_cast<uint64_t>(labelOf[c]) * completions(size - 1 - q, labelOf[c]);
        } else {
          rank += static_cast<uint64_t>(labelOf[c]) * completions(size - 1 - q, used);
        }
      }
      const uint64_t bit = bitStart[t] + rank;
      if (((bits[bit / 64] >> (bit % 64)) & 1) == 0) return false;
    }
    return true;
  }

  const WeightedGraph& graph;
  const int32_t k;
  const PartitionPlan& plan;
  const bool withColoring;
  const int32_t n;
  const std::vector<int32_t> step;  // each vertex's step in the order
  const Completions completions;
  // The edges of step s (by index in graph.edges) are stepEdges[edgeStart[s]]
  // up to stepEdges[edgeStart[s + 1]].
  std::vector<uint32_t> edgeStart;
  std::vector<int32_t> stepEdges;
  std::vector<WideDouble> multiples;  // multiples[m] = k - m
  // tables[s] is step s's table until the step that consumes it; the
  // tables a step consumes are chained from bucketHead[s] through
  // nextInBucket.
  std::vector<std::vector<WideDouble>> tables;
  std::vector<int32_t> bucketHead;
  std::vector<int32_t> nextInBucket;
  std::vector<uint64_t> bits;      // with a colouring: table s's entries != 0
  std::vector<uint64_t> bitStart;  // where table s's bits start
  // Per-step scratch, reused from step to step.
  std::vector<int32_t> slot;  // position in the current scope
  std::vector<int32_t> bucket;
  std::vector<uint32_t> positionStart;  // bucket table i's positions in the scope
  std::vector<int32_t> positions;
  std::vector<int32_t> edgeSlots;
  // v's edge factors at this step, with the values that need no product.
  struct StepFactor {
    WideDouble same;
    WideDouble differ;
    bool sameIsZero;
    bool sameIsOne;
    bool differIsZero;
    bool differIsOne;
  };
  std::vector<StepFactor> edgeFactors;
  std::vector<int32_t> label;         // the current pattern
  std::vector<int32_t> blocksBefore;  // labels used before each position
  std::vector<uint64_t> prefixRank;   // bucket table i's rank but for v's label
  std::vector<int32_t> restrictedBlocks;
  std::vector<int32_t> relabel;  // bucket table i's label for each of the pattern's
  std::vector<uint64_t> relabelStamp;
  std::vector<int32_t> edgeRelation;  // the pattern's label at each edge's other end
  uint64_t stamp = 0;
};

}  // namespace

EliminationResult eliminateByPartitions(const WeightedGraph& graph, int32_t k,
                                        const PartitionPlan& plan, bool withColoring) {
  if (!plan.feasible) throw std::invalid_argument("eliminateByPartitions: the plan was refused");
  if (static_cast<int64_t>(plan.order.size()) != graph.vertexCount ||
      plan.edgeCount != static_cast<int64_t>(graph.edges.size())) {
    throw std::invalid_argument("eliminateByPartitions: the plan was made for another graph");
  }
  if (withColoring) {
    for (const WeightedEdge& e : graph.edges) {
      if (e.factor.differ < 0 || e.factor.same() < 0) {
        throw std::invalid_argument("eliminateByPartitions: a colouring needs factors >= 0");
      }
    }
  }
  if (k == 1) {
    WideDouble value = 1;
    for (const WeightedEdge& e : graph.edges) value *= e.factor.same();
    if (!withColoring || !(value > 0)) return {value, {}};
    return {value, std::vector<int32_t>(graph.vertexCount, 0)};
  }
  PartitionElimination elimination(graph, k, plan, withColoring);
  const std::optional<WideDouble> value = elimination.run();
  if (!value) return {};
  if (!withColoring || !(*value > 0)) return {*value, {}};
  return {*value, elimination.witness()};
}

}  // namespace tintara
