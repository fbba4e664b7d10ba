// A weighted kernel (exact/series_parallel.h) in the form its splitting runs
// on (coloring/kernel_state.h): each edge's factor written M q^[bad], M the
// larger of its two factors and q the smaller over M, so that
//   P(kernel) = (product of the M) x P(no active bad edge)
// for activity bits active with probability p = 1 - q. The product is
// exact arithmetic, so it goes into the plan's exact factor; the rest is
// what the runs estimate.
#pragma once

#include "coloring/kernel_state.h"
#include "exact/weighted_graph.h"
#include "numeric/wide_double.h"

namespace tintara {

struct KernelForm {
  KernelGraph graph;
  WideDouble scale = 1;  // the product of the edges' M
};

// The form of `kernel`, whose factors are never negative and whose edges
// each depend on their ends' relation (a shift other than 0). An edge with
// a factor of 0 is always active, and so is one whose p rounds to 1 as a
// double (the other factor is then below 2^-53 of the larger).
KernelForm kernelForm(const WeightedGraph& kernel);

}  // namespace tintara
