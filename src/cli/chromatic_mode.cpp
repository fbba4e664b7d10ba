#include "cli/chromatic_mode.h"

#include <cmath>
#include <iostream>
#include <vector>

#include "cli/cpu_clock.h"
#include "cli/output_check.h"
#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "graph/self_loop.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/parallel_runs.h"

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

uint64_t colorabilityStream(int32_t step, int32_t test) {
  return (static_cast<uint64_t>(step) << 32) | static_cast<uint32_t>(test);
}

void findChromaticNumber(const RunSettings& s, int32_t& steps, double& meanIterations,
                         double& cpuSeconds, int32_t& chromatic) {
  const int64_t start = processorMilliseconds();
  const uint64_t usable = usableMemoryBytes();
  const Graph graph = readGraph(s.problem, usable, [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, s.N, s.workers, usable);
  });
  refuseSelfLoops(graph);
  steps = 0;
  meanIterations = 0.0;
  cpuSeconds = 0.0;
  chromatic = -1;
  const int32_t tests = s.workers;
  chromatic = bisectColorCount(
      graph.vertexCount,
      [&](int32_t k, double& iterations) {
        std::vector<char> passed(static_cast<std::size_t>(tests), 0);
        std::vector<double> made(static_cast<std::size_t>(tests), 0.0);
        const int32_t step = steps;  // already counts this step
        runTogether(tests, [&](int32_t j) {
          RandomSource random(StreamId{s.seed, colorabilityStream(step, j)});
          passed[j] = isColorable(graph, random, s.N, s.rho, k, made[j]) ? 1 : 0;
        });
        iterations = 0.0;
        bool any = false;
        for (int32_t j = 0; j < tests; ++j) {
          iterations += made[j];
          any = any || passed[j] != 0;
        }
        return any;
      },
      steps, meanIterations);
  cpuSeconds = tintara::cpuSeconds(processorMilliseconds() - start);
  meanIterations = meanIterations / (static_cast<double>(steps) * tests);
}

int runChromatic(const RunSettings& s) {
  int32_t steps = -1;
  double meanIterations = -1.0;
  double cpu = 1.0;
  int32_t chromatic = -1;
  std::cout << s.problem << " #bin E(T) CPU Chrom# " << std::flush;
  ensureWritten(std::cout);
  findChromaticNumber(s, steps, meanIterations, cpu, chromatic);
  std::cout << steps << " " << meanIterations << " " << cpu << " " << chromatic << std::endl;
  ensureWritten(std::cout);
  return 0;
}

}  // namespace tintara
