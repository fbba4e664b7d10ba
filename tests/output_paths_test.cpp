// The one check of every path a run reads or writes, through the built
// executable in a folder of its own: each refusal is one line, on standard
// output unless standard output is a file the run must not write to, and no
// file in the folder is created, changed or lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/test_support.h"

namespace tintara::testing {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every entry under `folder`: a file's content, a link's target.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    if (entry.is_symlink()) {
      entries[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      entries[name] = readFile(entry.path());
    } else {
      entries[name] = "folder";
    }
  }
  return entries;
}

// A folder with an instance, a finished journal of it, a hard link to the
// journal, links to the instance and to nothing, an empty journal, a file
// that is not the program's, and a subfolder.
class RunFolder {
 public:
  explicit RunFolder(const std::string& journalText)
      : holder(readFile(std::string(TINTARA_SOURCE_DIR "/examples/petersen.txt")), "instance.txt") {
    const fs::path dir = holder.directory();
    std::ofstream(dir / "journal.j", std::ios::binary) << journalText;
    fs::create_hard_link(dir / "journal.j", dir / "hard.j");
    fs::create_symlink("instance.txt", dir / "instance-link");
    fs::create_symlink("missing.j", dir / "dangling");
    std::ofstream(dir / "empty.j");
    std::ofstream(dir / "out.txt") << "keep\n";
    fs::create_directory(dir / "folder");
  }
  std::string path() const { return holder.directory(); }

 private:
  TempFile holder;
};

// A short counting experiment's options, paths relative to the folder.
std::vector<std::string> experiment(std::vector<std::string> more) {
  std::vector<std::string> args = {"--problem", "instance.txt", "--N", "100",         "--terr",
                                   "0.3",       "--seed",       "1",   "--decompose", "0"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// Runs the program in `folder` with standard output and error as the
// test captures them, after `redirect` (such as ">> journal.j").
ProcessResult runIn(const std::string& folder, const std::vector<std::string>& args,
                    const std::string& redirect) {
  std::vector<std::string> shell = {"-c", "cd \"$0\" && exec \"$@\" " + redirect, folder,
                                    TINTARA_BINARY};
  shell.insert(shell.end(), args.begin(), args.end());
  return runProgram("/bin/sh", shell);
}

TEST(OutputPaths, ConflictsAreRefusedOnOneLineBeforeAnyRunAndNoFileChanges) {
  std::string journalText;
  {
    TempFile made("");
    const std::string journal = made.directory() + "/j";
    std::vector<std::string> args = experiment({"--journal", journal});
    args[1] = std::string(TINTARA_SOURCE_DIR "/examples/petersen.txt");
    ASSERT_EQ(runTintaraBinary(args).exitStatus, 0);
    journalText = readFile(journal);
  }
  const std::string noFolder = "cannot be written: No such file or directory";
  struct Case {
    std::vector<std::string> options;
    std::string redirect;
    std::string refusal;  // the whole line, or its start for the parser's words
    bool onStandardError;
  };
  const std::vector<Case> cases = {
      {{"--journal", "new.j", "--save-coloring", "new.j"},
       "",
       "--journal new.j and --save-coloring new.j name the same file",
       false},
      {{"--journal", "new.j", "--save-coloring", "folder/../new.j"},
       "",
       "--journal new.j and --save-coloring folder/../new.j name the same file",
       false},
      {{"--journal", "missing.j", "--save-coloring", "dangling"},
       "",
       "--journal missing.j and --save-coloring dangling name the same file",
       false},
      {{"--journal", "journal.j", "--save-coloring", "hard.j"},
       "",
       "--journal journal.j and --save-coloring hard.j name the same file",
       false},
      {{"--save-coloring", "./instance.txt"},
       "",
       "--save-coloring ./instance.txt would overwrite the instance file",
       false},
      {{"--journal", "instance-link"},
       "",
       "--journal instance-link would overwrite the instance file",
       false},
      {{"--journal", "journal.j"},
       ">> journal.j",
       "--journal journal.j would overwrite standard output",
       true},
      {{"--journal", "empty.j"},
       ">> empty.j",
       "--journal empty.j would overwrite standard output",
       true},
      {{"--journal", "journal.j"},
       "2>> journal.j",
       "--journal journal.j would overwrite standard error",
       false},
      {{"--save-coloring", "out.txt"},
       ">> out.txt",
       "--save-coloring out.txt would overwrite standard output",
       true},
      {{}, ">> instance.txt", "standard output is the instance file instance.txt", true},
      {{"--journal", "journal.j", "--colors", "1e3"}, ">> journal.j", "the argument ('1e3')", true},
      {{"--save-coloring", "no/such/c.txt"},
       "",
       "--save-coloring no/such/c.txt " + noFolder,
       false},
      {{"--journal", "no/such/r.j"}, "", "--journal no/such/r.j " + noFolder, false},
      {{"--save-coloring", "folder"},
       "",
       "--save-coloring folder cannot be written: Is a directory",
       false},
      {{"--save-coloring", ""}, "", "--save-coloring needs a file name", false},
  };
  for (const Case& c : cases) {
    RunFolder folder(journalText);
    const auto before = snapshot(folder.path());
    const ProcessResult r = runIn(folder.path(), experiment(c.options), c.redirect);
    const std::string label = c.refusal + " [" + c.redirect + "]";
    EXPECT_EQ(r.exitStatus, 1) << label;
    const std::string& said = c.onStandardError ? r.errors : r.output;
    const std::string& silent = c.onStandardError ? r.output : r.errors;
    EXPECT_EQ(said.substr(0, c.refusal.size()), c.refusal) << label << ": " << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << label << ": " << said;
    EXPECT_EQ(silent, "") << label;
    EXPECT_EQ(snapshot(folder.path()), before) << label;
  }
}

// A link to a file not made yet, given to --journal or --save-coloring:
// the file it names is created, and the link stays a link. The journal so
// made resumes through the link.
TEST(OutputPaths, ADanglingLinkCreatesTheFileItNames) {
  for (const char* option : {"--journal", "--save-coloring"}) {
    RunFolder folder("");
    const fs::path dir = folder.path();
    const ProcessResult r = runIn(folder.path(), experiment({option, "dangling"}), "");
    EXPECT_EQ(r.exitStatus, 0) << option << ": " << r.output;
    EXPECT_TRUE(fs::is_symlink(dir / "dangling")) << option;
    const std::string made = readFile(dir / "missing.j");
    EXPECT_TRUE(made.starts_with(std::string(option) == "--journal" ? "tintara-journal 3 ~"
                                                                    : "c graph instance.txt\n"))
        << option << ": " << made;
    if (std::string(option) == "--journal") {
      const ProcessResult resumed = runIn(folder.path(), experiment({option, "dangling"}), "");
      EXPECT_EQ(withoutCpu(resumed.output), withoutCpu(r.output));
      EXPECT_EQ(readFile(dir / "missing.j"), made);
    }
  }
}

}  // namespace
}  // namespace tintara::testing
