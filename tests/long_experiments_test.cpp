// Long experiments under control, through the built executable: a stop
// signal or a budget ends the work with the summary so far and a status
// that says why, and a journal lets a stopped experiment resume to the
// report an uninterrupted one prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/journal.h"
#include "graph/input_error.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

const std::string kPetersen = std::string(TINTARA_SOURCE_DIR) + "/examples/petersen.txt";

// A counting experiment of many short runs: its target takes minutes.
std::vector<std::string> longCounting(std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--problem", kPetersen, "--N",    "100",
                                   "--seed",    "4",       "--terr", "0.0005"};
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
    const char* line;
  };
  const Case cases[] = {
      {SIGINT, false, 130,
       "interrupted after [0-9]+ runs: relative error \\S+ is above the "
       "target 0.0005\n"},
      {SIGTERM, false, 143,
       "interrupted after [0-9]+ runs: relative error \\S+ is above the "
       "target 0.0005\n"},
      {SIGINT, true, 130, "interrupted during the pilot run\n"},
      {SIGTERM, true, 143, "interrupted during the pilot run\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r =
        c.duringPilot ? runStopped({"--problem", grid.path(), "--N", "2000", "--seed", "1"},
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

TEST(StopSignals, ASecondSignalEndsTheProgramAtOnce) {
  // The first signal is noticed only once the graph is read, which waits for
  // standard input; the second takes the default action.
  const ProcessResult r = runAndSignal(TINTARA_BINARY, {"--problem", "/dev/stdin", "--seed", "1"},
                                       "Iteration #", {SIGINT, SIGINT}, "p 10\ne 0 1\n");
  EXPECT_EQ(r.signal, SIGINT) << r.exitStatus << "\n" << r.errors;
}

TEST(Budgets, EndTheExperimentWithStatusThree) {
  struct Case {
    std::vector<std::string> args;
    const char* line;
  };
  const std::vector<Case> cases = {
      {longCounting({"--max-runs", "7", "--workers", "3"}),
       "stopped by --max-runs after 7 runs: relative error \\S+ is above the target 0.0005\n"},
      {longCounting({"--max-time", "1"}),
       "stopped by --max-time after [0-9]+ runs: relative error \\S+ is above the target "
       "0.0005\n"},
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
  return {"--problem", kPetersen,   "--N",   "200",       "--terr",
          "0.05",      "--journal", journal, "--workers", workers};
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
  EXPECT_EQ(resumed.errors, "");
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
       "is damaged at line 10: expected run 2"},
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

}  // namespace
}  // namespace tintara::testing

namespace tintara {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(JournalFile, ASecondOpenIsRefusedWhileTheFirstHoldsIt) {
  testing::TempFile folder("");
  const std::string path = folder.directory() + "/runs.journal";
  Journal first = Journal::open(path);
  EXPECT_THROW(Journal::open(path), InputError);
  first.start(JournalHeader{1, 3, 10, 0.2, 5, {-4, 0}, {0, 1, 0, 1}});
  first.record(1, CountingRun{WideDouble(0.25), 7});
  first.finish();
  const std::string text = readAll(path);
  EXPECT_EQ(text.substr(text.rfind("run ")), "run 1 0.5 -1 7\n");
}

TEST(JournalFile, AHeaderCutShortHoldsNoRunAndStartsAfresh) {
  testing::TempFile folder("");
  const std::string path = folder.directory() + "/runs.journal";
  const JournalHeader header{1, 3, 10, 0.2, 5, {-4, 0}, {0, 1, 0, 1}};
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
  // A file this run creates and never starts is not left behind.
  const std::string unused = folder.directory() + "/unused.journal";
  { Journal journal = Journal::open(unused); }
  EXPECT_FALSE(std::filesystem::exists(unused));
}

}  // namespace
}  // namespace tintara
