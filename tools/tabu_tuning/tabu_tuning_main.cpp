// tabu_tuning: the measurements behind --move tabu's constants and search
// (not part of the program). Every run is single-threaded and seeded; the
// figures it prints are counts and thread CPU seconds, not wall time.
//
//   tabu_tuning search FILE [key=value ...]
//       one chromatic search per seed from the program's greedy bounds:
//       seed=S colors=C tests=T iterations=I cpu=X path=Y, where cpu is the
//       thread CPU seconds of all tests and path the sum over steps of the
//       dearest test's: the wall time of T tests a step on T free cores
//   tabu_tuning window FILE K [key=value ...]
//       one colourability test per seed at K colours, the adaptive run
//       written out here with a stagnation window of `window` candidates
//       (7 is the program's): seed=S passed=0|1 iterations=I
//       last_rise=J (the iteration whose candidate was the last new one)
//       longest_flat=F (the most iterations in a row whose candidate
//       repeated the one before: the window ends a test at F = window - 1)
//
// Keys: move=gibbs|tabu (tabu), walk=L, pv=P (a walk of L + P n steps),
// base=B, spread=A, lambda=X (the tabu walk's settings, default the
// program's), N=1000, rho=0.2, seeds=1-5 (a range or one number),
// search=bisection|descent (as the program: descent for tabu, bisection
// for gibbs), tests=1 (T, the tests a step), plan=same|spread (a step's T
// tests at one k, or at k, k - 1, ... as the program's StepColors; default
// the program's), window=7.
//
// `descent` tests hi - 1, hi - 2, ... from DSATUR's d until a test fails,
// taking hi from the colours each passing colouring uses (the program's
// search with --move tabu); `bisection` is its search with --move gibbs.
// Test j of step s draws from stream (s, j) of the seed, as the program's
// run on T workers does.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "coloring/compact_colors.h"
#include "graph/graph_reader.h"
#include "process/cpu_clock.h"
#include "process/memory_limit.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/chromatic_search.h"
#include "splitting/experiment_runs.h"
#include "splitting/population.h"

using namespace tintara;

namespace {

struct Options {
  ChainMove move{MoveKind::Tabu, defaultTabuSettings()};
  int32_t N = 1000;
  double rho = 0.2;
  uint64_t firstSeed = 1;
  uint64_t lastSeed = 5;
  std::optional<bool> descent;  // as the program: descent for tabu
  std::optional<bool> spread;   // as the program: spread for tabu
  int32_t tests = 1;
  std::size_t window = 7;
};

Options parseOptions(int argc, char** argv, int first) {
  Options o;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos) throw std::invalid_argument("not key=value: " + arg);
    const std::string key = arg.substr(0, eq);
    const std::string value = arg.substr(eq + 1);
    if (key == "move") {
      o.move.kind = parseMove(value).value();
    } else if (key == "walk") {
      o.move.tabu.walkSteps = std::stoi(value);
    } else if (key == "pv") {
      o.move.tabu.stepsPerVertex = std::stoi(value);
    } else if (key == "tests") {
      o.tests = std::stoi(value);
    } else if (key == "plan") {
      o.spread = value == "spread";
    } else if (key == "base") {
      o.move.tabu.tenureBase = std::stoi(value);
    } else if (key == "spread") {
      o.move.tabu.tenureSpread = std::stoi(value);
    } else if (key == "lambda") {
      o.move.tabu.tenurePerConflict = std::stod(value);
    } else if (key == "N") {
      o.N = std::stoi(value);
    } else if (key == "rho") {
      o.rho = std::stod(value);
    } else if (key == "seeds") {
      const std::size_t dash = value.find('-');
      o.firstSeed = std::stoull(value.substr(0, dash));
      o.lastSeed = dash == std::string::npos ? o.firstSeed : std::stoull(value.substr(dash + 1));
    } else if (key == "search") {
      o.descent = value == "descent";
    } else if (key == "window") {
      o.window = std::stoul(value);
    } else {
      throw std::invalid_argument("unknown key: " + key);
    }
  }
  return o;
}

struct TestResult {
  bool passed = false;
  int64_t iterations = 0;
  int64_t lastRise = 0;
  int64_t longestFlat = 0;  // the most iterations in a row whose candidate repeated the last
  std::vector<int32_t> coloring;
};

// adaptiveRun's loop with a stagnation window of `window` candidates.
TestResult windowedTest(const Graph& graph, const Options& o, int32_t k, StreamId stream) {
  RandomSource random(stream);
  const int32_t m = candidateIndex(o.N, o.rho);
  Population population;
  createPopulation(population, graph, random, o.N, k);
  double level = -graph.vertexCount;
  std::vector<double> candidates{level};
  std::vector<int32_t> factors;
  ChainWorkspace workspace;
  TestResult result;
  for (;;) {
    const std::size_t c = candidates.size();
    if (c >= o.window) {
      bool flat = true;
      for (std::size_t i = c - o.window + 1; i < c; ++i)
        flat = flat && candidates[i] == candidates[c - o.window];
      if (flat) return result;
    }
    ++result.iterations;
    sortByScore(population);
    const double candidate = population[m].score;
    const std::size_t elites = selectElitesAdaptive(population, o.N, level, candidate);
    if (candidate != candidates.back()) {
      result.lastRise = result.iterations;
    } else {
      result.longestFlat = std::max(result.longestFlat, result.iterations - result.lastRise);
    }
    candidates.push_back(candidate);
    if (level >= 0) {
      result.passed = true;
      result.coloring = population[0].vertexColors;
      return result;
    }
    splittingFactors(elites, o.N, random, factors);
    regenerate(population, elites, factors, level, o.move, workspace);
  }
}

int search(const Graph& graph, const Options& o) {
  for (uint64_t seed = o.firstSeed; seed <= o.lastSeed; ++seed) {
    const int64_t start = threadMilliseconds();
    int32_t tests = 0;
    double iterations = 0;
    int64_t path = 0;
    SearchStart begin = greedyStart(graph);
    begin.interval.descend = o.descent.value_or(o.move.kind == MoveKind::Tabu);
    begin.spread = o.spread.value_or(o.move.kind == MoveKind::Tabu);
    const auto step = [&](int32_t s, const StepColors& colors) {
      std::vector<ColorabilityOutcome> outcomes;
      int64_t dearest = 0;
      for (int32_t j = 0; j < o.tests; ++j) {
        ++tests;
        const int64_t testStart = threadMilliseconds();
        const int32_t k = colors.forTest(j);
        TestResult r = windowedTest(graph, o, k, StreamId{seed, colorabilityStream(s, j)});
        iterations += static_cast<double>(r.iterations);
        ColorabilityOutcome out;
        out.passed = r.passed;
        out.colors = k;
        out.failedBelow = r.passed ? 0 : k;
        out.iterations = static_cast<double>(r.iterations);
        out.coloring = std::move(r.coloring);
        outcomes.push_back(std::move(out));
        dearest = std::max(dearest, threadMilliseconds() - testStart);
      }
      path += dearest;
      return std::optional<ColorabilityOutcome>(combineTests(std::move(outcomes)));
    };
    const ChromaticOutcome outcome = chromaticSearch(begin, step);
    const int32_t colors = outcome.chromatic;
    std::cout << "seed=" << seed << " colors=" << colors << " tests=" << tests
              << " iterations=" << iterations << " cpu=" << cpuSeconds(threadMilliseconds() - start)
              << " path=" << cpuSeconds(path) << std::endl;
  }
  return 0;
}

int window(const Graph& graph, int32_t k, const Options& o) {
  for (uint64_t seed = o.firstSeed; seed <= o.lastSeed; ++seed) {
    const int64_t start = threadMilliseconds();
    const TestResult r = windowedTest(graph, o, k, StreamId{seed, colorabilityStream(1, 0)});
    std::cout << "seed=" << seed << " passed=" << r.passed << " iterations=" << r.iterations
              << " last_rise=" << r.lastRise << " longest_flat=" << r.longestFlat
              << " cpu=" << cpuSeconds(threadMilliseconds() - start) << std::endl;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 3) throw std::invalid_argument("usage: tabu_tuning search|window FILE ...");
    const std::string command = argv[1];
    const Graph graph = readGraph(argv[2], usableMemoryBytes());
    if (command == "search") return search(graph, parseOptions(argc, argv, 3));
    if (command == "window" && argc >= 4) {
      return window(graph, std::atoi(argv[3]), parseOptions(argc, argv, 4));
    }
    throw std::invalid_argument("usage: tabu_tuning search|window FILE ...");
  } catch (const std::exception& e) {
    std::cerr << "tabu_tuning: " << e.what() << std::endl;
    return 1;
  }
}
