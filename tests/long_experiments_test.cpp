// Long experiments under control, through the built executable: a stop
// signal or a budget ends the work with the summary so far and a status
// that says why, and a journal lets a stopped experiment resume to the
// report an uninterrupted one prints.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/crc.hpp>

#include "engine/journal.h"
#include "process/failures.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

const std::string kPetersen = std::string(TINTARA_SOURCE_DIR "/examples/petersen.txt");

// A counting experiment of many short runs: its target takes minutes.
std::vector<std::string> longCounting(std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--problem", kPetersen, "--N",    "100",         "--seed",
                                   "4",         "--terr",  "0.0005", "--decompose", "0"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// A 60 x 60 grid: its pilot run takes far longer than a test waits.
std::string bigGrid() {
  std::ostringstream text;
  text << "p 3600\n";
  for (int r = 0; r < 60; ++r) {
    for (int c = 0; c < 60; ++c) {
      const int v = 60 * r + c;
      if (c + 1 < 60) text << "e " << v << " " << v + 1 << "\n";
      if (r + 1 < 60) text << "e " << v << " " << v + 60 << "\n";
    }
  }
  return text.str();
}

// The line standard error gets after the summary of any run.
const std::string kPlainMean =
    "plain mean of the [0-9]+ runs?: \\S+, RE \\S+ \\(the average above counts an entry 0\\.0 "
    "before the first run\\)\n";

bool hasSummary(const std::string& output) {
  return output.find("Result Summary") != std::string::npos;
}

ProcessResult runStopped(const std::vector<std::string>& args, const std::string& marker,
                         std::vector<int> signals) {
  return runAndSignal(TINTARA_BINARY, args, marker, signals);
}

TEST(StopSignals, EndTheRunsWithTheSummarySoFarAndTheSignalsStatus) {
  TempFile grid(bigGrid());
  struct Case {
    int signal;
    bool duringPilot;
    int status;
    std::string line;
  };
  const std::string interrupted =
      "interrupted after [0-9]+ runs: relative error \\S+ is above the target 0.0005\n" +
      kPlainMean;
  const Case cases[] = {
      {SIGINT, false, 130, interrupted},
      {SIGTERM, false, 143, interrupted},
      {SIGINT, true, 130, "interrupted during the pilot run\n"},
      {SIGTERM, true, 143, "interrupted during the pilot run\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = c.duringPilot
                                ? runStopped({"--problem", grid.path(), "--N", "2000", "--seed",
                                              "1", "--decompose", "0"},
                                             "Iteration #", {c.signal})
                                : runStopped(longCounting({"--workers", "2"}), "\n3 ", {c.signal});
    const std::string label = std::string(strsignal(c.signal)) + (c.duringPilot ? " pilot" : "");
    EXPECT_EQ(r.exitStatus, c.status) << label << "\n" << r.errors;
    EXPECT_TRUE(std::regex_match(r.errors, std::regex(c.line))) << label << ": " << r.errors;
    EXPECT_EQ(hasSummary(r.output), !c.duringPilot) << label;
    if (!c.duringPilot) {
      // The summary's run count is the last run line's.
      std::smatch runs;
      ASSERT_TRUE(std::regex_search(r.errors, runs, std::regex("after ([0-9]+) runs")));
      std::ostringstream lastLine;
      lastLine << '\n' << runs[1] << ' ';
      EXPECT_NE(r.output.find(lastLine.str()), std::string::npos) << label;
    }
  }
}

TEST(StopSignals, ASecondSignalOfEitherKindEndsTheProgramAtOnce) {
  // The first signal is noticed only once the graph is read, which waits for
  // standard input; the second takes the default action, whichever it is.
  for (const auto& [first, second] :
       {std::pair{SIGINT, SIGINT}, std::pair{SIGINT, SIGTERM}, std::pair{SIGTERM, SIGINT}}) {
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer's runtime defers a handler whose signal arrives during
    // the blocking read until its next intercepted call, so the handler's
    // reset of the other signal comes too late there; the kernel's own reset
    // of the signal that arrived still ends it on a second of the same kind.
    if (first != second) continue;
#endif
    const ProcessResult r = runAndSignal(TINTARA_BINARY, {"--problem", "/dev/stdin", "--seed", "1"},
                                         "Iteration #", {first, second}, "p 10\ne 0 1\n");
    EXPECT_EQ(r.signal, second) << first << " " << second << ": " << r.exitStatus << "\n"
                                << r.errors;
  }
}

TEST(Budgets, EndTheExperimentWithStatusThree) {
  struct Case {
    std::vector<std::string> args;
    std::string line;
  };
  const std::vector<Case> cases = {
      {longCounting({"--max-runs", "7", "--workers", "3"}),
       "stopped by --max-runs after 7 runs: relative error \\S+ is above the target 0.0005\n" +
           kPlainMean},
      {longCounting({"--max-time", "1"}),
       "stopped by --max-time after [0-9]+ runs: relative error \\S+ is above the target "
       "0.0005\n" +
           kPlainMean},
      {{"--problem", kPetersen, "--chrom", "1", "--N", "200000", "--seed", "2", "--max-time",
        "0.5"},
       "stopped by --max-time after [0-9]+ bisection steps?: [0-9]+ colors found so far, an "
       "upper bound\nupper bound: the largest clique found has 2 vertices\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = runTintaraBinary(c.args);
    EXPECT_EQ(r.exitStatus, 3) << c.args.back() << "\n" << r.output;
    EXPECT_TRUE(std::regex_match(r.errors, std::regex(c.line))) << r.errors;
  }
  // The run budget counts run lines, the same on any number of threads.
  const ProcessResult r = runTintaraBinary(longCounting({"--max-runs", "7"}));
  EXPECT_NE(r.output.find("\n7 "), std::string::npos);
  EXPECT_EQ(r.output.find("\n8 "), std::string::npos);
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A counting experiment of some forty runs.
std::vector<std::string> shortCounting(const std::string& journal, const char* workers) {
  return {"--problem", kPetersen, "--N",       "200",   "--terr",      "0.05",
          "--journal", journal,   "--workers", workers, "--decompose", "0"};
}

TEST(Journal, AStoppedExperimentResumesToTheUninterruptedReport) {
  TempFile folder("");
  const std::string journal = folder.directory() + "/runs.journal";
  std::vector<std::string> uninterrupted = shortCounting(journal, "1");
  uninterrupted.erase(uninterrupted.begin() + 6, uninterrupted.begin() + 8);  // no journal
  uninterrupted.insert(uninterrupted.end(), {"--seed", "8"});
  const ProcessResult expected = runTintaraBinary(uninterrupted);
  ASSERT_EQ(expected.exitStatus, 0);

  std::vector<std::string> first = shortCounting(journal, "2");
  first.insert(first.end(), {"--seed", "8"});
  const ProcessResult stopped = runStopped(first, "\n5 ", {SIGTERM});
  ASSERT_EQ(stopped.exitStatus, 143) << stopped.errors;
  // Resumed without --seed: the journal's is used, and no new one is drawn.
  const ProcessResult resumed = runTintaraBinary(shortCounting(journal, "3"));
  EXPECT_EQ(resumed.exitStatus, 0) << resumed.errors;
  EXPECT_EQ(resumed.errors, expected.errors);
  EXPECT_EQ(withoutCpu(resumed.output), withoutCpu(expected.output));
  // Resumed once more, the journal already meets the target: same report.
  EXPECT_EQ(withoutCpu(runTintaraBinary(shortCounting(journal, "1")).output),
            withoutCpu(expected.output));
}

TEST(Journal, ATornLastLineIsCutOffAndTheRunsGoOn) {
  TempFile folder("");
  const std::string journal = folder.directory() + "/runs.journal";
  const ProcessResult complete = runTintaraBinary(shortCounting(journal, "2"));
  ASSERT_EQ(complete.exitStatus, 0);
  const std::string text = fileText(journal);
  const std::size_t lastRun = text.rfind("run ");
  for (const std::string& tail :
       {text.substr(lastRun, 9), std::string(text.substr(lastRun)) + std::string(300, '\0')}) {
    // The last run cut short, or followed by zero bytes: it is made again.
    writeFile(journal, text.substr(0, lastRun) + tail);
    const ProcessResult resumed = runTintaraBinary(shortCounting(journal, "1"));
    EXPECT_EQ(resumed.exitStatus, 0) << resumed.errors;
    EXPECT_NE(resumed.errors.find("cut off"), std::string::npos) << resumed.errors;
    EXPECT_EQ(withoutCpu(resumed.output), withoutCpu(complete.output));
    // The runs recorded again are the same runs; only a remade run's
    // processor time may differ.
    const std::string again = fileText(journal);
    EXPECT_EQ(again.substr(0, lastRun), text.substr(0, lastRun));
    EXPECT_EQ(std::count(again.begin(), again.end(), '\n'),
              std::count(text.begin(), text.end(), '\n'));
  }
}

TEST(Journal, AnotherExperimentsOrADamagedJournalIsRefused) {
  TempFile folder("");
  const std::string journal = folder.directory() + "/runs.journal";
  ASSERT_EQ(runTintaraBinary(shortCounting(journal, "1")).exitStatus, 0);
  const std::string text = fileText(journal);
  const std::size_t secondRun = text.find("\nrun 2 ") + 1;
  struct Case {
    std::string journalText;
    std::vector<std::string> more;
    std::string message;
  };
  const std::vector<Case> cases = {
      {text, {"--colors", "4"}, "belongs to another experiment: colors 3 there, 4 here"},
      {text, {"--rho", "0.3"}, "belongs to another experiment: rho 0.2 there, 0.3 here"},
      {text, {"--seed", "12345"}, "belongs to another experiment: seed "},
      {text.substr(0, secondRun) + "run 3" + text.substr(secondRun + 5),
       {},
       "is damaged at line 11: its checksum does not match its content"},
      {"not a journal\n", {}, "is not a tintara journal"},
  };
  for (const Case& c : cases) {
    writeFile(journal, c.journalText);
    std::vector<std::string> args = shortCounting(journal, "1");
    args.insert(args.end(), c.more.begin(), c.more.end());
    const ProcessResult r = runTintaraBinary(args);
    EXPECT_EQ(r.exitStatus, 1) << c.message;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(hasSummary(r.output)) << c.message;
    EXPECT_EQ(fileText(journal), c.journalText) << c.message;
  }
}

// Thousands of runs of a single edge (each a few microseconds): a journal
// stopped part way resumes through the tally to the report of the
// uninterrupted experiment, whose every run line it reprints.
TEST(Journal, ManyRunsResumeToTheUninterruptedReport) {
  TempFile edge("e 0 1\n");
  const std::string journal = edge.directory() + "/runs.journal";
  const auto runs = [&](const char* maxRuns, bool journalled) {
    std::vector<std::string> args = {"--problem", edge.path(), "--N",         "10",
                                     "--terr",    "1e-9",      "--decompose", "0",
                                     "--seed",    "3",         "--max-runs",  maxRuns};
    if (journalled) args.insert(args.end(), {"--journal", journal});
    return runTintaraBinary(args);
  };
  const ProcessResult whole = runs("6000", false);
  ASSERT_EQ(whole.exitStatus, 3);
  ASSERT_EQ(runs("2500", true).exitStatus, 3);
  const ProcessResult resumed = runs("6000", true);
  EXPECT_EQ(resumed.exitStatus, 3);
  EXPECT_EQ(withoutCpu(resumed.output), withoutCpu(whole.output));
  EXPECT_EQ(resumed.errors, whole.errors);
}

// A journal written before checksums (format version 1) resumes to the
// uninterrupted report, says it has none, and grows in its own format.
TEST(Journal, AVersionOneJournalResumesToTheUninterruptedReport) {
  TempFile folder("");
  const std::string journal = folder.directory() + "/runs.journal";
  std::vector<std::string> args = shortCounting(journal, "1");
  args.insert(args.end(), {"--seed", "8"});
  const ProcessResult complete = runTintaraBinary(args);
  ASSERT_EQ(complete.exitStatus, 0);
  // The first five runs, as version 1 wrote them.
  std::string v1 = fileText(journal).substr(0, fileText(journal).find("\nrun 6 ") + 1);
  v1 = std::regex_replace(v1, std::regex(" ~[0-9a-f]{8}\n"), "\n");
  v1 = std::regex_replace(v1, std::regex("tintara-journal 3\n"), "tintara-journal 1\n");
  v1 = std::regex_replace(v1, std::regex("decompose 0\n"), "");
  writeFile(journal, v1);
  const ProcessResult resumed = runTintaraBinary(args);
  EXPECT_EQ(resumed.exitStatus, 0) << resumed.output;
  EXPECT_EQ(withoutCpu(resumed.output), withoutCpu(complete.output));
  EXPECT_NE(resumed.errors.find("without checksums"), std::string::npos) << resumed.errors;
  const std::string grown = fileText(journal);
  EXPECT_EQ(grown.substr(0, v1.size()), v1);
  EXPECT_EQ(grown.find('~'), std::string::npos);
}

// A journal the run may read but not write: a complete experiment is
// reported, one that needs more runs is refused before any. Run as an
// unprivileged user, since root may write whatever the permissions say.
TEST(Journal, AReadOnlyJournalStillReportsACompleteExperiment) {
  TempFile folder(fileText(kPetersen), "petersen.txt");
  const std::string journal = folder.directory() + "/runs.journal";
  std::vector<std::string> args = {"--problem",   folder.path(), "--N",       "200",
                                   "--terr",      "0.05",        "--journal", journal,
                                   "--decompose", "0",           "--seed",    "8"};
  const ProcessResult complete = runTintaraBinary(args);
  ASSERT_EQ(complete.exitStatus, 0);
  const std::string text = fileText(journal);
  ASSERT_EQ(chmod(journal.c_str(), 0444), 0);
  ASSERT_EQ(chmod(folder.directory().c_str(), 0755), 0);
  const auto runUnprivileged = [](std::vector<std::string> more) {
    if (geteuid() != 0) return runTintaraBinary(more);
    more.insert(more.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", TINTARA_BINARY});
    return runProgram("/usr/bin/setpriv", more);
  };
  const ProcessResult again = runUnprivileged(args);
  EXPECT_EQ(again.exitStatus, 0) << again.output;
  EXPECT_EQ(withoutCpu(again.output), withoutCpu(complete.output));
  EXPECT_EQ(again.errors, complete.errors);
  args[5] = "0.02";  // the same experiment, a target its runs have not met
  args.resize(args.size() - 2);
  args.insert(args.end(), {"--seed", "8"});
  const ProcessResult more = runUnprivileged(args);
  EXPECT_EQ(more.exitStatus, 1);
  EXPECT_NE(more.output.find("journal " + journal + " cannot be written: Permission denied\n"),
            std::string::npos)
      << more.output;
  EXPECT_EQ(more.output.find("\n1 "), std::string::npos);  // no run was reported
  EXPECT_EQ(fileText(journal), text);
}

}  // namespace
}  // namespace tintara::testing

namespace tintara {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The CRC-32C of `content`, after the four bytes of `previous` (most
// significant first) when there is one: a line's checksum, chained to the
// line before it from version 3 on.
uint32_t checksum(const std::string& content, std::optional<uint32_t> previous) {
  boost::crc_optimal<32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, true, true> crc;
  if (previous) {
    for (int shift : {24, 16, 8, 0}) {
      const auto byte = static_cast<unsigned char>(*previous >> shift);
      crc.process_byte(byte);
    }
  }
  crc.process_bytes(content.data(), content.size());
  return crc.checksum();
}

// `text`, a journal whose lines may carry stale checksums or none, with
// every line signed afresh: chained from the first line on (version 3), or
// each line alone (version 2).
std::string signedJournal(const std::string& text, bool chained = true) {
  std::istringstream in(text);
  std::string out;
  std::optional<uint32_t> previous;
  for (std::string line; std::getline(in, line);) {
    const std::string content = std::regex_replace(line, std::regex(" ~[0-9a-f]{8}$"), "");
    const uint32_t sum = checksum(content, chained ? previous : std::nullopt);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " ~%08x\n", static_cast<unsigned>(sum));
    out += content + suffix;
    previous = sum;
  }
  return out;
}

// The last line of a journal's text.
std::string lastLine(const std::string& text) {
  return text.substr(text.rfind('\n', text.size() - 2) + 1);
}

TEST(JournalFile, ASecondOpenIsRefusedWhileTheFirstHoldsIt) {
  testing::TempFile folder("");
  const std::string path = folder.directory() + "/runs.journal";
  Journal first = Journal::open(path);
  EXPECT_THROW(Journal::open(path), InputError);
  first.start(JournalHeader{1, 3, 10, 0.2, 5, false, 1, {{{-4, 0}, {0, 1, 0, 1}}}, 0});
  first.record(1, CountingRun{WideDouble(0.25), 7});
  first.finish();
  const std::string text = readAll(path);
  EXPECT_EQ(text.substr(text.rfind("run ")), "run 1 0.5 -1 7" + lastLine(text).substr(14));
  EXPECT_EQ(signedJournal(text), text);
}

TEST(JournalFile, AHeaderCutShortHoldsNoRunAndStartsAfresh) {
  testing::TempFile folder("");
  const std::string path = folder.directory() + "/runs.journal";
  const JournalHeader header{1, 3, 10, 0.2, 5, false, 1, {{{-4, 0}, {0, 1, 0, 1}}}, 0};
  {
    Journal journal = Journal::open(path);
    journal.start(header);
  }
  const std::string complete = readAll(path);
  for (std::size_t cut : {std::size_t{3}, std::size_t{20}, complete.size() - 1}) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << complete.substr(0, cut);
    Journal journal = Journal::open(path);
    EXPECT_FALSE(journal.contents()) << cut;
    EXPECT_EQ(journal.tornBytes(), cut);
    journal.start(header);
    journal.finish();
    EXPECT_EQ(readAll(path), complete) << cut;
  }
  // Zero bytes alone are a header that never reached the disk.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(4096, '\0');
  {
    Journal journal = Journal::open(path);
    EXPECT_FALSE(journal.contents());
    ASSERT_EQ(journal.notes().size(), 1u);
    journal.start(header);
  }
  EXPECT_EQ(readAll(path), complete);
  // A file this run creates and never starts is not left behind.
  const std::string unused = folder.directory() + "/unused.journal";
  { Journal journal = Journal::open(unused); }
  EXPECT_FALSE(std::filesystem::exists(unused));
}

// Two runs open one new journal at once. The test holds one of them at a
// step (its lock, or its removal of a journal it made and never started)
// until the other has passed the point where the race was lost before.
TEST(JournalFile, NeitherOrderOfTwoRunsRacingForANewJournalLosesIt) {
  const JournalHeader header{1, 3, 10, 0.2, 5, false, 1, {{{-4, 0}, {0, 1, 0, 1}}}, 0};
  thread_local int role = 0;  // 1: the run held back, 2: the other
  const auto journalOf = [](const std::string& path) { return readAll(path); };

  {  // The first run made the file and waits to lock it; the second locks
     // it and starts: the first is refused and removes nothing.
    testing::TempFile folder("");
    const std::string path = folder.directory() + "/runs.journal";
    std::promise<void> firstAtLock;
    std::promise<void> secondStarted;
    std::shared_future<void> started = secondStarted.get_future().share();
    setJournalStepHook([&](JournalStep step) {
      if (role == 1 && step == JournalStep::BeforeLock) {
        firstAtLock.set_value();
        started.wait();
      }
    });
    bool refused = false;
    std::thread first([&] {
      role = 1;
      try {
        Journal journal = Journal::open(path);
      } catch (const InputError&) {
        refused = true;
      }
    });
    firstAtLock.get_future().wait();
    role = 2;
    Journal second = Journal::open(path);
    second.start(header);
    second.record(1, CountingRun{WideDouble(0.25), 7});
    secondStarted.set_value();
    first.join();
    second.finish();
    setJournalStepHook(nullptr);
    EXPECT_TRUE(refused);
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(lastLine(journalOf(path)).starts_with("run 1 0.5 -1 7 ~"));
  }
  {  // The first run made and locked the file and is about to remove it;
     // the second opened it meanwhile and waits to lock it: once the first
     // is gone, the second must not write into the removed file.
    testing::TempFile folder("");
    const std::string path = folder.directory() + "/runs.journal";
    std::promise<void> firstAtRemoval;
    std::promise<void> secondOpened;
    std::promise<void> firstGone;
    std::shared_future<void> opened = secondOpened.get_future().share();
    std::shared_future<void> gone = firstGone.get_future().share();
    int secondLocks = 0;  // the second run's thread alone counts them
    setJournalStepHook([&](JournalStep step) {
      if (role == 1 && step == JournalStep::BeforeRemove) {
        firstAtRemoval.set_value();
        opened.wait();
      } else if (role == 2 && step == JournalStep::BeforeLock) {
        if (secondLocks++ == 0) secondOpened.set_value();  // the first file it opened
        gone.wait();
      }
    });
    std::thread first([&] {
      role = 1;
      Journal journal = Journal::open(path);  // never started: removed when it goes
    });
    std::thread second([&] {
      role = 2;
      firstAtRemoval.get_future().wait();
      Journal journal = Journal::open(path);
      journal.start(header);
      journal.finish();
    });
    first.join();
    firstGone.set_value();
    second.join();
    setJournalStepHook(nullptr);
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(journalOf(path).rfind("tintara-journal 3", 0), 0u);
  }
}

// Damage anywhere but in a torn last line is refused, naming the line, and
// nothing of the journal is cut. Changed lines keep their old checksum
// (which catches them) unless the whole journal is signed afresh, which
// leaves the values' own checks to catch them. Lines from another journal,
// or moved within one, break the chain of checksums where they stand.
TEST(JournalFile, DamageIsRefusedNamingItsLine) {
  testing::TempFile folder("");
  const std::string path = folder.directory() + "/runs.journal";
  const auto written = [&](uint64_t seed) {
    {
      Journal journal = Journal::open(path);
      journal.start(
          JournalHeader{1, 3, 10, 0.2, seed, false, 1, {{{-4, -2, -2, 0}, {0, 1, 0, 1}}}, 0});
      journal.record(1, CountingRun{WideDouble(0.25), 7});
      journal.record(2, CountingRun{WideDouble(0), 3});
      journal.record(3, CountingRun{WideDouble(0.0625), 5});
      journal.finish();
    }
    const std::string text = readAll(path);
    std::filesystem::remove(path);
    return text;
  };
  const std::string good = written(5);
  const std::string other = written(6);  // the same runs at another seed
  // The text with the line that starts with `prefix` replaced by `line`.
  const auto replaced = [&good](const std::string& prefix, const std::string& line) {
    const std::size_t start = good.find("\n" + prefix) + 1;
    return good.substr(0, start) + line + good.substr(good.find('\n', start) + 1);
  };
  const auto resigned = [&](const std::string& prefix, const std::string& line) {
    return signedJournal(replaced(prefix, line + "\n"));
  };
  const auto unsigned_ = [](const std::string& line) { return line + " ~00000000\n"; };
  const auto runsFrom = [](const std::string& text) {
    return text.substr(text.find("\nrun ") + 1);
  };
  const std::string headerOfGood = good.substr(0, good.find("\nrun ") + 1);
  const std::string runLines = runsFrom(good);
  const std::size_t secondRun = runLines.find("run 2 ");
  const std::size_t thirdRun = runLines.find("run 3 ");
  // Version 1 of the same journal: no checksums, no decompose line.
  std::string v1 = std::regex_replace(good, std::regex(" ~[0-9a-f]{8}\n"), "\n");
  v1 = std::regex_replace(v1, std::regex("tintara-journal 3\n"), "tintara-journal 1\n");
  v1 = std::regex_replace(v1, std::regex("decompose 0\n"), "");
  struct Case {
    std::string text;
    std::string damage;
  };
  const std::vector<Case> cases = {
      {replaced("run 1 ", unsigned_("run 1 0.6 -1 7")), "line 10: its checksum"},
      {replaced("run 3 ", unsigned_("run 3 0.5 -5 5")), "line 12: its checksum"},
      {replaced("levels ", unsigned_("levels 4 -4 -3 -2 0")), "line 8: its checksum"},
      {replaced("seed ", unsigned_("seed 6")), "line 6: its checksum"},
      {replaced("run 1 ", "run 1 0.5 -1 7\n"), "line 10: expected a checksum"},
      // Another journal's runs after this one's header; two runs swapped.
      {headerOfGood + runsFrom(other),
       "line 10: its checksum does not match its content and the "
       "line before it"},
      {headerOfGood + runLines.substr(0, secondRun) + runLines.substr(thirdRun) +
           runLines.substr(secondRun, thirdRun - secondRun),
       "line 11: its checksum does not match its content and the line before it"},
      {resigned("run 2 ", "run 2 0.75 1 3"), "line 11: the estimate is outside"},
      {resigned("run 2 ", "run 2 0.5 -30 3"), "line 11: the estimate is outside"},
      {resigned("run 2 ", "run 2 0.5 9223372036854775807 3"),
       "line 11: the estimate is not a probability"},
      {resigned("run 2 ", "run 2 0 7 3"), "line 11: the estimate's mantissa"},
      {resigned("levels ", "levels 4 -4 -2 -2 2"), "line 8: a level that no run sets"},
      {resigned("levels ", "levels 4 -4 -1 -2 0"), "line 8: the levels decrease"},
      {resigned("levels ", "levels 4 -4 -2.5 -2 0"), "line 8: a level that no run"},
      {std::regex_replace(v1, std::regex("run 1 0.5 -1 7"), "run 1 0.5 5 7"),
       "line 9: the estimate is not a probability"},
      {std::regex_replace(v1, std::regex("run 3 0.5 -3 5"), "run 3 0.5 -300 5"),
       "line 11: the estimate is outside"},
  };
  for (const Case& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
    try {
      Journal journal = Journal::open(path);
      ADD_FAILURE() << "not refused: " << c.damage;
    } catch (const InputError& error) {
      EXPECT_NE(std::string(error.what()).find("is damaged at " + c.damage), std::string::npos)
          << error.what();
    }
    EXPECT_EQ(readAll(path), c.text) << c.damage;
  }
  // Undamaged versions 1 and 2 (checksums, not chained) are read, and say
  // what they lack.
  std::string v2 = std::regex_replace(good, std::regex("tintara-journal 3"), "tintara-journal 2");
  for (const auto& [text, note] :
       {std::pair{v1, "without checksums"}, std::pair{signedJournal(v2, false), "not chained"}}) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    Journal journal = Journal::open(path);
    ASSERT_TRUE(journal.contents());
    EXPECT_EQ(journal.contents()->runs.size(), 3u);
    ASSERT_EQ(journal.notes().size(), 1u);
    EXPECT_NE(journal.notes()[0].find(note), std::string::npos);
  }
}

}  // namespace
}  // namespace tintara
