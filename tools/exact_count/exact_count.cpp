#include "exact_count/exact_count.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace tintara::exact {

namespace {

ExactCount checkedAdd(ExactCount a, ExactCount b) {
  ExactCount sum;
  if (__builtin_add_overflow(a, b, &sum)) throw std::overflow_error("count exceeds 128 bits");
  return sum;
}

ExactCount checkedMul(ExactCount a, ExactCount b) {
  ExactCount product;
  if (__builtin_mul_overflow(a, b, &product)) throw std::overflow_error("count exceeds 128 bits");
  return product;
}

bool hasSelfLoop(const Graph& graph) {
  for (int32_t u = 0; u < graph.vertexCount; ++u)
    for (int32_t w : graph.neighbours(u))
      if (w == u) return true;
  return false;
}

// Neighbour lists without repeats or self-loops, sorted.
std::vector<std::vector<int32_t>> simpleNeighbours(const Graph& graph) {
  std::vector<std::vector<int32_t>> lists(graph.vertexCount);
  for (int32_t u = 0; u < graph.vertexCount; ++u) {
    for (int32_t w : graph.neighbours(u))
      if (w != u) lists[u].push_back(w);
    std::sort(lists[u].begin(), lists[u].end());
    lists[u].erase(std::unique(lists[u].begin(), lists[u].end()), lists[u].end());
  }
  return lists;
}

// k^e, or 0 when it exceeds `limit`.
uint64_t powerWithin(int32_t k, std::size_t e, uint64_t limit) {
  uint64_t p = 1;
  for (std::size_t i = 0; i < e; ++i) {
    if (p > limit / static_cast<uint64_t>(k)) return 0;
    p *= static_cast<uint64_t>(k);
  }
  return p;
}

// A table over `vars` (sorted): the entry for assignment x sits at
// sum_i x[vars[i]] * k^i.
struct Factor {
  std::vector<int32_t> vars;
  std::vector<ExactCount> table;
};

}  // namespace

std::vector<int32_t> minFillOrder(const Graph& graph) {
  const int32_t n = graph.vertexCount;
  std::vector<std::vector<int32_t>> neighbours = simpleNeighbours(graph);
  std::vector<std::vector<char>> adjacent(n, std::vector<char>(n, 0));
  for (int32_t u = 0; u < n; ++u)
    for (int32_t w : neighbours[u]) adjacent[u][w] = 1;

  std::vector<char> eliminated(n, 0);
  std::vector<int32_t> order;
  order.reserve(n);
  for (int32_t step = 0; step < n; ++step) {
    int32_t best = -1;
    int64_t bestFill = 0;
    std::size_t bestDegree = 0;
    for (int32_t v = 0; v < n; ++v) {
      if (eliminated[v]) continue;
      const auto& nb = neighbours[v];
      int64_t fill = 0;
      for (std::size_t i = 0; i < nb.size(); ++i)
        for (std::size_t j = i + 1; j < nb.size(); ++j)
          if (!adjacent[nb[i]][nb[j]]) ++fill;
      if (best < 0 || fill < bestFill || (fill == bestFill && nb.size() < bestDegree)) {
        best = v;
        bestFill = fill;
        bestDegree = nb.size();
      }
    }
    // Join the neighbours of `best` into a clique, then drop `best`.
    const std::vector<int32_t> nb = neighbours[best];
    for (std::size_t i = 0; i < nb.size(); ++i) {
      for (std::size_t j = i + 1; j < nb.size(); ++j) {
        const int32_t a = nb[i];
        const int32_t b = nb[j];
        if (!adjacent[a][b]) {
          adjacent[a][b] = adjacent[b][a] = 1;
          neighbours[a].push_back(b);
          neighbours[b].push_back(a);
        }
      }
    }
    for (int32_t w : nb) std::erase(neighbours[w], best);
    neighbours[best].clear();
    eliminated[best] = 1;
    order.push_back(best);
  }
  return order;
}

ExactCount countProperColorings(const Graph& graph, int32_t k, EliminationStats* stats,
                                uint64_t maxTableEntries) {
  if (k < 0) throw std::invalid_argument("negative number of colours");
  EliminationStats localStats;
  EliminationStats& st = stats ? *stats : localStats;
  st = EliminationStats{};
  const int32_t n = graph.vertexCount;
  if (hasSelfLoop(graph)) return 0;
  if (n == 0) return 1;
  if (k == 0) return 0;

  std::vector<Factor> active;
  const std::vector<std::vector<int32_t>> neighbours = simpleNeighbours(graph);
  for (int32_t u = 0; u < n; ++u) {
    for (int32_t w : neighbours[u]) {
      if (w < u) continue;
      Factor f{{u, w}, std::vector<ExactCount>(static_cast<std::size_t>(k) * k, 0)};
      for (int32_t a = 0; a < k; ++a)
        for (int32_t b = 0; b < k; ++b) f.table[a + static_cast<std::size_t>(k) * b] = a != b;
      active.push_back(std::move(f));
    }
  }

  ExactCount scalar = 1;
  for (int32_t v : minFillOrder(graph)) {
    std::vector<Factor> bucket;
    for (std::size_t i = 0; i < active.size();) {
      if (std::binary_search(active[i].vars.begin(), active[i].vars.end(), v)) {
        bucket.push_back(std::move(active[i]));
        active[i] = std::move(active.back());
        active.pop_back();
      } else {
        ++i;
      }
    }
    if (bucket.empty()) {  // an isolated vertex: any colour
      scalar = checkedMul(scalar, static_cast<ExactCount>(k));
      continue;
    }

    std::vector<int32_t> scope;
    for (const Factor& f : bucket) scope.insert(scope.end(), f.vars.begin(), f.vars.end());
    std::sort(scope.begin(), scope.end());
    scope.erase(std::unique(scope.begin(), scope.end()), scope.end());
    const std::size_t width = scope.size();
    const uint64_t resultSize = powerWithin(k, width - 1, maxTableEntries);
    if (resultSize == 0)
      throw std::length_error("elimination table too large (" + std::to_string(k) + "^" +
                              std::to_string(width - 1) + " entries)");
    st.width = std::max(st.width, static_cast<int32_t>(width - 1));
    st.largestTable = std::max(st.largestTable, resultSize);

    // Strides of every scope position in each bucket table and in the result.
    std::vector<std::vector<uint64_t>> strides(bucket.size(), std::vector<uint64_t>(width, 0));
    for (std::size_t f = 0; f < bucket.size(); ++f) {
      uint64_t s = 1;
      for (int32_t var : bucket[f].vars) {
        const auto pos = std::lower_bound(scope.begin(), scope.end(), var) - scope.begin();
        strides[f][pos] = s;
        s *= static_cast<uint64_t>(k);
      }
    }
    std::vector<uint64_t> resultStrides(width, 0);
    std::vector<int32_t> resultVars;
    {
      uint64_t s = 1;
      for (std::size_t pos = 0; pos < width; ++pos) {
        if (scope[pos] == v) continue;
        resultStrides[pos] = s;
        s *= static_cast<uint64_t>(k);
        resultVars.push_back(scope[pos]);
      }
    }

    // Walk every assignment of the scope like an odometer, keeping each
    // table's index in step.
    std::vector<ExactCount> result(resultSize, 0);
    std::vector<int32_t> digits(width, 0);
    std::vector<uint64_t> index(bucket.size(), 0);
    uint64_t resultIndex = 0;
    const uint64_t ku = static_cast<uint64_t>(k);
    for (;;) {
      ExactCount product = 1;
      for (std::size_t f = 0; f < bucket.size() && product != 0; ++f) {
        const ExactCount t = bucket[f].table[index[f]];
        product = t == 0 ? 0 : checkedMul(product, t);
      }
      if (product != 0) result[resultIndex] = checkedAdd(result[resultIndex], product);

      std::size_t pos = 0;
      for (; pos < width; ++pos) {
        for (std::size_t f = 0; f < bucket.size(); ++f) index[f] += strides[f][pos];
        resultIndex += resultStrides[pos];
        if (++digits[pos] < k) break;
        digits[pos] = 0;
        for (std::size_t f = 0; f < bucket.size(); ++f) index[f] -= ku * strides[f][pos];
        resultIndex -= ku * resultStrides[pos];
      }
      if (pos == width) break;
    }

    if (resultVars.empty()) {
      scalar = checkedMul(scalar, result[0]);
    } else {
      active.push_back(Factor{std::move(resultVars), std::move(result)});
    }
  }
  return scalar;
}

namespace {

struct Search {
  int32_t k = 0;
  std::vector<int32_t> order;               // colouring order
  std::vector<std::vector<int32_t>> later;  // neighbours further on in the order
  std::vector<int32_t> forbidCount;         // [v * k + c]: coloured neighbours with c
  std::vector<int32_t> blocked;             // colours with forbidCount > 0, per vertex
  std::vector<ExactCount> weight;           // weight[m] = k(k-1)...(k-m+1)
  uint64_t nodes = 0;
  uint64_t maxNodes = 0;
  bool stopAtFirst = false;  // existence only: every leaf counts 1
  bool found = false;

  // Marks colour c at the later neighbours of v; false when one of them is
  // left without any colour.
  bool place(int32_t v, int32_t c) {
    bool alive = true;
    for (int32_t w : later[v])
      if (forbidCount[w * k + c]++ == 0 && ++blocked[w] == k) alive = false;
    return alive;
  }
  void unplace(int32_t v, int32_t c) {
    for (int32_t w : later[v])
      if (--forbidCount[w * k + c] == 0) --blocked[w];
  }

  ExactCount count(std::size_t position, int32_t used) {
    if (++nodes > maxNodes) throw std::length_error("search node limit reached");
    if (position == order.size()) {
      found = true;
      return stopAtFirst ? 1 : weight[used];
    }
    const int32_t v = order[position];
    ExactCount total = 0;
    const int32_t top = std::min(used + 1, k);  // colours 0..used-1, or one new one
    for (int32_t c = 0; c < top && !(stopAtFirst && found); ++c) {
      if (forbidCount[v * k + c] != 0) continue;
      if (place(v, c)) total = checkedAdd(total, count(position + 1, std::max(used, c + 1)));
      unplace(v, c);
    }
    return total;
  }
};

}  // namespace

namespace {

ExactCount searchColorings(const Graph& graph, int32_t k, uint64_t maxNodes, bool stopAtFirst) {
  if (k < 0) throw std::invalid_argument("negative number of colours");
  const int32_t n = graph.vertexCount;
  if (hasSelfLoop(graph)) return 0;
  if (n == 0) return 1;
  if (k == 0) return 0;
  const std::vector<std::vector<int32_t>> neighbours = simpleNeighbours(graph);

  // Order: each next vertex has the most neighbours already placed (ties:
  // the larger degree, then the lower id), so conflicts show early.
  Search s;
  s.k = k;
  s.maxNodes = maxNodes;
  s.stopAtFirst = stopAtFirst;
  std::vector<int32_t> placedNeighbours(n, 0);
  std::vector<char> placed(n, 0);
  for (int32_t step = 0; step < n; ++step) {
    int32_t best = -1;
    for (int32_t v = 0; v < n; ++v) {
      if (placed[v]) continue;
      if (best < 0 || placedNeighbours[v] > placedNeighbours[best] ||
          (placedNeighbours[v] == placedNeighbours[best] &&
           neighbours[v].size() > neighbours[best].size()))
        best = v;
    }
    placed[best] = 1;
    s.order.push_back(best);
    for (int32_t w : neighbours[best]) ++placedNeighbours[w];
  }
  std::vector<int32_t> position(n);
  for (int32_t i = 0; i < n; ++i) position[s.order[i]] = i;
  s.later.assign(n, {});
  for (int32_t v = 0; v < n; ++v)
    for (int32_t w : neighbours[v])
      if (position[w] > position[v]) s.later[v].push_back(w);
  s.forbidCount.assign(static_cast<std::size_t>(n) * k, 0);
  s.blocked.assign(n, 0);
  s.weight.assign(static_cast<std::size_t>(std::min(n, k)) + 1, 0);
  ExactCount w = 1;
  for (int32_t m = 0; m <= std::min(n, k); ++m) {
    s.weight[m] = w;
    w = checkedMul(w, static_cast<ExactCount>(k - m));
  }
  return s.count(0, 0);
}

}  // namespace

ExactCount countProperColoringsBySearch(const Graph& graph, int32_t k, uint64_t maxNodes) {
  return searchColorings(graph, k, maxNodes, false);
}

bool hasProperColoring(const Graph& graph, int32_t k, uint64_t maxNodes) {
  return searchColorings(graph, k, maxNodes, true) != 0;
}

long double properProbability(ExactCount count, int32_t vertexCount, int32_t k) {
  if (vertexCount == 0) return static_cast<long double>(count);
  return static_cast<long double>(count) / std::pow(static_cast<long double>(k), vertexCount);
}

std::string toDecimal(ExactCount value) {
  if (value == 0) return "0";
  std::string digits;
  while (value != 0) {
    digits.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  }
  return {digits.rbegin(), digits.rend()};
}

}  // namespace tintara::exact
