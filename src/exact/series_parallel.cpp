#include "exact/series_parallel.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace tintara {

namespace {

EdgeFactor inSeries(const EdgeFactor& first, const EdgeFactor& second, int32_t k) {
  EdgeFactor joined;
  joined.shift = first.shift * second.shift / k;
  joined.differ = first.differ * second.differ +
                  (first.shift * second.differ + first.differ * second.shift) / k;
  return joined;
}

EdgeFactor inParallel(const EdgeFactor& first, const EdgeFactor& second) {
  EdgeFactor joined;
  joined.differ = first.differ * second.differ;
  // same1 same2 - differ1 differ2, written with the shifts so that two
  // small shifts keep their precision.
  joined.shift =
      first.differ * second.shift + first.shift * second.differ + first.shift * second.shift;
  return joined;
}

// The graph as the reductions change it: edges with their factors, each
// vertex's incident edges (dead ones dropped as they are met), and the
// alive edge of each pair.
class Reducer {
 public:
  Reducer(const Graph& block, int32_t k)
      : k(k),
        incident(static_cast<std::size_t>(block.vertexCount)),
        degree(static_cast<std::size_t>(block.vertexCount), 0),
        removed(static_cast<std::size_t>(block.vertexCount), false) {
    reduced.colorCount = k;
    for (int32_t u = 0; u < block.vertexCount; ++u) {
      incident[u].reserve(block.neighbours(u).size());
      for (int32_t v : block.neighbours(u)) {
        if (u < v) addEdge(u, v, EdgeFactor{});
      }
    }
  }

  ReducedBlock run() {
    std::vector<int32_t> work;
    for (int32_t v = static_cast<int32_t>(degree.size()); v-- > 0;) {
      if (degree[v] <= 2) work.push_back(v);
    }
    while (!work.empty() && reduced.constant != 0) {
      const int32_t x = work.back();
      work.pop_back();
      if (removed[x] || degree[x] > 2) continue;
      liveEdges(x);
      removed[x] = true;
      Reduction step;
      step.vertex = x;
      if (live.empty()) {
        step.kind = Reduction::Kind::Isolated;
      } else if (live.size() == 1) {
        const Edge& e = edges[live[0]];
        step.kind = Reduction::Kind::Pendant;
        step.first = e.u == x ? e.v : e.u;
        step.toFirst = e.factor;
        reduced.constant *= e.factor.differ + e.factor.shift / k;
        kill(live[0]);
        work.push_back(step.first);
      } else {
        const Edge& e1 = edges[live[0]];
        const Edge& e2 = edges[live[1]];
        step.kind = Reduction::Kind::Series;
        step.first = e1.u == x ? e1.v : e1.u;
        step.second = e2.u == x ? e2.v : e2.u;
        step.toFirst = e1.factor;
        step.toSecond = e2.factor;
        const EdgeFactor joined = inSeries(e1.factor, e2.factor, k);
        kill(live[0]);
        kill(live[1]);
        addEdge(step.first, step.second, joined);
        work.push_back(step.first);
        work.push_back(step.second);
      }
      reduced.reductions.push_back(step);
    }
    if (reduced.constant == 0) {
      reduced.kernel = {};
      reduced.kernelVertices.clear();
      return std::move(reduced);
    }
    keepKernel();
    return std::move(reduced);
  }

 private:
  struct Edge {
    int32_t u;
    int32_t v;
    EdgeFactor factor;
    bool alive;
  };

  static uint64_t key(int32_t a, int32_t b) {
    const auto [low, high] = std::minmax(a, b);
    return (static_cast<uint64_t>(low) << 32) | static_cast<uint32_t>(high);
  }

  // Joins u and v by `factor`, merged with an edge u-v already there, and
  // taken out as a constant when it no longer depends on the colours.
  void addEdge(int32_t u, int32_t v, EdgeFactor factor) {
    const auto found = byPair.find(key(u, v));
    if (found != byPair.end()) {
      factor = inParallel(edges[found->second].factor, factor);
      kill(found->second);
    }
    if (factor.shift == 0) {
      reduced.constant *= factor.differ;
      return;
    }
    const auto id = static_cast<int32_t>(edges.size());
    edges.push_back(Edge{u, v, factor, true});
    byPair.emplace(key(u, v), id);
    incident[u].push_back(id);
    incident[v].push_back(id);
    ++degree[u];
    ++degree[v];
  }

  void kill(int32_t id) {
    Edge& e = edges[id];
    e.alive = false;
    byPair.erase(key(e.u, e.v));
    --degree[e.u];
    --degree[e.v];
  }

  // x's alive edges into `live`, its list compacted on the way.
  void liveEdges(int32_t x) {
    live.clear();
    std::vector<int32_t>& list = incident[x];
    std::size_t kept = 0;
    for (int32_t id : list) {
      if (!edges[id].alive) continue;
      list[kept++] = id;
      live.push_back(id);
    }
    list.resize(kept);
  }

  void keepKernel() {
    std::vector<int32_t> kernelId(degree.size(), -1);
    for (int32_t v = 0; v < static_cast<int32_t>(degree.size()); ++v) {
      if (removed[v]) continue;
      kernelId[v] = static_cast<int32_t>(reduced.kernelVertices.size());
      reduced.kernelVertices.push_back(v);
    }
    reduced.kernel.vertexCount = static_cast<int32_t>(reduced.kernelVertices.size());
    for (const Edge& e : edges) {
      if (!e.alive) continue;
      const auto [u, v] = std::minmax(kernelId[e.u], kernelId[e.v]);
      reduced.kernel.edges.push_back(WeightedEdge{u, v, e.factor});
    }
    // Edge order is the splitting's order of the activity draws: fixed by
    // the kernel's own ids, not by the order of the reductions.
    std::sort(reduced.kernel.edges.begin(), reduced.kernel.edges.end(),
              [](const WeightedEdge& a, const WeightedEdge& b) {
                return std::pair(a.u, a.v) < std::pair(b.u, b.v);
              });
  }

  const int32_t k;
  ReducedBlock reduced;
  std::vector<Edge> edges;
  std::unordered_map<uint64_t, int32_t> byPair;
  std::vector<std::vector<int32_t>> incident;
  std::vector<int32_t> degree;
  std::vector<bool> removed;
  std::vector<int32_t> live;
};

// Whether the factor is above 0 for ends whose colours are a and b.
bool positive(const EdgeFactor& factor, int32_t a, int32_t b) {
  return (a == b ? factor.same() : factor.differ) > 0;
}

}  // namespace

ReducedBlock reduceSeriesParallel(const Graph& block, int32_t k) {
  if (k < 2) throw std::invalid_argument("reduceSeriesParallel: k must be at least 2");
  return Reducer(block, k).run();
}

std::vector<int32_t> completeBlockColoring(const ReducedBlock& reduced, int32_t blockVertices,
                                           const std::vector<int32_t>& kernelColors) {
  if (kernelColors.size() != reduced.kernelVertices.size()) {
    throw std::invalid_argument("completeBlockColoring: one colour a kernel vertex is needed");
  }
  std::vector<int32_t> colors(static_cast<std::size_t>(blockVertices), -1);
  for (std::size_t i = 0; i < kernelColors.size(); ++i) {
    colors[reduced.kernelVertices[i]] = kernelColors[i];
  }
  const int32_t k = reduced.colorCount;
  for (auto step = reduced.reductions.rbegin(); step != reduced.reductions.rend(); ++step) {
    int32_t& color = colors[step->vertex];
    if (step->kind == Reduction::Kind::Isolated) {
      color = 0;
      continue;
    }
    const int32_t a = colors[step->first];
    const int32_t b = step->kind == Reduction::Kind::Series ? colors[step->second] : a;
    // The ends' colours, and the least colour that is neither: between
    // them every relation to the ends is tried.
    int32_t other = 0;
    while (other == a || other == b) ++other;
    for (int32_t c : {a, b, other}) {
      if (c >= k || !positive(step->toFirst, c, a)) continue;
      if (step->kind == Reduction::Kind::Series && !positive(step->toSecond, c, b)) continue;
      color = c;
      break;
    }
    if (color < 0)
      throw std::logic_error("completeBlockColoring: no colour keeps the factors above 0");
  }
  return colors;
}

}  // namespace tintara
