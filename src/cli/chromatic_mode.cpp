#include "cli/chromatic_mode.h"

#include <cmath>
#include <iostream>

#include "cli/cpu_clock.h"
#include "cli/settings.h"
#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"

namespace tintara {

int32_t bisectColorCount(int32_t vertexCount, const ColorabilityTest& test, int32_t& steps,
                         double& iterationSum) {
  int32_t lo = 0;
  int32_t hi = vertexCount;
  while (lo < hi) {
    ++steps;
    const auto mid = static_cast<int32_t>(std::ceil(static_cast<double>(lo + hi) * 0.5));
    double iterations = 0.0;
    const bool colorable = test(mid, iterations);
    iterationSum += iterations;
    if (colorable) {
      if (hi == mid) lo = hi;
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return lo;
}

void findChromaticNumber(const std::string& problem, int32_t N, double rho, int32_t& steps,
                         double& meanIterations, double& cpuSeconds, int32_t& chromatic) {
  RandomSource random;
  const int64_t start = processorMilliseconds();
  const uint64_t usable = usableMemoryBytes();
  const Graph graph = readGraph(problem, usable, [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, N, 1, usable);
  });
  steps = 0;
  meanIterations = 0.0;
  cpuSeconds = 0.0;
  chromatic = -1;
  chromatic = bisectColorCount(
      graph.vertexCount,
      [&](int32_t k, double& iterations) {
        return isColorable(graph, random, N, rho, k, iterations);
      },
      steps, meanIterations);
  cpuSeconds = tintara::cpuSeconds(processorMilliseconds() - start);
  meanIterations = meanIterations / steps;
}

int runChromatic(const std::string& problem, int32_t N, double rho) {
  int32_t steps = -1;
  double meanIterations = -1.0;
  double cpu = 1.0;
  int32_t chromatic = -1;
  std::cout << problem << " #bin E(T) CPU Chrom# " << std::flush;
  findChromaticNumber(problem, N, rho, steps, meanIterations, cpu, chromatic);
  std::cout << steps << " " << meanIterations << " " << cpu << " " << chromatic << std::endl;
  return 0;
}

}  // namespace tintara
