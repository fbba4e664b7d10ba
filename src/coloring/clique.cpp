#include "coloring/clique.h"

#include <algorithm>
#include <bit>
#include <numeric>
#include <span>

#include "graph/simple_graph.h"

namespace tintara {
namespace {

// A smallest-last order (Matula and Beck; the bucket version of Batagelj and
// Zaversnik, O(n + m)): each vertex has at most core[v] neighbours after it
// in `order`, and core numbers never fall along the order. A clique through
// v has at most core[v] + 1 vertices, which prunes both stages.
struct CoreOrder {
  std::vector<int32_t> order;
  std::vector<int32_t> position;  // inverse of order
  std::vector<int32_t> core;
};

CoreOrder coreOrder(const Graph& g) {
  const int32_t n = g.vertexCount;
  CoreOrder c;
  auto& degree = c.core;  // current degrees, which end as the core numbers
  degree.resize(n);
  int32_t maxDegree = 0;
  for (int32_t v = 0; v < n; ++v) {
    degree[v] = static_cast<int32_t>(g.neighbours(v).size());
    maxDegree = std::max(maxDegree, degree[v]);
  }
  // order sorted by current degree; binStart[d] is where degree d begins.
  std::vector<int32_t> binStart(static_cast<std::size_t>(maxDegree) + 2, 0);
  for (int32_t v = 0; v < n; ++v) ++binStart[degree[v] + 1];
  std::partial_sum(binStart.begin(), binStart.end(), binStart.begin());
  c.order.resize(n);
  c.position.resize(n);
  {
    std::vector<int32_t> fill(binStart.begin(), binStart.end() - 1);
    for (int32_t v = 0; v < n; ++v) {
      c.position[v] = fill[degree[v]]++;
      c.order[c.position[v]] = v;
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    const int32_t v = c.order[i];
    for (int32_t u : g.neighbours(v)) {
      if (degree[u] <= degree[v]) continue;
      // Move u to the front of its bin, then shrink its degree by one.
      const int32_t du = degree[u];
      const int32_t front = binStart[du];
      const int32_t w = c.order[front];
      std::swap(c.order[front], c.order[c.position[u]]);
      std::swap(c.position[u], c.position[w]);
      ++binStart[du];
      --degree[u];
    }
  }
  return c;
}

// Calls visit(i) for every current member members[i] adjacent to u, a member
// being one with slot[members[i]] == i. Scans u's list or binary-searches it
// for each member, whichever reads fewer entries, so that a vertex of huge
// degree costs a small candidate set little. Returns the entries read.
template <class Visit>
int64_t forEachAdjacentMember(std::span<const int32_t> adjacency, std::span<const int32_t> members,
                              const std::vector<int32_t>& slot, Visit visit) {
  const auto scanCost = static_cast<int64_t>(adjacency.size());
  const auto searchCost =
      static_cast<int64_t>(members.size()) * static_cast<int64_t>(std::bit_width(adjacency.size()));
  if (scanCost <= searchCost) {
    for (int32_t w : adjacency) {
      if (slot[w] >= 0) visit(static_cast<std::size_t>(slot[w]));
    }
    return scanCost;
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    const int32_t w = members[i];
    if (slot[w] == static_cast<int32_t>(i) &&
        std::binary_search(adjacency.begin(), adjacency.end(), w))
      visit(i);
  }
  return searchCost;
}

// The greedy stage. slot[] is -1 everywhere on entry and on return.
std::vector<int32_t> greedyClique(const Graph& g, const CoreOrder& c, int64_t workBudget,
                                  std::vector<int32_t>& slot) {
  std::vector<int32_t> best, clique, candidates, inside;
  std::vector<char> kept;
  int64_t work = 0;
  for (int32_t i = g.vertexCount - 1; i >= 0; --i) {
    if (work >= workBudget && !best.empty()) break;
    const int32_t v = c.order[i];
    const auto need = static_cast<int32_t>(best.size());  // a better clique has need + 1
    if (c.core[v] < need) break;                          // and so do all vertices before v
    // Candidates whose core number rules them out of a better clique are
    // left out: they could only mislead the choice.
    candidates.clear();
    for (int32_t u : g.neighbours(v)) {
      if (c.core[u] < need) continue;
      slot[u] = static_cast<int32_t>(candidates.size());
      candidates.push_back(u);
    }
    work += static_cast<int64_t>(g.neighbours(v).size());
    // inside[j]: candidate j's neighbours among the candidates.
    inside.assign(candidates.size(), 0);
    for (std::size_t j = 0; j < candidates.size(); ++j) {
      work += forEachAdjacentMember(g.neighbours(candidates[j]), candidates, slot,
                                    [&](std::size_t) { ++inside[j]; });
    }
    clique.assign(1, v);
    while (!candidates.empty() && clique.size() + candidates.size() > best.size()) {
      std::size_t pick = 0;
      for (std::size_t j = 1; j < candidates.size(); ++j) {
        if (inside[j] > inside[pick] ||
            (inside[j] == inside[pick] && candidates[j] < candidates[pick]))
          pick = j;
      }
      const int32_t x = candidates[pick];
      clique.push_back(x);
      // Keep the candidates adjacent to x (never x itself); the others leave,
      // and each one that leaves lowers its remaining neighbours' counts.
      kept.assign(candidates.size(), 0);
      work += forEachAdjacentMember(g.neighbours(x), candidates, slot,
                                    [&](std::size_t k) { kept[k] = 1; });
      for (std::size_t j = 0; j < candidates.size(); ++j) {
        if (!kept[j]) slot[candidates[j]] = -1;
      }
      for (std::size_t j = 0; j < candidates.size(); ++j) {
        if (kept[j]) continue;
        work += forEachAdjacentMember(g.neighbours(candidates[j]), candidates, slot,
                                      [&](std::size_t k) { --inside[k]; });
      }
      std::size_t out = 0;
      for (std::size_t j = 0; j < candidates.size(); ++j) {
        if (!kept[j]) continue;
        candidates[out] = candidates[j];
        inside[out] = inside[j];
        slot[candidates[out]] = static_cast<int32_t>(out);
        ++out;
      }
      candidates.resize(out);
      inside.resize(out);
    }
    if (clique.size() > best.size()) best = clique;
    for (int32_t u : candidates) slot[u] = -1;
  }
  return best;
}

// One vertex's neighbourhood as a bitset graph, with the search state of
// the branch and bound. Local vertex j is global vertex local[j]; local
// vertices are ordered by local degree, highest first, so that the greedy
// colouring of the bound takes them in that order.
struct Neighbourhood {
  std::size_t words = 0;                         // 64-bit words per row
  std::vector<int32_t> local;                    // local -> global
  std::vector<uint64_t> rows;                    // size rows of `words`
  std::vector<uint64_t> sets;                    // the candidate set at each depth
  std::vector<uint64_t> uncoloured, colourable;  // colouring scratch
  std::vector<int32_t> sorted, bound;            // colour-sorted candidates, a stack over depths
  std::vector<int32_t> chosen;                   // the clique grown below the root, local ids
  int32_t root = 0;
  int64_t work = 0;  // as CliqueBudget::searchWork counts it
  int64_t budget = 0;
  bool stopped = false;

  const uint64_t* row(int32_t j) const { return rows.data() + static_cast<std::size_t>(j) * words; }
};

// Tomita's MCQ step on the candidates at `depth`, the clique being the root
// and `depth` chosen vertices: colour the candidates greedily (each colour
// class an independent set, so at most one vertex of each joins a clique),
// then branch on them from the highest colour down, stopping once the
// clique plus the colour count cannot beat `best`.
void expand(Neighbourhood& s, std::size_t depth, std::vector<int32_t>& best) {
  if (s.work >= s.budget) {
    s.stopped = true;
    return;
  }
  const std::size_t words = s.words;
  uint64_t* candidates = s.sets.data() + depth * words;
  const std::size_t base = s.sorted.size();
  std::copy(candidates, candidates + words, s.uncoloured.begin());
  int32_t colour = 0;
  for (std::size_t first = 0; first < words;) {
    if (s.uncoloured[first] == 0) {
      ++first;
      continue;
    }
    ++colour;
    std::copy(s.uncoloured.begin() + static_cast<std::ptrdiff_t>(first), s.uncoloured.end(),
              s.colourable.begin() + static_cast<std::ptrdiff_t>(first));
    for (std::size_t w = first; w < words; ++w) {
      while (s.colourable[w] != 0) {
        const int bit = std::countr_zero(s.colourable[w]);
        const auto v = static_cast<int32_t>(w * 64 + static_cast<std::size_t>(bit));
        s.uncoloured[w] &= ~(uint64_t{1} << bit);
        s.colourable[w] &= s.colourable[w] - 1;
        const uint64_t* adjacent = s.row(v);
        for (std::size_t k = w; k < words; ++k) s.colourable[k] &= ~adjacent[k];
        s.sorted.push_back(v);
        s.bound.push_back(colour);
      }
    }
  }
  s.work += 1 + static_cast<int64_t>(s.sorted.size() - base);
  const auto cliqueSize = static_cast<int32_t>(depth) + 1;
  uint64_t* next = candidates + words;
  for (std::size_t i = s.sorted.size(); i-- > base;) {
    if (cliqueSize + s.bound[i] <= static_cast<int32_t>(best.size())) break;
    const int32_t v = s.sorted[i];
    const uint64_t* adjacent = s.row(v);
    bool empty = true;
    for (std::size_t k = 0; k < words; ++k) {
      next[k] = candidates[k] & adjacent[k];
      empty = empty && next[k] == 0;
    }
    s.chosen.push_back(v);
    if (!empty) {
      expand(s, depth + 1, best);
    } else if (cliqueSize + 1 > static_cast<int32_t>(best.size())) {
      best.assign(1, s.root);
      for (int32_t j : s.chosen) best.push_back(s.local[j]);
    }
    s.chosen.pop_back();
    if (s.stopped) break;
    candidates[v / 64] &= ~(uint64_t{1} << (v % 64));
  }
  s.sorted.resize(base);
  s.bound.resize(base);
}

// The branch-and-bound stage, improving `best` in place. slot[] is -1
// everywhere on entry and on return.
void searchCliques(const Graph& g, const CoreOrder& c, int64_t workBudget,
                   std::vector<int32_t>& slot, std::vector<int32_t>& best) {
  Neighbourhood s;
  s.budget = workBudget;
  std::vector<int32_t> members, degree, rank;
  for (int32_t i = g.vertexCount - 1; i >= 0 && !s.stopped && s.work < s.budget; --i) {
    const int32_t v = c.order[i];
    const auto need = static_cast<int32_t>(best.size());  // candidates for a better clique
    if (c.core[v] < need) break;
    // v's later neighbours: every clique is searched once, from its first
    // vertex in the order, and there are at most core[v] of them.
    members.clear();
    for (int32_t u : g.neighbours(v)) {
      if (c.position[u] > i && c.core[u] >= need) members.push_back(u);
    }
    s.work += static_cast<int64_t>(g.neighbours(v).size());
    const auto size = static_cast<int32_t>(members.size());
    if (size < need || size > kMaxSearchVertices) continue;
    for (int32_t j = 0; j < size; ++j) slot[members[j]] = j;
    degree.assign(members.size(), 0);
    for (int32_t j = 0; j < size; ++j) {
      s.work += forEachAdjacentMember(g.neighbours(members[j]), members, slot,
                                      [&](std::size_t) { ++degree[j]; });
    }
    rank.resize(members.size());
    std::iota(rank.begin(), rank.end(), 0);
    std::sort(rank.begin(), rank.end(), [&](int32_t a, int32_t b) {
      return degree[a] != degree[b] ? degree[a] > degree[b] : members[a] < members[b];
    });
    s.local.resize(members.size());
    for (int32_t j = 0; j < size; ++j) {
      s.local[j] = members[rank[j]];
      slot[s.local[j]] = j;
    }
    s.words = (static_cast<std::size_t>(size) + 63) / 64;
    s.rows.assign(static_cast<std::size_t>(size) * s.words, 0);
    for (int32_t j = 0; j < size; ++j) {
      uint64_t* r = s.rows.data() + static_cast<std::size_t>(j) * s.words;
      s.work += forEachAdjacentMember(g.neighbours(s.local[j]), s.local, slot,
                                      [&](std::size_t k) { r[k / 64] |= uint64_t{1} << (k % 64); });
    }
    for (int32_t u : members) slot[u] = -1;
    // Depth d's candidate set is row d of `sets`; a clique below the root
    // has at most `size` vertices, so size + 1 rows suffice.
    s.sets.assign((static_cast<std::size_t>(size) + 1) * s.words, 0);
    for (int32_t j = 0; j < size; ++j)
      s.sets[static_cast<std::size_t>(j) / 64] |= uint64_t{1} << (j % 64);
    s.uncoloured.resize(s.words);
    s.colourable.resize(s.words);
    s.root = v;
    s.chosen.clear();
    if (size == 0) {
      if (best.empty()) best.assign(1, v);
      continue;
    }
    expand(s, 0, best);
  }
}

}  // namespace

std::vector<int32_t> largeClique(const Graph& graph, const CliqueBudget& budget) {
  const Graph g = simpleGraph(graph);
  const CoreOrder c = coreOrder(g);
  std::vector<int32_t> slot(static_cast<std::size_t>(g.vertexCount), -1);
  std::vector<int32_t> best = greedyClique(g, c, budget.greedyWork, slot);
  if (budget.searchWork > 0) searchCliques(g, c, budget.searchWork, slot, best);
  std::sort(best.begin(), best.end());
  return best;
}

}  // namespace tintara
