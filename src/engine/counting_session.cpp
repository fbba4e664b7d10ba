#include "engine/counting_session.h"

#include <limits>
#include <optional>
#include <vector>

#include "engine/journal.h"
#include "graph/graph_hash.h"
#include "process/failures.h"

namespace tintara {

namespace {

int64_t runLimit(const CountingPlan& plan) {
  return plan.maxRuns > 0 ? plan.maxRuns : std::numeric_limits<int64_t>::max();
}

// The journal named by the plan, read and checked against this experiment,
// its notes told. A journal that may not be written is refused unless its
// runs already end the experiment.
std::optional<Journal> openJournal(const CountingPlan& plan, const Graph& graph,
                                   const JournalHeader& here, const CountingEvents& events) {
  if (plan.journal.empty()) return std::nullopt;
  Journal journal = Journal::openFor(plan.journal, here, plan.seedGiven, {&graph});
  if (events.note) {
    for (const std::string& note : journal.notes()) events.note(note);
  }
  if (!journal.writable() &&
      (!journal.contents() || !recordedRunsEnd(journal.contents()->runs, plan.terr, runLimit(plan)))) {
    throw InputError(journal.writeFailure());
  }
  return journal;
}

// The levels and the pilot's colouring: the journal's, or a new pilot
// run's. False when the pilot halted or stagnated (outcome.end says which).
bool fixLevels(const Graph& graph, const CountingPlan& plan, const Halt& halt,
               const CountingEvents& events, const JournalContents* recorded,
               CountingOutcome& outcome) {
  if (recorded) {
    outcome.pilot.levels = recorded->header.parts.front().levels;
    outcome.pilot.coloring = recorded->header.parts.front().coloring;
    outcome.journalledRuns = static_cast<int64_t>(recorded->runs.size());
    return true;
  }
  outcome.pilot = pilotRun(graph, plan.parameters, events.pilotLevel, [&halt] { return halt(); });
  if (outcome.pilot.stopped) {
    outcome.end = CountingEnd::PilotHalted;
    outcome.cause = halt.cause();
    return false;
  }
  if (!outcome.pilot.reachedProperColoring()) {
    outcome.end = CountingEnd::PilotStagnated;
    return false;
  }
  return true;
}

// The runs, the journal's first and then new ones (each recorded in the
// journal before it is taken), until the experiment ends; `concluded` is
// told once.
void takeRuns(const Graph& graph, const CountingPlan& plan, const RunExecutor& executor,
              const Halt& halt, const CountingEvents& events, Journal* journal,
              const JournalContents* recorded, CountingOutcome& outcome) {
  bool concluded = false;
  const auto conclude = [&](CountingEnd end, HaltCause cause) {
    if (concluded) return;
    concluded = true;
    outcome.end = end;
    outcome.cause = cause;
    if (journal) journal->finish();
    if (events.concluded) events.concluded(outcome);
  };
  // A halt concludes at once, before the runs under way are waited for;
  // while they are waited for, the journal's last lines reach the disk.
  const BatchControl control{[&halt] { return halt(); },
                             [&] { conclude(CountingEnd::Halted, halt.cause()); },
                             [journal] {
                               if (journal) journal->syncIfDue();
                             }};
  const std::vector<CountingRun> noRuns;
  const auto source = [&](int64_t first, int64_t last, const RunConsumer<CountingRun>& consume) {
    return journalledRuns(recorded ? recorded->runs : noRuns, journal, RunRange{first, last},
                          consume,
                          [&](RunRange range, const RunConsumer<CountingRun>& fresh) {
                            return executor.countingRuns(plan.parameters, graph,
                                                         outcome.pilot.levels, range, fresh,
                                                         control);
                          })
        .halted;
  };
  const ExperimentEnd end =
      runToTarget(outcome.tally, plan.terr, runLimit(plan), source, [&](const RunRecord& run) {
        if (events.run) events.run(run, outcome.tally);
      });
  switch (end) {
    case ExperimentEnd::TargetMet:
      conclude(CountingEnd::TargetMet, HaltCause::None);
      break;
    case ExperimentEnd::RunBudget:
      conclude(CountingEnd::RunBudget, HaltCause::None);
      break;
    case ExperimentEnd::Halted:  // already concluded by the batch, as the halt came
      conclude(CountingEnd::Halted, halt.cause());
      break;
  }
}

}  // namespace

CountingOutcome runCountingExperiment(const Graph& graph, const CountingPlan& plan,
                                      const RunExecutor& executor, const Halt& halt,
                                      const CountingEvents& events) {
  const RunParameters& parameters = plan.parameters;
  JournalHeader here{graphHash(graph), parameters.colors, parameters.N, parameters.rho,
                     parameters.seed,  false,             {}};
  std::optional<Journal> journal = openJournal(plan, graph, here, events);
  // The runs the journal holds: none for a new journal, or without one.
  const JournalContents* recorded =
      journal && journal->contents() ? &*journal->contents() : nullptr;

  CountingOutcome outcome;
  if (!fixLevels(graph, plan, halt, events, recorded, outcome)) return outcome;
  if (events.levelsFixed) events.levelsFixed(outcome.pilot.levels, outcome.journalledRuns);
  if (journal && !recorded) {
    here.parts = {JournalPart{outcome.pilot.levels, outcome.pilot.coloring}};
    journal->start(here);
  }
  takeRuns(graph, plan, executor, halt, events, journal ? &*journal : nullptr, recorded, outcome);
  return outcome;
}

}  // namespace tintara
