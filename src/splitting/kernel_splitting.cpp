#include "splitting/kernel_splitting.h"

#include <stdexcept>

#include "splitting/splitting_loops.h"

namespace tintara {

namespace {

struct KernelChain {
  const KernelGraph& kernel;
  int32_t k;
  RandomSource& random;
  KernelWorkspace& workspace;
  void step(KernelSample& sample, double level) {
    kernelGibbsMove(sample, kernel, k, random, level, workspace);
  }
};

struct KernelSpace {
  using Sample = KernelSample;
  const KernelGraph& kernel;
  RandomSource& source;
  int32_t k;
  KernelWorkspace workspace;
  KernelSample fresh;

  void create(SampleListOf<KernelSample>& population, int32_t N) {
    population.clear();
    population.reserve(static_cast<std::size_t>(std::max(N, 0)));
    for (int32_t i = 0; i < N; ++i) {
      randomKernelSample(fresh, kernel, source, k);
      population.push(fresh);
    }
  }
  double startLevel() const { return kernel.lowestScore(); }
  RandomSource& random() { return source; }
  int32_t children(std::size_t, int32_t) const { return 0; }
  bool regrow(SampleListOf<KernelSample>& population, std::size_t elites,
              const std::vector<int32_t>& factors, int32_t /*children: none*/, double level) {
    growChains(population, elites, factors, level, KernelChain{kernel, k, source, workspace});
    return true;
  }
  bool lengthen(int32_t&) { return false; }
};

}  // namespace

AdaptiveRun kernelAdaptiveRun(const KernelGraph& kernel, RandomSource& random, int32_t N,
                              double rho, int32_t k, std::vector<int32_t>* colors,
                              const LevelObserver& observer, const StopQuery& stop) {
  KernelSpace space{kernel, random, k, {}, {}};
  return adaptiveRunIn(
      space, N, rho,
      [colors](const KernelSample& reached) {
        if (colors) *colors = reached.colors;
      },
      observer, stop);
}

std::optional<WideDouble> kernelEstimateAtLevels(const LevelList& levels, const KernelGraph& kernel,
                                                 RandomSource& random, int32_t N, int32_t k,
                                                 const std::function<bool()>& abandoned) {
  if (N < 1) throw std::invalid_argument("a fixed-level run needs N >= 1");
  KernelSpace space{kernel, random, k, {}, {}};
  return estimateAtLevelsIn(space, levels, N, abandoned);
}

}  // namespace tintara
