#include "exact/exact_block.h"

#include <stdexcept>

namespace tintara {
namespace {

// base^exponent by repeated squaring: exact while the powers fit in 53
// bits, otherwise within about 2 log2(exponent) roundings.
WideDouble integerPower(WideDouble base, int64_t exponent) {
  WideDouble result = 1;
  while (exponent > 0) {
    if (exponent & 1) result *= base;
    exponent >>= 1;
    if (exponent > 0) base *= base;
  }
  return result;
}

// The vertices of a cycle graph in the order the cycle visits them, from 0.
std::vector<int32_t> cycleWalk(const Graph& cycle) {
  std::vector<int32_t> walk;
  walk.reserve(cycle.vertexCount);
  int32_t previous = -1;
  int32_t current = 0;
  do {
    walk.push_back(current);
    const auto next = cycle.neighbours(current);
    const int32_t following = next[0] != previous ? next[0] : next[1];
    previous = current;
    current = following;
  } while (current != 0);
  return walk;
}

std::vector<int32_t> closedFormColoring(BlockShape shape, const Graph& block) {
  const int32_t n = block.vertexCount;
  std::vector<int32_t> colors(n);
  if (shape == BlockShape::Cycle) {
    const std::vector<int32_t> walk = cycleWalk(block);
    for (int32_t i = 0; i < n; ++i) colors[walk[i]] = i % 2;
    if (n % 2 == 1) colors[walk[n - 1]] = 2;  // between a 1 and the 0 it closes on
  } else {
    for (int32_t i = 0; i < n; ++i) colors[i] = i;  // a bridge's two ends, a clique's w
  }
  return colors;
}

}  // namespace

BlockShape blockShape(int32_t vertexCount, int64_t edgeCount) {
  const int64_t n = vertexCount;
  if (n == 2) return BlockShape::Bridge;
  if (edgeCount == n) return BlockShape::Cycle;
  if (edgeCount == n * (n - 1) / 2) return BlockShape::Complete;
  return BlockShape::Other;
}

WideDouble bridgeProbability(int32_t k) {
  return WideDouble(k - 1) / k;
}

WideDouble cycleProbability(int64_t length, int32_t k) {
  const WideDouble alternating = length % 2 == 0 ? WideDouble(k - 1) : WideDouble(1 - k);
  return (integerPower(WideDouble(k - 1), length) + alternating) /
         integerPower(WideDouble(k), length);
}

WideDouble completeProbability(int64_t w, int32_t k) {
  if (w > k) return 0;
  WideDouble falling = 1;
  for (int64_t i = 0; i < w; ++i) falling *= k - i;
  return falling / integerPower(WideDouble(k), w);
}

WideDouble closedFormProbability(BlockShape shape, int64_t vertexCount, int32_t k) {
  switch (shape) {
    case BlockShape::Bridge:
      return bridgeProbability(k);
    case BlockShape::Cycle:
      return cycleProbability(vertexCount, k);
    case BlockShape::Complete:
      return completeProbability(vertexCount, k);
    case BlockShape::Other:
      break;
  }
  throw std::invalid_argument("closedFormProbability: the block has no closed form");
}

BlockValue valueBlock(const Graph& block, int32_t k, const EliminationLimits& limits,
                      bool withColoring,
                      const std::function<void(double bytes, int32_t vertices)>& checkTables) {
  BlockValue value;
  value.shape = blockShape(block.vertexCount, block.edgeCount);
  if (value.shape != BlockShape::Other) {
    value.probability = closedFormProbability(value.shape, block.vertexCount, k);
  } else if (k == 1) {
    value.probability = 0;  // a block has an edge
  } else {
    const EliminationPlan plan = planElimination(block, k, limits);
    if (!plan.feasible) return value;
    if (checkTables) checkTables(eliminationBytes(plan, withColoring), block.vertexCount);
    EliminationResult result = eliminate(block, k, plan, withColoring);
    value.probability = result.probability;
    value.coloring = std::move(result.coloring);
    value.eliminationBytes = eliminationBytes(plan, withColoring);
    return value;
  }
  if (withColoring && *value.probability > 0) {
    value.coloring = closedFormColoring(value.shape, block);
  }
  return value;
}

}  // namespace tintara
