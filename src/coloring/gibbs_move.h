// The level-constrained Gibbs move of the splitting method.
//
// A heads position redraws its vertex's colour uniformly among the colours
// that keep the sample at or above the level: the colour's conditional law,
// given every other vertex's, under the uniform law on the level set. So
// the sweep leaves that law invariant, which the fixed-level estimator's
// unbiasedness rests on (the conditional Gibbs sampler of generalized
// splitting: Botev and Kroese, Statistics and Computing 22, 2012).
//
// One sweep: shuffle the sample's visiting order, then at every position flip
// a fair coin (one uniform01); on heads (u >= 0.5) give the vertex there a
// colour drawn uniformly (a second uniform01) among the colours, in ascending
// order, whose resulting score is at least `level`, its own colour included
// when it qualifies. With no such colour nothing is drawn and nothing changes.
// A sample at or above the level stays there; the score is updated from the
// vertex's neighbour colour counts, never recomputed.
//
// A vertex's own entries in its adjacency list (self-loops) are left out of
// the colour counts: they conflict whatever its colour, so recolouring leaves
// them unchanged, and the incremental score keeps equal to computeScore.
//
// A sample that starts the sweep at or above the level always has its own
// colour allowed, so every heads position draws its choice; the sweep then
// reads each block's coins and choices from the engine outputs ahead
// (RandomSource::peekEngineOutputs) and treats only the heads positions,
// without a branch on the coin. Otherwise it reads them in turn. Both draw
// the same numbers in the same order.
//
// With at most 8 colours and a degree below 128, a treated position counts
// the neighbour colours in the bytes of one 64-bit word and derives the
// allowed colours and the chosen one from it without a loop over colours.
// With more colours it counts them in a table of k entries and tests every
// colour. With many colours (more than the vertex's degree plus a margin) it
// works from the sorted neighbour colours alone: every colour no neighbour
// has shares the best value, so only neighbour colours can fail the level,
// and the chosen index is mapped past the failing ones. All three give the
// same colour from the same draw; the last keeps a sweep at
// O(degree log degree) per position even for millions of colours.
//
// gibbs_reference.h holds the same sweep written plainly; the tests hold
// every path and both ways of reading the coins to it, draw for draw.
#pragma once

#include <cstdint>
#include <vector>

#include "coloring/coloring_sample.h"

namespace tintara {

// Scratch storage for gibbsMove, reused across positions, calls and samples
// so that a sweep allocates nothing.
struct GibbsWorkspace {
  std::vector<int32_t> colorCounts;
  std::vector<int32_t> allowedColors;
  std::vector<int32_t> allowedCounts;
  std::vector<int32_t> neighbourColors;
  std::vector<int32_t> failingColors;
  // A position uses the word of byte counts when k <= laneColorLimit (at
  // most 8) and its degree is below 128, else the colour table when
  // k <= degree + denseColorMargin. Tests lower them to force a path.
  int32_t laneColorLimit = 8;
  int32_t denseColorMargin = 32;
  // Sweeps of a sample at or above the level read the coins ahead; tests
  // turn this off to compare with the sweep that reads them in turn.
  bool readCoinsFirst = true;
  // One block's heads: the vertex and its choice's engine output.
  std::vector<int32_t> treatedVertices;
  std::vector<uint32_t> choiceOutputs;
};

void gibbsMove(ColoringSample& sample, double level, GibbsWorkspace& workspace);

}  // namespace tintara
