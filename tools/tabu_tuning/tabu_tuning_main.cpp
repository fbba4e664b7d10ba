// tabu_tuning: the measurements behind --move tabu's constants and search
// (not part of the program). Every run is single-threaded and seeded; the
// figures it prints are counts and thread CPU seconds, not wall time.
//
//   tabu_tuning search FILE [key=value ...]
//       one chromatic search per seed from the program's greedy bounds:
//       seed=S colors=C tests=T iterations=I cpu=X path=Y to_best=Z
//       doublings=D steps=..., where cpu is the thread CPU seconds of all
//       tests, path the sum over steps of the dearest test's (the wall
//       time of T tests a step on T free cores), to_best the CPU seconds
//       when the final colours were reached, doublings the walk doublings
//       of all tests, and steps each step as hi@cpu (the colours known
//       after it, and the CPU seconds so far)
//   tabu_tuning test FILE K [key=value ...]
//       one colourability test per seed at K colours as the program makes
//       it (stream (1, 0) of the seed): seed=S passed=0|1 iterations=I
//       doublings=D cpu=X
//   tabu_tuning window FILE K [key=value ...]
//       one colourability test per seed at K colours, the adaptive run
//       written out here with a stagnation window of `window` candidates
//       (7 is the program's): seed=S passed=0|1 iterations=I
//       last_rise=J (the iteration whose candidate was the last new one)
//       longest_flat=F (the most iterations in a row whose candidate
//       repeated the one before: the window ends a test at F = window - 1)
//
// Keys: move=gibbs|tabu (tabu), doublings=D (the times a test that would
// stagnate doubles its walks), halve=0|1 (halve the population with each
// doubling), crossover=none|gpx, children=C (children a regrowth makes per
// 1000 samples; each default the program's), cap=S (stop a search after S
// CPU seconds, at the end of a step, as --max-time would; 0 none),
// confirm=0|1 (a descent ends only at two failures in a row; default the
// program's),
// walk=L, pv=P (a walk of L + P n steps),
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
#include <sstream>
#include <string>
#include <vector>

#include "coloring/compact_colors.h"
#include "graph/graph_reader.h"
#include "process/cpu_clock.h"
#include "process/memory_limit.h"
#include "splitting/adaptive_splitting.h"
#include "splitting/chromatic_search.h"
#include "splitting/experiment_runs.h"
#include "splitting/level_window.h"
#include "splitting/population.h"

using namespace tintara;

namespace {

struct Options {
  ChainMove move = testMove(MoveKind::Tabu, Crossover::None, 1000);
  std::optional<int32_t> doublings;  // the program's for N unless given
  double cap = 0.0;
  int32_t N = 1000;
  double rho = 0.2;
  uint64_t firstSeed = 1;
  uint64_t lastSeed = 5;
  std::optional<bool> descent;  // as the program: descent for tabu
  std::optional<bool> spread;   // as the program: spread for tabu
  std::optional<bool> confirm;  // as the program: a tabu descent confirms its failures
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
    } else if (key == "doublings") {
      o.doublings = std::stoi(value);
    } else if (key == "halve") {
      o.move.halvePopulation = value == "1";
    } else if (key == "crossover") {
      o.move.crossover = parseCrossover(value).value();
      if (o.move.crossover == Crossover::Gpx && o.move.childrenPerThousand == 0) {
        o.move.childrenPerThousand = kChildrenPerThousand;
      }
    } else if (key == "children") {
      o.move.childrenPerThousand = std::stoi(value);
    } else if (key == "confirm") {
      o.confirm = value == "1";
    } else if (key == "cap") {
      o.cap = std::stod(value);
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
  const ChainMove program = testMove(o.move.kind, Crossover::None, o.N);
  o.move.walkDoublings = o.doublings.value_or(program.walkDoublings);
  o.move.halvePopulation = o.move.halvePopulation && o.move.kind == MoveKind::Tabu;
  return o;
}

struct TestResult {
  bool passed = false;
  int64_t iterations = 0;
  int64_t lastRise = 0;
  int64_t longestFlat = 0;  // the most iterations in a row whose candidate repeated the last
  double lastLevel = 0.0;
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

// A test as the program makes it (adaptiveRun with the options' move),
// unless the window differs from the program's.
TestResult programTest(const Graph& graph, const Options& o, int32_t k, StreamId stream,
                       int64_t& doublings) {
  if (o.window != LevelWindow::kCapacity) return windowedTest(graph, o, k, stream);
  RandomSource random(stream);
  TestResult result;
  const AdaptiveRun run =
      adaptiveRun(graph, random, o.N, o.rho, k, &result.coloring, {}, {}, o.move);
  result.passed = run.reachedProperColoring;
  result.iterations = run.iterations;
  result.lastLevel = run.levels.back();
  doublings += run.walkDoublings;
  return result;
}

int search(const Graph& graph, const Options& o) {
  for (uint64_t seed = o.firstSeed; seed <= o.lastSeed; ++seed) {
    const int64_t start = threadMilliseconds();
    int32_t tests = 0;
    double iterations = 0;
    int64_t path = 0;
    int64_t doublings = 0;
    int32_t best = 0;
    int64_t toBest = 0;
    std::string trace;
    SearchStart begin = greedyStart(graph);
    if (o.move.kind == MoveKind::Tabu) useTabuDescent(begin);
    begin.interval.descend = o.descent.value_or(begin.interval.descend);
    begin.interval.confirm = o.confirm.value_or(begin.interval.confirm) && begin.interval.descend;
    begin.spread = o.spread.value_or(begin.spread);
    const auto step = [&](int32_t s, const StepColors& colors) {
      if (o.cap > 0 && cpuSeconds(threadMilliseconds() - start) >= o.cap) {
        return std::optional<ColorabilityOutcome>();
      }
      std::vector<ColorabilityOutcome> outcomes;
      int64_t dearest = 0;
      for (int32_t j = 0; j < o.tests; ++j) {
        ++tests;
        const int64_t testStart = threadMilliseconds();
        const int32_t k = colors.forTest(j);
        TestResult r =
            programTest(graph, o, k, StreamId{seed, colorabilityStream(s, j)}, doublings);
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
    best = begin.interval.hi;
    const auto stepDone = [&](const SearchStep& done) {
      const int64_t now = threadMilliseconds() - start;
      if (done.colors < best) {
        best = done.colors;
        toBest = now;
      }
      std::ostringstream entry;
      entry << (trace.empty() ? "" : ",") << done.colors << "@" << cpuSeconds(now);
      trace += entry.str();
    };
    const ChromaticOutcome outcome = chromaticSearch(begin, step, {}, stepDone);
    const int32_t colors = outcome.chromatic;
    std::cout << "seed=" << seed << " colors=" << colors << " tests=" << tests
              << " iterations=" << iterations << " cpu=" << cpuSeconds(threadMilliseconds() - start)
              << " path=" << cpuSeconds(path) << " to_best=" << cpuSeconds(toBest)
              << " doublings=" << doublings << (outcome.stopped ? " capped=1" : "")
              << " steps=" << trace << std::endl;
  }
  return 0;
}

int test(const Graph& graph, int32_t k, const Options& o) {
  for (uint64_t seed = o.firstSeed; seed <= o.lastSeed; ++seed) {
    const int64_t start = threadMilliseconds();
    int64_t doublings = 0;
    const TestResult r =
        programTest(graph, o, k, StreamId{seed, colorabilityStream(1, 0)}, doublings);
    std::cout << "seed=" << seed << " passed=" << r.passed << " iterations=" << r.iterations
              << " doublings=" << doublings << " last_level=" << r.lastLevel
              << " cpu=" << cpuSeconds(threadMilliseconds() - start) << std::endl;
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
    if (argc < 3) throw std::invalid_argument("usage: tabu_tuning search|test|window FILE ...");
    const std::string command = argv[1];
    const Graph graph = readGraph(argv[2], usableMemoryBytes());
    if (command == "search") return search(graph, parseOptions(argc, argv, 3));
    if (command == "test" && argc >= 4) {
      return test(graph, std::atoi(argv[3]), parseOptions(argc, argv, 4));
    }
    if (command == "window" && argc >= 4) {
      return window(graph, std::atoi(argv[3]), parseOptions(argc, argv, 4));
    }
    throw std::invalid_argument("usage: tabu_tuning search|test|window FILE ...");
  } catch (const std::exception& e) {
    std::cerr << "tabu_tuning: " << e.what() << std::endl;
    return 1;
  }
}
