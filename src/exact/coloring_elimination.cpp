#include "exact/coloring_elimination.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <queue>
#include <span>
#include <stdexcept>
#include <tuple>
#include <unordered_set>

namespace tintara {
namespace {

// k^d when it is at most `bound`, bound + 1 otherwise (bound < UINT64_MAX).
uint64_t boundedPower(uint64_t k, int32_t d, uint64_t bound) {
  uint64_t power = 1;
  for (int32_t i = 0; i < d; ++i) {
    if (power > bound / k) return bound + 1;
    power *= k;
  }
  return power;
}

// The graph as the elimination order changes it. "Are a and b adjacent"
// looks in the graph's own sorted lists and in a hash set of the fill
// edges; the live neighbours of a vertex are its copy of its original list
// and its chain of fill edges, from which eliminated vertices are dropped
// as they are met, so each dead entry is read at most once more.
class FillGraph {
 public:
  explicit FillGraph(const Graph& g)
      : graph(g),
        listEnd(g.neighbourStart.begin() + (g.vertexCount > 0 ? 1 : 0), g.neighbourStart.end()),
        list(g.neighbourList),
        chainHead(g.vertexCount, -1),
        eliminated(g.vertexCount, false) {}

  bool adjacent(int32_t a, int32_t b) const {
    const auto original = graph.neighbours(a);
    return std::binary_search(original.begin(), original.end(), b) || fill.contains(key(a, b));
  }

  void addEdge(int32_t a, int32_t b) {
    fill.insert(key(a, b));
    chain.push_back({b, chainHead[a]});
    chainHead[a] = static_cast<int32_t>(chain.size()) - 1;
    chain.push_back({a, chainHead[b]});
    chainHead[b] = static_cast<int32_t>(chain.size()) - 1;
  }

  void eliminate(int32_t v) { eliminated[v] = true; }

  // Calls visit(w) for every neighbour w of v not yet eliminated.
  template <class Visit>
  void forEachLiveNeighbour(int32_t v, Visit visit) {
    for (uint32_t i = graph.neighbourStart[v]; i < listEnd[v];) {
      if (eliminated[list[i]]) {
        list[i] = list[--listEnd[v]];
      } else {
        visit(list[i++]);
      }
    }
    for (int32_t* link = &chainHead[v]; *link >= 0;) {
      Node& node = chain[*link];
      if (eliminated[node.vertex]) {
        *link = node.next;
      } else {
        visit(node.vertex);
        link = &node.next;
      }
    }
  }

 private:
  struct Node {
    int32_t vertex;
    int32_t next;
  };
  static uint64_t key(int32_t a, int32_t b) {
    const auto [low, high] = std::minmax(a, b);
    return (static_cast<uint64_t>(low) << 32) | static_cast<uint32_t>(high);
  }

  const Graph& graph;
  // v's live original neighbours are list[neighbourStart[v]] up to list[listEnd[v]].
  std::vector<uint32_t> listEnd;
  std::vector<int32_t> list;
  std::vector<int32_t> chainHead;
  std::vector<Node> chain;
  std::vector<bool> eliminated;
  std::unordered_set<uint64_t> fill;
};

// The first step at which one of `scope`'s vertices goes: where the table
// with this scope is consumed.
int32_t consumingStep(std::span<const int32_t> scope, const std::vector<int32_t>& step) {
  int32_t first = INT32_MAX;
  for (int32_t u : scope) first = std::min(first, step[u]);
  return first;
}

std::span<const int32_t> scopeOf(const EliminationPlan& plan, int32_t s) {
  return {plan.scopes.data() + plan.scopeStart[s], plan.scopes.data() + plan.scopeStart[s + 1]};
}

}  // namespace

namespace {

// The greedy minimum-fill order as it is built. Fill counts (the pairs of
// live neighbours not adjacent) are kept only for the eligible vertices,
// those of degree at most maxScope. A vertex changes degree only as a
// neighbour of the vertex eliminated, and is then counted afresh; any other
// vertex's count falls by one for each new fill edge joining two of its
// neighbours.
class MinFillOrder {
 public:
  MinFillOrder(const Graph& graph, int32_t maxScope)
      : fillGraph(graph),
        maxScope(maxScope),
        degree(graph.vertexCount),
        fill(graph.vertexCount, 0),
        gone(graph.vertexCount, false) {
    for (int32_t v = 0; v < graph.vertexCount; ++v) {
      degree[v] = static_cast<int32_t>(graph.neighbours(v).size());
      if (degree[v] <= maxScope) fill[v] = countFill(v);
      offer(v);
    }
  }

  // The eligible vertex of least fill (then degree, then id) and its
  // degree, or nothing when none is left.
  std::optional<std::pair<int32_t, int32_t>> next() {
    while (!queue.empty()) {
      const auto [f, d, v] = queue.top();
      queue.pop();
      if (!gone[v] && f == fill[v] && d == degree[v]) return std::pair{v, d};
    }
    return std::nullopt;  // the entries left were outdated
  }

  // Eliminates v: its live neighbours, ascending, become `scope` and a
  // clique, and each loses v.
  void eliminate(int32_t v, std::vector<int32_t>& scope) {
    gone[v] = true;
    fillGraph.eliminate(v);
    scope.clear();
    fillGraph.forEachLiveNeighbour(v, [&](int32_t w) { scope.push_back(w); });
    std::sort(scope.begin(), scope.end());
    for (std::size_t i = 0; i < scope.size(); ++i) {
      for (std::size_t j = i + 1; j < scope.size(); ++j) join(scope[i], scope[j], scope);
    }
    for (int32_t u : scope) {
      --degree[u];
      if (degree[u] <= maxScope) {
        fill[u] = countFill(u);
        offer(u);
      }
    }
  }

 private:
  // Adds the fill edge a-b (when missing): common neighbours of a and b
  // outside the scope, found from the end of smaller degree, no longer miss
  // the pair.
  void join(int32_t a, int32_t b, const std::vector<int32_t>& scope) {
    if (fillGraph.adjacent(a, b)) return;
    const int32_t from = degree[a] <= degree[b] ? a : b;
    const int32_t other = from == a ? b : a;
    fillGraph.forEachLiveNeighbour(from, [&](int32_t w) {
      if (degree[w] <= maxScope && !std::binary_search(scope.begin(), scope.end(), w) &&
          fillGraph.adjacent(w, other)) {
        --fill[w];
        offer(w);
      }
    });
    fillGraph.addEdge(a, b);
    ++degree[a];
    ++degree[b];
  }

  int32_t countFill(int32_t u) {
    neighbours.clear();
    fillGraph.forEachLiveNeighbour(u, [&](int32_t w) { neighbours.push_back(w); });
    int32_t missing = 0;
    for (std::size_t i = 0; i < neighbours.size(); ++i) {
      for (std::size_t j = i + 1; j < neighbours.size(); ++j) {
        missing += fillGraph.adjacent(neighbours[i], neighbours[j]) ? 0 : 1;
      }
    }
    return missing;
  }

  void offer(int32_t u) {
    if (degree[u] <= maxScope) queue.push({fill[u], degree[u], u});
  }

  FillGraph fillGraph;
  int32_t maxScope;
  std::vector<int32_t> degree;
  std::vector<int32_t> fill;
  std::vector<bool> gone;
  std::vector<int32_t> neighbours;
  using Entry = std::tuple<int32_t, int32_t, int32_t>;  // (fill, degree, vertex)
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
};

// The live entries step by step: each table lives from its step to the
// step that consumes it; a step's new table is built while the tables it
// consumes still exist.
void countLiveEntries(EliminationPlan& plan, int32_t k, uint64_t tableBound) {
  const auto n = static_cast<int32_t>(plan.order.size());
  std::vector<int32_t> step(n);
  for (int32_t s = 0; s < n; ++s) step[plan.order[s]] = s;
  std::vector<uint64_t> entries(n), consumed(n, 0);
  for (int32_t s = 0; s < n; ++s) {
    const auto sc = scopeOf(plan, s);
    entries[s] =
        boundedPower(static_cast<uint64_t>(k), static_cast<int32_t>(sc.size()), tableBound);
    if (!sc.empty()) consumed[consumingStep(sc, step)] += entries[s];
    plan.witnessBits += entries[s];
  }
  uint64_t live = 0;
  for (int32_t s = 0; s < n; ++s) {
    plan.peakLiveEntries = std::max(plan.peakLiveEntries, live + entries[s]);
    live = live + entries[s] - consumed[s];
  }
}

}  // namespace

EliminationPlan planElimination(const Graph& graph, int32_t k, const EliminationLimits& limits) {
  if (k < 2) throw std::invalid_argument("planElimination: k must be at least 2");
  const int32_t n = graph.vertexCount;
  const uint64_t tableBound = std::min(limits.maxTableEntries, UINT64_MAX - 1);
  // The widest scope whose table the cap admits.
  int32_t maxScope = 0;
  while (maxScope < n && boundedPower(static_cast<uint64_t>(k), maxScope + 1, tableBound) <=
                             limits.maxTableEntries) {
    ++maxScope;
  }
  EliminationPlan plan;
  plan.scopeStart.assign(1, 0);
  plan.order.reserve(n);
  MinFillOrder order(graph, maxScope);
  std::vector<int32_t> scope;
  while (const auto candidate = order.next()) {
    const auto [v, d] = *candidate;
    const uint64_t entries = boundedPower(static_cast<uint64_t>(k), d, tableBound);
    if (entries > (limits.maxWork - plan.work) / static_cast<uint64_t>(k)) return plan;
    plan.work += entries * static_cast<uint64_t>(k);
    plan.largestTable = std::max(plan.largestTable, entries);
    plan.width = std::max(plan.width, d);
    order.eliminate(v, scope);
    plan.order.push_back(v);
    plan.scopes.insert(plan.scopes.end(), scope.begin(), scope.end());
    plan.scopeStart.push_back(static_cast<uint32_t>(plan.scopes.size()));
  }
  if (static_cast<int32_t>(plan.order.size()) < n) return plan;  // every vertex left is too wide
  plan.feasible = true;
  countLiveEntries(plan, k, tableBound);
  return plan;
}

namespace {

// Besides the tables: a step number, a bucket link and a colour a vertex.
double bytesFor(double liveEntries, double keptBits, double vertexCount) {
  return liveEntries * static_cast<double>(sizeof(WideDouble)) + keptBits / 8.0 +
         12.0 * vertexCount;
}

}  // namespace

double eliminationBytes(const EliminationPlan& plan, bool withColoring) {
  return bytesFor(static_cast<double>(plan.peakLiveEntries),
                  withColoring ? static_cast<double>(plan.witnessBits) : 0.0,
                  static_cast<double>(plan.order.size()));
}

double eliminationBytesBound(const EliminationLimits& limits, int32_t k, int32_t vertexCount,
                             bool withColoring) {
  // All tables together hold work / k entries, and no step's table more
  // than the cap.
  const double entries = std::min(static_cast<double>(limits.maxWork) / k,
                                  static_cast<double>(limits.maxTableEntries) * vertexCount);
  return bytesFor(entries, withColoring ? entries : 0.0, vertexCount);
}

namespace {

// One elimination in progress: the tables left by the steps so far, each
// waiting in the bucket of the step that consumes it, and (with a
// colouring) one bit an entry of every table, kept for the backward pass.
class Elimination {
 public:
  Elimination(const Graph& graph, int32_t k, const EliminationPlan& plan, bool withColoring)
      : graph(graph), k(k), plan(plan), withColoring(withColoring), n(graph.vertexCount) {
    step.resize(n);
    for (int32_t s = 0; s < n; ++s) step[plan.order[s]] = s;
    power.assign(static_cast<std::size_t>(plan.width) + 1, 1);
    for (std::size_t j = 1; j < power.size(); ++j) power[j] = power[j - 1] * k;
    // allowedShare[a] = a / k: a step without tables adds this for each
    // entry whose edges leave a colours to v.
    allowedShare.resize(k + 1);
    for (int32_t a = 0; a <= k; ++a) allowedShare[a] = WideDouble(a) / k;
    tables.resize(n);
    bucketHead.assign(n, -1);
    nextInBucket.assign(n, -1);
    if (withColoring) bitStart.assign(static_cast<std::size_t>(n) + 1, 0);
    slot.assign(n, -1);
    mark.assign(k, 0);
  }

  // Every step in the plan's order: the product of the last tables of the
  // connected parts, or nothing when a table is all zeros (no proper
  // colouring exists).
  std::optional<WideDouble> run() {
    WideDouble probability = 1;
    for (int32_t s = 0; s < n; ++s) {
      std::vector<WideDouble> table = stepTable(s);
      if (std::all_of(table.begin(), table.end(), [](const WideDouble& x) { return x == 0; })) {
        return std::nullopt;
      }
      if (withColoring) keepBits(s, table);
      const auto scope = scopeOf(plan, s);
      if (scope.empty()) {
        probability *= table[0];  // the last vertex of a connected part
      } else {
        const int32_t consumer = consumingStep(scope, step);
        nextInBucket[s] = bucketHead[consumer];
        bucketHead[consumer] = s;
        tables[s] = std::move(table);
      }
    }
    return probability;
  }

  // Backward: the vertices eliminated later are coloured already, and the
  // table of each step that consumed a table is non-zero at their colours,
  // so some colour of v keeps every table v consumed non-zero.
  std::vector<int32_t> witness() const {
    std::vector<int32_t> colors(n, -1);
    for (int32_t s = n; s-- > 0;) {
      const int32_t v = plan.order[s];
      for (int32_t c = 0; c < k && colors[v] < 0; ++c) {
        if (fits(s, v, c, colors)) colors[v] = c;
      }
      if (colors[v] < 0) throw std::logic_error("eliminate: no colour fits in the backward pass");
    }
    return colors;
  }

 private:
  // Step s's table over its scope: v = order[s] summed out of the product of
  // the tables in s's bucket and v's edges to vertices still present,
  // divided by k. The bucket's tables are freed.
  std::vector<WideDouble> stepTable(int32_t s) {
    const int32_t v = plan.order[s];
    const auto scope = scopeOf(plan, s);
    const auto d = static_cast<int32_t>(scope.size());
    gatherBucket(s, v, scope);
    std::vector<WideDouble> table(power[d]);
    digit.assign(d, 0);
    index.assign(bucket.size(), 0);
    for (std::size_t entry = 0; entry < table.size(); ++entry) {
      table[entry] = entryValue();
      nextAssignment(d);
    }
    for (int32_t t : bucket) std::vector<WideDouble>().swap(tables[t]);
    return table;
  }

  // The tables step s consumes, where each one's index moves as a scope
  // vertex's colour (stride) or v's colour (vStride) goes up by one, and
  // the scope positions of v's edges to vertices eliminated later.
  void gatherBucket(int32_t s, int32_t v, std::span<const int32_t> scope) {
    const auto d = static_cast<int32_t>(scope.size());
    for (int32_t j = 0; j < d; ++j) slot[scope[j]] = j;
    bucket.clear();
    for (int32_t t = bucketHead[s]; t >= 0; t = nextInBucket[t]) bucket.push_back(t);
    const auto tableCount = static_cast<int32_t>(bucket.size());
    width = d;
    stride.assign(static_cast<std::size_t>(tableCount) * d, 0);
    vStride.assign(tableCount, 0);
    for (int32_t i = 0; i < tableCount; ++i) {
      const auto tableScope = scopeOf(plan, bucket[i]);
      for (std::size_t p = 0; p < tableScope.size(); ++p) {
        const int32_t u = tableScope[p];
        if (u == v) {
          vStride[i] = power[p];
        } else {
          stride[static_cast<std::size_t>(i) * d + slot[u]] = power[p];
        }
      }
    }
    edgeSlots.clear();
    for (int32_t u : graph.neighbours(v)) {
      if (step[u] > s) edgeSlots.push_back(slot[u]);
    }
    for (int32_t u : scope) slot[u] = -1;
  }

  // The entry at the current assignment of the scope (digit): the colours
  // v's edges leave it, each weighted by the bucket's tables, over k.
  WideDouble entryValue() {
    ++stamp;
    int32_t allowed = k;
    for (int32_t j : edgeSlots) {
      uint64_t& m = mark[digit[j]];
      if (m != stamp) --allowed;
      m = stamp;
    }
    if (bucket.empty()) return allowedShare[allowed];
    if (allowed == 0) return 0;
    WideDouble sum = 0;
    for (int32_t c = 0; c < k; ++c) {
      if (mark[c] == stamp) continue;
      WideDouble product = tables[bucket[0]][index[0] + c * vStride[0]];
      for (std::size_t i = 1; i < bucket.size() && product != 0; ++i) {
        product *= tables[bucket[i]][index[i] + c * vStride[i]];
      }
      sum += product;
    }
    return sum / k;
  }

  // The next assignment of the scope, the first scope vertex fastest, with
  // the bucket's indices moved along.
  void nextAssignment(int32_t d) {
    const std::size_t tableCount = bucket.size();
    for (int32_t j = 0; j < d; ++j) {
      const std::size_t* jStride = stride.data() + j;
      if (++digit[j] < k) {
        for (std::size_t i = 0; i < tableCount; ++i) index[i] += jStride[i * width];
        return;
      }
      digit[j] = 0;
      for (std::size_t i = 0; i < tableCount; ++i) index[i] -= (k - 1) * jStride[i * width];
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

  // Whether colour c of v = order[s] leaves every table step s consumed
  // non-zero, and no neighbour coloured already has c.
  bool fits(int32_t s, int32_t v, int32_t c, const std::vector<int32_t>& colors) const {
    for (int32_t u : graph.neighbours(v)) {
      if (colors[u] == c) return false;
    }
    for (int32_t t = bucketHead[s]; t >= 0; t = nextInBucket[t]) {
      const auto tableScope = scopeOf(plan, t);
      uint64_t bit = bitStart[t];
      for (std::size_t p = 0; p < tableScope.size(); ++p) {
        const int32_t u = tableScope[p];
        bit += power[p] * static_cast<std::size_t>(u == v ? c : colors[u]);
      }
      if (((bits[bit / 64] >> (bit % 64)) & 1) == 0) return false;
    }
    return true;
  }

  const Graph& graph;
  const int32_t k;
  const EliminationPlan& plan;
  const bool withColoring;
  const int32_t n;
  std::vector<int32_t> step;  // each vertex's step in the order
  std::vector<std::size_t> power;
  std::vector<WideDouble> allowedShare;
  // tables[s] is step s's table until the step that consumes it; the
  // tables a step consumes are chained from bucketHead[s] through
  // nextInBucket.
  std::vector<std::vector<WideDouble>> tables;
  std::vector<int32_t> bucketHead;
  std::vector<int32_t> nextInBucket;
  std::vector<uint64_t> bits;      // with a colouring: table s's entries != 0
  std::vector<uint64_t> bitStart;  // where table s's bits start
  // Per-step scratch, sized for the widest step once.
  std::vector<int32_t> slot;  // position in the current scope
  std::vector<int32_t> bucket;
  std::vector<int32_t> edgeSlots;
  std::vector<int32_t> digit;
  std::vector<std::size_t> stride;
  std::vector<std::size_t> vStride;
  std::vector<std::size_t> index;
  std::vector<uint64_t> mark;
  uint64_t stamp = 0;
  int32_t width = 0;  // the current step's scope size
};

}  // namespace

EliminationResult eliminate(const Graph& graph, int32_t k, const EliminationPlan& plan,
                            bool withColoring) {
  if (!plan.feasible) throw std::invalid_argument("eliminate: the plan was refused");
  Elimination elimination(graph, k, plan, withColoring);
  const std::optional<WideDouble> probability = elimination.run();
  if (!probability) return {};  // no proper colouring: the probability is 0
  if (!withColoring) return {*probability, {}};
  return {*probability, elimination.witness()};
}

}  // namespace tintara
