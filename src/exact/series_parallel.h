// Series and parallel reductions of a block: its chains of degree-2
// vertices folded into weighted edges, what is left (the kernel) for exact
// elimination or splitting, and a colouring of the whole block completed
// from one of the kernel.
//
// With every edge a factor of its ends' colour relation (exact/
// weighted_graph.h: `differ` when they differ, `same` = differ + shift when
// they share a colour), the block's probability is the mean over uniform
// colours of the product of the factors. Summing one vertex out leaves a
// factor of its neighbours' relation alone, since colours are exchangeable:
//   - series: x of degree 2 between u (edge 1) and v (edge 2) becomes one
//     edge u-v with, for k colours,
//         same   = (same1 same2 + (k - 1) differ1 differ2) / k
//         differ = (same1 differ2 + differ1 same2 + (k - 2) differ1 differ2) / k,
//     that is shift = shift1 shift2 / k and
//     differ = differ1 differ2 + (shift1 differ2 + differ1 shift2) / k:
//     the shifts multiply, so a long chain's tiny shift keeps its relative
//     precision (the factors themselves differ by less than a rounding);
//   - parallel: two edges u-v become one with the products of their factors;
//   - pendant: x of degree 1 on u takes out the constant
//     (same + (k - 1) differ) / k = differ + shift / k, and a vertex of
//     degree 0 the constant 1;
//   - an edge with shift 0 is the constant `differ` whatever its ends.
// The reductions repeat until none applies. A series-parallel block leaves
// nothing: its value is the constant. Otherwise the kernel's vertices all
// have degree 3 or more, and the block's value is the constant times the
// kernel's. (Duffin, "Topology of series-parallel networks", J. Math. Anal.
// Appl. 10, 1965, for the graphs; the factor arithmetic is the two-state
// transfer of a Potts-like edge weight.)
//
// Each vertex is removed once and each reduction costs O(1) besides the
// hash lookup of a parallel edge, so a block of m edges reduces in O(m).
#pragma once

#include <cstdint>
#include <vector>

#include "exact/weighted_graph.h"
#include "graph/graph.h"
#include "numeric/wide_double.h"

namespace tintara {

// One reduction, as the backward pass that colours a block needs it: the
// vertex removed (-1 for a constant edge or a merge) and the factors of the
// edges through which it joined the vertices still present.
struct Reduction {
  enum class Kind : uint8_t { Isolated, Pendant, Series };
  Kind kind = Kind::Isolated;
  int32_t vertex = -1;  // in the block's own ids
  int32_t first = -1;   // pendant: the neighbour; series: u
  int32_t second = -1;  // series: v
  EdgeFactor toFirst;   // the factor of the edge vertex-first
  EdgeFactor toSecond;  // series: of vertex-second
};

struct ReducedBlock {
  int32_t colorCount = 0;
  // The product of the constants the reductions took out: the block's
  // probability when nothing is left, 0 when a factor of 0 both ways was met.
  WideDouble constant = 1;
  // What is left: vertex i of `kernel` is block vertex kernelVertices[i].
  // Empty when the block reduced fully (or its value is 0).
  WeightedGraph kernel;
  std::vector<int32_t> kernelVertices;
  // The reductions made, in order; their reverse colours the block.
  std::vector<Reduction> reductions;

  bool fullyReduced() const { return kernel.vertexCount == 0; }
  // Whether any vertex was removed: without, the kernel is the block itself
  // with its plain edges.
  bool reducedAny() const { return !reductions.empty(); }
};

// The reductions of `block` (a simple graph: a block as blockGraph gives
// it, or any simple graph) for k >= 2 colours, every edge plain.
ReducedBlock reduceSeriesParallel(const Graph& block, int32_t k);

// A colouring of the whole block from one of the kernel (kernelColors[i]
// for kernel vertex i) under which every kernel edge's factor is above 0:
// each removed vertex, in reverse order, takes a colour that keeps the
// factors of its edges above 0, which the factor of the edge its removal
// made guarantees. With plain edges in the block, a proper colouring.
// Throws std::logic_error when some vertex finds no such colour (the
// kernel colouring made a factor 0).
std::vector<int32_t> completeBlockColoring(const ReducedBlock& reduced, int32_t blockVertices,
                                           const std::vector<int32_t>& kernelColors);

}  // namespace tintara
