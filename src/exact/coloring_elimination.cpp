#include "exact/coloring_elimination.h"

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>

#include "exact/elimination_order.h"

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

std::span<const int32_t> scopeOf(const EliminationPlan& plan, int32_t s) {
  return stepScope(plan.scopeStart, plan.scopes, s);
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
  const auto admit = [&](int32_t, int32_t d) {
    const uint64_t entries = boundedPower(static_cast<uint64_t>(k), d, tableBound);
    if (entries > (limits.maxWork - plan.work) / static_cast<uint64_t>(k)) return false;
    plan.work += entries * static_cast<uint64_t>(k);
    plan.largestTable = std::max(plan.largestTable, entries);
    plan.width = std::max(plan.width, d);
    return true;
  };
  // Refused when the work would exceed the limit or every vertex left is too wide.
  if (!orderByMinimumFill(graph, maxScope, admit, {plan.order, plan.scopeStart, plan.scopes})) {
    return plan;
  }
  plan.feasible = true;
  std::vector<uint64_t> entriesOf(static_cast<std::size_t>(plan.width) + 1);
  for (int32_t d = 0; d <= plan.width; ++d) {
    entriesOf[d] = boundedPower(static_cast<uint64_t>(k), d, tableBound);
  }
  const LiveEntries live = countLiveEntries(plan.order, plan.scopeStart, plan.scopes, entriesOf);
  plan.peakLiveEntries = live.peak;
  plan.witnessBits = live.total;
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
