#include "cli/counting_mode.h"

#include <cmath>
#include <iostream>
#include <limits>
#include <string>

#include "cli/cpu_clock.h"
#include "cli/settings.h"
#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/estimation.h"

namespace tintara {

namespace {

const std::string kStarLine(79, '*');

double mean(const std::vector<double>& values) {
  double sum = 0.0;
  for (double x : values) sum += x;
  return sum / static_cast<double>(values.size());
}

}  // namespace

double relativeError(const std::vector<double>& values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const double n = static_cast<double>(values.size());
  const double m = mean(values);
  double squares = 0.0;
  for (double x : values) squares += (x - m) * (x - m);
  const double s = std::sqrt(squares / n);
  return s / (std::fabs(m) * std::sqrt(n));
}

int runCounting(const std::string& problem, int32_t N, double rho, double terr, int32_t k) {
  std::ostream& out = std::cout;
  out << kStarLine << std::endl;
  out << "Starting  experiments for " << problem << " using N=" << N << ", rho=" << rho
      << " and target relative error=" << terr << std::endl;
  out << kStarLine << std::endl << kStarLine << std::endl;
  out << "Iteration #  |  iteration estimator | average estimator   |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;

  RandomSource random;
  const uint64_t usable = usableMemoryBytes();
  const Graph graph = readGraph(problem, usable, [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, N, 1, usable);
  });
  const LevelList levels = buildLevels(graph, random, N, rho, k);
  if (levels.back() < 0) {
    out << "The pilot run stagnated at level " << levels.back()
        << " without reaching a proper coloring with " << k << " colors, so no estimate is made"
        << std::endl;
    return 1;
  }

  out << kStarLine << std::endl;
  out << "# LEVELS = " << levels.size() << std::endl;
  out << kStarLine << std::endl;

  // The seed entry 0.0 keeps a first estimate from ending the loop at once;
  // it counts in the mean and the relative error like a real estimate.
  std::vector<double> estimates{0.0};
  double u = 1.0;
  int32_t run = 0;
  double totalCpu = 0.0;
  while (u > terr) {
    ++run;
    const int64_t t0 = processorMilliseconds();
    const double v = estimateAtLevels(levels, graph, random, N, k);
    estimates.push_back(v);
    const int64_t t1 = processorMilliseconds();
    const double cpu = cpuSeconds(t1 - t0);
    totalCpu += cpu;
    u = relativeError(estimates);
    out << run << " " << v << " " << mean(estimates) << " " << u << " " << cpu << std::endl;
  }

  out << kStarLine << std::endl;
  out << "**********************    Result Summary    ***********************************"
      << std::endl;
  out << "estimator  |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  out << mean(estimates) << " " << relativeError(estimates) << " " << totalCpu << std::endl;
  out << kStarLine << std::endl;
  return 0;
}

}  // namespace tintara
