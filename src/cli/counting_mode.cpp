#include "cli/counting_mode.h"

#include <iostream>
#include <optional>
#include <string>

#include "cli/cpu_clock.h"
#include "cli/output_check.h"
#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "graph/self_loop.h"
#include "random/random_source.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/estimate_list.h"
#include "splitting/estimation.h"
#include "splitting/parallel_runs.h"

namespace tintara {

namespace {

const std::string kStarLine(79, '*');

// The pilot draws from stream 0 of the seed, fixed-level run i from stream i.
constexpr uint64_t kPilotStream = 0;

struct RunResult {
  WideDouble estimate;
  int64_t cpuMilliseconds = 0;
};

}  // namespace

int runCounting(const RunSettings& s) {
  std::ostream& out = std::cout;
  out << kStarLine << std::endl;
  out << "Starting  experiments for " << s.problem << " using N=" << s.N << ", rho=" << s.rho
      << " and target relative error=" << s.terr << std::endl;
  out << kStarLine << std::endl << kStarLine << std::endl;
  out << "Iteration #  |  iteration estimator | average estimator   |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);

  const uint64_t usable = usableMemoryBytes();
  const Graph graph = readGraph(s.problem, usable, [&](int32_t n, int64_t edges) {
    checkRunMemory(n, edges, s.N, s.workers, usable);
  });
  refuseSelfLoops(graph);

  LevelList levels;
  {
    RandomSource pilotRandom(StreamId{s.seed, kPilotStream});
    levels = buildLevels(graph, pilotRandom, s.N, s.rho, s.colors);
  }
  if (levels.back() < 0) {
    out << "The pilot run stagnated at level " << levels.back()
        << " without reaching a proper coloring with " << s.colors
        << " colors, so no estimate is made" << std::endl;
    ensureWritten(out);
    return 1;
  }

  out << kStarLine << std::endl;
  out << "# LEVELS = " << levels.size() << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);

  // The seed entry 0.0 keeps a first estimate from ending the loop at once;
  // it counts in the mean and the relative error like a real estimate.
  EstimateList estimates{WideDouble(0)};
  double totalCpu = 0.0;
  runInOrder<RunResult>(
      s.workers,
      [&](int64_t run, const std::function<bool()>& abandoned) -> std::optional<RunResult> {
        const int64_t t0 = threadMilliseconds();
        RandomSource random(StreamId{s.seed, static_cast<uint64_t>(run)});
        std::optional<WideDouble> v =
            estimateAtLevelsUnlessAbandoned(levels, graph, random, s.N, s.colors, abandoned);
        if (!v) return std::nullopt;
        return RunResult{std::move(*v), threadMilliseconds() - t0};
      },
      [&](int64_t run, RunResult&& result) {
        estimates.push_back(result.estimate);
        const double cpu = cpuSeconds(result.cpuMilliseconds);
        totalCpu += cpu;
        const double u = relativeError(estimates);
        out << run << " ";
        writeNumber(out, result.estimate);
        out << " ";
        writeNumber(out, meanOf(estimates));
        out << " " << u << " " << cpu << std::endl;
        ensureWritten(out);
        // The pilot reached a proper colouring, so the probability is not 0:
        // while every estimate so far is 0 the relative error is not a
        // number, and the runs go on.
        return !(u <= s.terr);
      });

  out << kStarLine << std::endl;
  out << "**********************    Result Summary    ***********************************"
      << std::endl;
  out << "estimator  |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  writeNumber(out, meanOf(estimates));
  out << " " << relativeError(estimates) << " " << totalCpu << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);
  return 0;
}

}  // namespace tintara
