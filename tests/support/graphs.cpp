#include "support/graphs.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

namespace tintara::testing {

Graph makeGraph(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges) {
  Graph g;
  g.vertexCount = n;
  g.edgeCount = static_cast<int32_t>(edges.size());
  setNeighbours(g, edges, [](std::pair<int32_t, int32_t> edge) { return edge; });
  return g;
}

NeighbourLists neighbourLists(const Graph& graph) {
  NeighbourLists lists;
  for (int32_t u = 0; u < graph.vertexCount; ++u) {
    const auto list = graph.neighbours(u);
    lists.emplace_back(list.begin(), list.end());
  }
  return lists;
}

Graph cycleGraph(int32_t n) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < n; ++i) edges.emplace_back(i, (i + 1) % n);
  return makeGraph(n, edges);
}

Graph completeGraph(int32_t n) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = i + 1; j < n; ++j) edges.emplace_back(i, j);
  return makeGraph(n, edges);
}

Graph gridGraph(int32_t rows, int32_t cols) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < cols; ++c) {
      const int32_t v = r * cols + c;
      if (c + 1 < cols) edges.emplace_back(v, v + 1);
      if (r + 1 < rows) edges.emplace_back(v, v + cols);
    }
  }
  return makeGraph(rows * cols, edges);
}

std::vector<std::pair<int32_t, int32_t>> torusEdges(int32_t side, int32_t first) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t r = 0; r < side; ++r) {
    for (int32_t c = 0; c < side; ++c) {
      const int32_t v = first + r * side + c;
      edges.emplace_back(v, first + r * side + (c + 1) % side);
      edges.emplace_back(v, first + ((r + 1) % side) * side + c);
    }
  }
  return edges;
}

Graph petersenGraph() {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < 5; ++i) {
    edges.emplace_back(i, (i + 1) % 5);          // outer cycle
    edges.emplace_back(i, i + 5);                // spokes
    edges.emplace_back(5 + i, 5 + (i + 2) % 5);  // inner pentagram
  }
  return makeGraph(10, edges);
}

Graph wheelGraph(int32_t spokes) {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 1; i <= spokes; ++i) {
    edges.emplace_back(0, i);
    edges.emplace_back(i, i % spokes + 1);
  }
  return makeGraph(spokes + 1, edges);
}

std::vector<std::pair<int32_t, int32_t>> groetzschEdges() {
  std::vector<std::pair<int32_t, int32_t>> edges;
  for (int32_t i = 0; i < 5; ++i) {
    edges.emplace_back(i, (i + 1) % 5);
    edges.emplace_back(5 + i, (i + 1) % 5);
    edges.emplace_back(5 + i, (i + 4) % 5);
    edges.emplace_back(5 + i, 10);
  }
  return edges;
}

Graph groetzschGraph() {
  return makeGraph(11, groetzschEdges());
}

std::string instanceText(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& edges) {
  std::string text = "p " + std::to_string(n) + "\n";
  for (auto [u, v] : edges) text += "e " + std::to_string(u) + " " + std::to_string(v) + "\n";
  return text;
}

uint64_t bruteForceProperColorings(const Graph& graph, int32_t k) {
  const int32_t n = graph.vertexCount;
  std::vector<int32_t> colors(n, 0);
  uint64_t proper = 0;
  for (;;) {
    bool ok = true;
    for (int32_t v = 0; v < n && ok; ++v)
      for (int32_t w : graph.neighbours(v)) ok = ok && colors[v] != colors[w];
    if (ok) ++proper;
    int32_t i = 0;
    while (i < n && ++colors[i] == k) colors[i++] = 0;
    if (i == n) return proper;
  }
}

Graph randomGraph(int32_t n, int32_t edges, uint32_t seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int32_t> pick(0, n - 1);
  std::vector<std::pair<int32_t, int32_t>> list;
  while (static_cast<int32_t>(list.size()) < edges) {
    const int32_t u = pick(engine);
    const int32_t v = pick(engine);
    if (u != v) list.emplace_back(u, v);
  }
  return makeGraph(n, list);
}

Graph leightonGraph(int32_t n, int32_t k, int32_t edges, uint32_t seed) {
  std::mt19937 engine(seed);
  std::set<std::pair<int32_t, int32_t>> made;
  std::vector<int32_t> classes(static_cast<std::size_t>(k));
  std::iota(classes.begin(), classes.end(), 0);
  std::vector<int32_t> members;
  const auto clique = [&](int32_t j) {
    members.clear();
    for (int32_t i = 0; i < j; ++i) {
      std::swap(classes[i], classes[std::uniform_int_distribution<int32_t>(i, k - 1)(engine)]);
      const int32_t perClass = (n - classes[i] + k - 1) / k;  // vertices c, c + k, ... below n
      members.push_back(classes[i] +
                        k * std::uniform_int_distribution<int32_t>(0, perClass - 1)(engine));
    }
    for (int32_t a = 0; a < j; ++a) {
      for (int32_t b = a + 1; b < j; ++b) {
        made.emplace(std::min(members[a], members[b]), std::max(members[a], members[b]));
      }
    }
  };
  const double share = static_cast<double>(edges) / (k - 1);
  for (int32_t j = k; j > 2; --j) {
    for (int32_t c = static_cast<int32_t>(share / (j * (j - 1) / 2)); c > 0; --c) clique(j);
  }
  while (static_cast<int32_t>(made.size()) < edges) clique(2);
  return makeGraph(n, std::vector<std::pair<int32_t, int32_t>>(made.begin(), made.end()));
}

}  // namespace tintara::testing
