#include "exact/kernel_form.h"

#include <vector>

namespace tintara {

KernelForm kernelForm(const WeightedGraph& kernel) {
  KernelForm form;
  std::vector<KernelEdge> edges;
  edges.reserve(kernel.edges.size());
  for (const WeightedEdge& e : kernel.edges) {
    KernelEdge edge{e.u, e.v, e.factor.shift > 0, 1.0};
    // The larger factor: `same` for an equality edge, `differ` otherwise;
    // p = |shift| / M, the chance the smaller factor is not in force.
    const WideDouble larger = edge.equality ? e.factor.same() : e.factor.differ;
    form.scale *= larger;
    const WideDouble p = abs(e.factor.shift) / larger;
    if (p < 1) edge.activeProbability = toDouble(p);
    edges.push_back(edge);
  }
  form.graph = makeKernelGraph(kernel.vertexCount, edges);
  return form;
}

}  // namespace tintara
