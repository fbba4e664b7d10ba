#include "engine/counting_session.h"

#include <limits>
#include <optional>
#include <vector>

#include "engine/journal.h"
#include "graph/graph_hash.h"
#include "process/cpu_clock.h"
#include "process/failures.h"

namespace tintara {

std::size_t CountingOutcome::levelCount() const {
  std::size_t count = 0;
  for (const LevelList& part : levels) count += part.size();
  return count;
}

namespace {

int64_t runLimit(const CountingPlan& plan) {
  return plan.maxRuns > 0 ? plan.maxRuns : std::numeric_limits<int64_t>::max();
}

// What the runs work on: the whole graph as one part, or the plan's hard
// parts and exact factor. The levels come once the pilots have fixed them.
struct Parts {
  std::optional<PartsPlan> plan;  // with --decompose
  CountingWork work;
  // What a journal's parts are checked against: each part's block (its
  // pilot colouring is the block's) and its ladder's first entry.
  std::vector<JournalPartCheck> checks() const {
    std::vector<JournalPartCheck> list;
    for (const CountingPart& part : work.parts) {
      list.push_back(JournalPartCheck{part.graph, part.startLevel()});
    }
    return list;
  }
  // A tally of no run, in the convention the report uses.
  EstimateTally emptyTally() const {
    return work.multiplyMeans ? EstimateTally(work.parts.size(), work.exactFactor)
                              : EstimateTally();
  }
};

// The journal named by the plan, read and checked against this experiment,
// its notes told. A journal that may not be written is refused unless its
// runs already end the experiment.
std::optional<Journal> openJournal(const CountingPlan& plan, const Parts& parts,
                                   const JournalHeader& here, const CountingEvents& events) {
  if (plan.journal.empty()) return std::nullopt;
  Journal journal = Journal::openFor(plan.journal, here, plan.seedGiven, parts.checks());
  if (events.note) {
    for (const std::string& note : journal.notes()) events.note(note);
  }
  if (!journal.writable() && !parts.work.parts.empty() &&
      (!journal.contents() ||
       !recordedRunsEnd(parts.emptyTally(), journal.contents()->runs, plan.terr, runLimit(plan)))) {
    throw InputError(journal.writeFailure());
  }
  return journal;
}

// The levels and the pilots' colourings of every part: the journal's, or
// new pilot runs' (part p's on stream (0, p)). False when a pilot halted
// or stagnated (outcome.end says which).
bool fixLevels(const CountingPlan& plan, const Halt& halt, const CountingEvents& events,
               const JournalContents* recorded, Parts& parts,
               std::vector<std::vector<int32_t>>& colorings, CountingOutcome& outcome) {
  const auto count = static_cast<int32_t>(parts.work.parts.size());
  if (recorded) {
    for (int32_t p = 0; p < count; ++p) {
      parts.work.parts[p].levels = recorded->header.parts[p].levels;
      colorings.push_back(recorded->header.parts[p].coloring);
    }
    outcome.journalledRuns = static_cast<int64_t>(recorded->runs.size());
    return true;
  }
  for (int32_t p = 0; p < count; ++p) {
    LevelObserver observer;
    if (events.pilotLevel) {
      observer = [&events, p, count](double level) { events.pilotLevel(p, count, level); };
    }
    PilotOutcome pilot = pilotRun(parts.work.parts[p], plan.parameters, static_cast<uint32_t>(p),
                                  observer, [&halt] { return halt(); });
    outcome.levels.push_back(pilot.levels);
    if (pilot.stopped) {
      outcome.end = CountingEnd::PilotHalted;
      outcome.cause = halt.cause();
      return false;
    }
    if (!pilot.reachedProperColoring()) {
      outcome.end = CountingEnd::PilotStagnated;
      return false;
    }
    parts.work.parts[p].levels = std::move(pilot.levels);
    // A kernel's state is completed to its block's colouring, which the
    // journal and the saved colouring hold.
    colorings.push_back(parts.plan ? partBlockColoring(parts.plan->hardParts[p], pilot.coloring)
                                   : std::move(pilot.coloring));
  }
  outcome.levels.clear();
  return true;
}

// The runs, the journal's first and then new ones (each recorded in the
// journal before it is taken), until the experiment ends; `concluded` is
// told once.
void takeRuns(const CountingPlan& plan, const RunExecutor& executor, const Halt& halt,
              const CountingEvents& events, const CountingWork& work, Journal* journal,
              const JournalContents* recorded, CountingOutcome& outcome) {
  bool concluded = false;
  const auto conclude = [&](CountingEnd end, HaltCause cause) {
    if (concluded) return;
    concluded = true;
    outcome.end = end;
    outcome.cause = cause;
    // A halt prints the summary first: a stopped job may be killed a moment
    // later (mpirun's SIGKILL, a second after its SIGTERM), and an fsync on a
    // busy disk can outlast that. The lines are written already; only their
    // sync follows. An experiment that ended by itself is synced first, so
    // its summary never precedes a journal that failed to reach the disk.
    if (end == CountingEnd::Halted) {
      if (events.concluded) events.concluded(outcome);
      if (journal) journal->finish();
      return;
    }
    if (journal) journal->finish();
    if (events.concluded) events.concluded(outcome);
  };
  // A halt concludes at once, before the runs under way are waited for;
  // while they are waited for, a failed sync of the journal is told.
  const BatchControl control{[&halt] { return halt(); },
                             [&] { conclude(CountingEnd::Halted, halt.cause()); },
                             [journal] {
                               if (journal) journal->checkSynced();
                             }};
  const std::vector<CountingRun> noRuns;
  const auto source = [&](int64_t first, int64_t last, const RunConsumer<CountingRun>& consume) {
    return journalledRuns(
               recorded ? recorded->runs : noRuns, journal, RunRange{first, last}, consume,
               [&](RunRange range, const RunConsumer<CountingRun>& fresh) {
                 return executor.countingRuns(plan.parameters, work, range, fresh, control);
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

// The parts of `graph`: the whole graph, or the plan's hard parts with its
// exact factor (the plan told).
Parts partsOf(const Graph& graph, const CountingPlan& plan, const CountingEvents& events,
              CountingOutcome& outcome) {
  Parts parts;
  if (!plan.decompose) {
    parts.work.parts.push_back(CountingPart{&graph});
    return parts;
  }
  const int64_t start = threadMilliseconds();
  PartsOptions options;
  options.version = plan.partsPlanVersion;
  options.withColorings = plan.wantColoring;
  options.checkTables = plan.checkTables;
  parts.plan = planParts(graph, plan.parameters.colors, options);
  outcome.exactMilliseconds = threadMilliseconds() - start;
  PartsFound& found = outcome.partsFound.emplace();
  found.blocks = parts.plan->blocks.blockCount();
  found.exactBlocks = parts.plan->exactBlocks();
  found.exactFactor = parts.plan->exactFactor;
  found.zeroBlock = parts.plan->zeroBlock;
  for (const HardPart& hard : parts.plan->hardParts) {
    found.parts.push_back(
        PartsFound::Part{hard.graph.vertexCount, hard.byKernel() ? hard.kernel.vertexCount : 0,
                         hard.byKernel() ? static_cast<int32_t>(hard.kernel.bits.size()) : 0});
  }
  if (events.planned) events.planned(*parts.plan);
  parts.work = countingWork(*parts.plan);
  PartSize largest;
  for (const HardPart& hard : parts.plan->hardParts) {
    const PartSize size = hard.byKernel() ? PartSize{hard.kernel.vertexCount,
                                                     static_cast<int64_t>(hard.kernel.bits.size())}
                                          : PartSize{hard.graph.vertexCount, 0};
    if (size.vertices + size.bits > largest.vertices + largest.bits) largest = size;
  }
  if (!parts.work.parts.empty() && plan.checkRuns) plan.checkRuns(largest);
  return parts;
}

}  // namespace

CountingOutcome runCountingExperiment(const Graph& graph, const CountingPlan& plan,
                                      const RunExecutor& executor, const Halt& halt,
                                      const CountingEvents& events) {
  const RunParameters& parameters = plan.parameters;
  CountingOutcome outcome;
  Parts parts = partsOf(graph, plan, events, outcome);
  JournalHeader here;
  here.graphHash = graphHash(graph);
  here.colors = parameters.colors;
  here.N = parameters.N;
  here.rho = parameters.rho;
  here.seed = parameters.seed;
  here.decompose = plan.decompose;
  here.plan = plan.decompose ? plan.partsPlanVersion : 0;
  here.exactFactor = parts.work.exactFactor;
  std::optional<Journal> journal = openJournal(plan, parts, here, events);
  if (parts.work.parts.empty()) {
    // Every block exact (or one without a proper colouring): nothing to
    // run, and nothing for the journal to hold.
    outcome.end = CountingEnd::Exact;
    outcome.exactValue = parts.work.exactFactor;
    if (plan.wantColoring && outcome.exactValue != 0) {
      outcome.coloring = joinPartColorings(graph, *parts.plan, {});
    }
    return outcome;
  }
  // The runs the journal holds: none for a new journal, or without one.
  const JournalContents* recorded =
      journal && journal->contents() ? &*journal->contents() : nullptr;

  std::vector<std::vector<int32_t>> colorings;
  if (!fixLevels(plan, halt, events, recorded, parts, colorings, outcome)) return outcome;
  for (const CountingPart& part : parts.work.parts) outcome.levels.push_back(part.levels);
  if (plan.wantColoring) {
    outcome.coloring =
        parts.plan ? joinPartColorings(graph, *parts.plan, colorings) : colorings.front();
  }
  if (events.levelsFixed) events.levelsFixed(outcome);
  if (journal && !recorded) {
    for (std::size_t p = 0; p < parts.work.parts.size(); ++p) {
      here.parts.push_back(JournalPart{parts.work.parts[p].levels, colorings[p]});
    }
    journal->start(here);
  }
  outcome.tally = parts.emptyTally();
  takeRuns(plan, executor, halt, events, parts.work, journal ? &*journal : nullptr, recorded,
           outcome);
  return outcome;
}

}  // namespace tintara
