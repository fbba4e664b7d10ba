#include "exact/elimination_order.h"

#include <algorithm>
#include <optional>
#include <queue>
#include <tuple>
#include <unordered_set>

namespace tintara {
namespace {

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

}  // namespace

bool orderByMinimumFill(const Graph& graph, int32_t maxScope,
                        const std::function<bool(int32_t vertex, int32_t scopeSize)>& admit,
                        OrderSteps steps) {
  steps.order.reserve(graph.vertexCount);
  MinFillOrder order(graph, maxScope);
  std::vector<int32_t> scope;
  while (const auto candidate = order.next()) {
    const auto [v, d] = *candidate;
    if (!admit(v, d)) return false;
    order.eliminate(v, scope);
    steps.order.push_back(v);
    steps.scopes.insert(steps.scopes.end(), scope.begin(), scope.end());
    steps.scopeStart.push_back(static_cast<uint32_t>(steps.scopes.size()));
  }
  return static_cast<int32_t>(steps.order.size()) == graph.vertexCount;
}

int32_t consumingStep(std::span<const int32_t> scope, const std::vector<int32_t>& step) {
  int32_t first = INT32_MAX;
  for (int32_t u : scope) first = std::min(first, step[u]);
  return first;
}

LiveEntries countLiveEntries(const std::vector<int32_t>& order,
                             const std::vector<uint32_t>& scopeStart,
                             const std::vector<int32_t>& scopes,
                             std::span<const uint64_t> entriesOf) {
  const auto n = static_cast<int32_t>(order.size());
  std::vector<int32_t> step(n);
  for (int32_t s = 0; s < n; ++s) step[order[s]] = s;
  std::vector<uint64_t> entries(n), consumed(n, 0);
  LiveEntries live;
  for (int32_t s = 0; s < n; ++s) {
    const auto sc = stepScope(scopeStart, scopes, s);
    entries[s] = entriesOf[sc.size()];
    if (!sc.empty()) consumed[consumingStep(sc, step)] += entries[s];
    live.total += entries[s];
  }
  uint64_t alive = 0;
  for (int32_t s = 0; s < n; ++s) {
    live.peak = std::max(live.peak, alive + entries[s]);
    alive = alive + entries[s] - consumed[s];
  }
  return live;
}

}  // namespace tintara
