// A stop asked for by the code that started the work (Halt::stoppedBy), as
// the Python module asks on Ctrl-C where no handler of the program's is
// installed: set from another thread while the engine's threads run, it
// ends the pilot, the runs and the chromatic search as SIGINT does, and
// leaves the process's signal state alone. Run under ThreadSanitizer too
// (Makefile: test-threads).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/chromatic_mode.h"
#include "cli/settings.h"
#include "engine/counting_session.h"
#include "engine/run_executor.h"
#include "process/halt.h"
#include "support/graphs.h"

namespace tintara {
namespace {

// A stop asked for from a thread of its own: once the work tells it is
// under way (reached(), called on the work's thread), the other thread sets
// the request, and reached() returns only then, so that the work's next
// look at its halt sees it.
class StopFromAnotherThread {
 public:
  StopFromAnotherThread()
      : stopper([this] {
          while (!ready.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          request.store(true);
        }) {}
  ~StopFromAnotherThread() { stopper.join(); }

  void reached() {
    ready.store(true);
    while (!request.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Halt halt() const { return Halt().stoppedBy(request); }

 private:
  std::atomic<bool> ready{false};
  std::atomic<bool> request{false};
  std::thread stopper;
};

// A target far out of reach: only the stop ends the runs, or, should the
// stop be missed, `maxRuns`, so that the test fails rather than runs on.
CountingPlan endlessPlan(int32_t N, int32_t workers, int64_t maxRuns) {
  CountingPlan plan;
  plan.parameters = RunParameters{N, 0.2, 3, 1, workers};
  plan.terr = 1e-6;
  plan.maxRuns = maxRuns;
  return plan;
}

TEST(StopSignals, ACallersRequestEndsThreadedRunsAsAnInterrupt) {
  const Graph graph = testing::petersenGraph();
  StopFromAnotherThread stop;
  CountingEvents events;
  events.run = [&stop](const RunRecord& record, const EstimateTally&) {
    if (record.run == 5) stop.reached();
  };
  const CountingOutcome outcome =
      runCountingExperiment(graph, endlessPlan(50, 2, 2000), threadExecutor(), stop.halt(), events);
  EXPECT_EQ(outcome.end, CountingEnd::Halted);
  EXPECT_EQ(outcome.cause, HaltCause::Interrupted);
  EXPECT_GE(outcome.tally.runs(), 5);
  EXPECT_EQ(stopSignalReceived(), 0);
}

TEST(StopSignals, ACallersRequestEndsAPilotRun) {
  const Graph graph = testing::gridGraph(30, 30);
  StopFromAnotherThread stop;
  CountingEvents events;
  events.pilotLevel = [&stop, first = true](int32_t, int32_t, double) mutable {
    if (first) stop.reached();
    first = false;
  };
  const CountingOutcome outcome =
      runCountingExperiment(graph, endlessPlan(500, 2, 1), threadExecutor(), stop.halt(), events);
  EXPECT_EQ(outcome.end, CountingEnd::PilotHalted);
  EXPECT_EQ(outcome.cause, HaltCause::Interrupted);
}

TEST(StopSignals, ACallersRequestEndsAChromaticSearchWithAnUpperBound) {
  // Chromatic number 4 and a clique of 2: the search has a step to make.
  const Graph graph = testing::groetzschGraph();
  RunSettings settings;
  settings.chrom = 1;
  settings.seed = 3;
  settings.workers = 2;
  StopFromAnotherThread stop;
  const ChromaticRun run = searchChromatic(
      settings, graph, threadExecutor(), stop.halt(),
      [&stop](int32_t, int32_t, int32_t) { stop.reached(); }, {}, 0);
  EXPECT_TRUE(run.search.stopped);
  EXPECT_EQ(run.search.steps, 0);
  EXPECT_EQ(run.cause, HaltCause::Interrupted);
  EXPECT_EQ(stopSignalReceived(), 0);
}

}  // namespace
}  // namespace tintara
