// The extended state that splitting runs on a kernel of weighted edges (what
// series and parallel reductions leave of a block: exact/series_parallel.h),
// and its level-constrained Gibbs move.
//
// A weighted edge's factor is M q^[bad]: M = the larger of its two factors,
// q = the smaller over the larger, and "bad" means its ends share a colour
// for an inequality edge (the factor for equal colours is the smaller) and
// differ for an equality edge. Give the edge an activity bit, active with
// probability p = 1 - q independently of everything else: then q^[bad] =
// P(not active, or not bad), and the kernel's probability is (product of the
// M) times P(no active bad edge) under uniform colours and independent bits.
// An edge with q = 0 (a plain edge; or any edge one of whose factors is 0)
// is always active and has no bit. So the state is the kernel's colours and
// one bit per edge with 0 < q < 1, and its score is minus twice the number
// of active bad edges: a state of score 0 is what the runs count, and the
// lowest score a state can have is -2 times the number of edges.
//
// The move keeps the law of the state (uniform colours times the bits'
// priors) restricted to the states at or above a level. One sweep:
//   - the vertices, in an order shuffled from the rand stream as the
//     colouring's Gibbs move shuffles (coloring/gibbs_move.h): at each
//     position a fair coin (one uniform01), and on heads (u >= 0.5) a colour
//     drawn uniformly (a second uniform01) among the colours, ascending,
//     that keep the score at or above the level, counting the always-active
//     edges and the active ones;
//   - then every bit, in edge order, one uniform01 each: active when the
//     draw is below p, unless being active would take the score below the
//     level (a bad edge), in which case it is inactive; a sample below the
//     level whichever the bit keeps it.
// Each is the conditional law of its coordinate given the others, so the
// level set's law is kept (the conditional Gibbs sampler of generalized
// splitting: Botev and Kroese, Statistics and Computing 22, 2012). A
// uniform01 is a multiple of 2^-32, so P(active) is p rounded up to one: a
// bias of at most 2^-32 in each edge's prior.
//
// A sweep of a sample at or above the level, whole numbers both (as scores
// are), reads its coins and choices ahead as the colouring's move does
// (coloring/coin_parsing.h), since every heads position then draws its
// choice, and its bits' draws from the same block of engine outputs; other
// sweeps read them in turn. With at most 8 colours a vertex of degree below
// 128 counts its bad links per colour in the byte lanes of one word
// (coloring/level_sweep.h), else in a table of k counts.
//
// tests/support/plain_runs.h holds the same sweep written plainly (every
// candidate colour's score recounted from scratch), which the tests hold
// this one to, draw for draw.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "random/random_source.h"

namespace tintara {

// One end's view of an edge: the other end, the edge's bit (-1: always
// active), and whether the edge is an equality edge (bad when the colours
// differ) or an inequality edge (bad when they are equal).
struct KernelLink {
  int32_t neighbour = 0;
  int32_t bit = -1;
  bool equality = false;
};

// An edge with an activity bit, and its prior probability of being active,
// in (0, 1).
struct KernelBit {
  int32_t u = 0;
  int32_t v = 0;
  bool equality = false;
  double activeProbability = 0.0;
};

// An edge as the kernel graph is built from.
struct KernelEdge {
  int32_t u = 0;
  int32_t v = 0;
  bool equality = false;
  double activeProbability = 1.0;  // 1 (or more): always active, no bit
};

struct KernelGraph {
  int32_t vertexCount = 0;
  int32_t edgeCount = 0;
  std::vector<uint32_t> linkStart;  // vertexCount + 1 offsets into links
  std::vector<KernelLink> links;    // two an edge
  std::vector<KernelBit> bits;      // in edge order

  std::span<const KernelLink> linksOf(int32_t v) const {
    return {links.data() + linkStart[v], links.data() + linkStart[v + 1]};
  }
  // The lowest score a state can have: every edge active and bad.
  double lowestScore() const { return -2.0 * edgeCount; }
};

// The graph of `edges` (u != v, in their order) on `vertexCount` vertices;
// an edge whose probability is below 1 gets the next bit.
KernelGraph makeKernelGraph(int32_t vertexCount, const std::vector<KernelEdge>& edges);

struct KernelSample {
  std::vector<int32_t> colors;
  std::vector<uint8_t> active;  // one a bit
  std::vector<int32_t> visitOrder;
  double score = 0.0;
};

// A random state: every vertex's colour (one uniform01 each, vertex 0
// first), then every bit from its prior (one uniform01 each, in edge
// order), the score computed.
void randomKernelSample(KernelSample& sample, const KernelGraph& graph, RandomSource& random,
                        int32_t k);

// The score of `sample` from scratch.
double kernelScore(const KernelGraph& graph, const KernelSample& sample);

// Scratch for the move, reused so that a sweep allocates nothing after the
// first.
struct KernelWorkspace {
  std::vector<uint8_t> linkActive;   // 0, 1, then the bits, at link.bit + 2
  std::vector<int32_t> colorCounts;  // with more than 8 colours or a high degree
  std::vector<int32_t> allowedColors;
  std::vector<int32_t> allowedCounts;
  // One block's heads: the vertex and its choice's engine output.
  std::vector<int32_t> treatedVertices;
  std::vector<uint32_t> choiceOutputs;
};

// One sweep at `level`, as above; the sample's score stays current.
void kernelGibbsMove(KernelSample& sample, const KernelGraph& graph, int32_t k,
                     RandomSource& random, double level, KernelWorkspace& workspace);

}  // namespace tintara
