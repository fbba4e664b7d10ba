// --save-coloring: the colouring a run found, written for the user and
// checked here independently of the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "cli/coloring_file.h"
#include "cli/output_check.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

struct SavedColoring {
  std::vector<std::string> comments;
  std::vector<std::pair<int64_t, int32_t>> vertices;  // (file id, colour) in file order
};

SavedColoring readSaved(const std::string& path) {
  SavedColoring saved;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("c ", 0) == 0) {
      saved.comments.push_back(line);
      continue;
    }
    std::istringstream fields(line);
    std::string kind;
    int64_t vertex = -1;
    int32_t colour = -1;
    fields >> kind >> vertex >> colour;
    EXPECT_EQ(kind, "v") << line;
    saved.vertices.emplace_back(vertex, colour);
  }
  return saved;
}

// Every vertex listed once in order from `firstId`, colours below `colours`,
// no edge of `edges` (file ids) monochromatic.
void expectProper(const SavedColoring& saved, int32_t vertexCount, int64_t firstId,
                  const std::vector<std::pair<int64_t, int64_t>>& edges, int32_t colours) {
  ASSERT_EQ(saved.vertices.size(), static_cast<std::size_t>(vertexCount));
  std::map<int64_t, int32_t> colourOf;
  for (std::size_t i = 0; i < saved.vertices.size(); ++i) {
    EXPECT_EQ(saved.vertices[i].first, firstId + static_cast<int64_t>(i));
    EXPECT_GE(saved.vertices[i].second, 0);
    EXPECT_LT(saved.vertices[i].second, colours);
    colourOf[saved.vertices[i].first] = saved.vertices[i].second;
  }
  for (const auto& [u, v] : edges) EXPECT_NE(colourOf[u], colourOf[v]) << u << "-" << v;
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Reads `fd` to its end (or, non-blocking, to what is there), then closes it.
std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  close(fd);
  return text;
}

int32_t reportedChromaticNumber(const std::string& report) {
  std::smatch match;
  EXPECT_TRUE(std::regex_match(report, match, std::regex(".* (\\d+)\n"))) << report;
  return match.empty() ? -1 : std::stoi(match[1].str());
}

TEST(SaveColoring, ChromaticModeWritesAProperColouringWithTheReportedNumber) {
  const Graph g = groetzschGraph();
  std::vector<std::pair<int64_t, int64_t>> zeroBased, oneBased;
  std::string dimacs = "c Groetzsch graph, DIMACS ids\np edge 11 20\n";
  for (const auto& [u, v] : groetzschEdges()) {
    zeroBased.emplace_back(u, v);
    oneBased.emplace_back(u + 1, v + 1);
    dimacs += "e " + std::to_string(u + 1) + " " + std::to_string(v + 1) + "\n";
  }
  struct Case {
    std::string contents;
    int64_t firstId;
    std::vector<std::pair<int64_t, int64_t>> edges;
  };
  for (const Case& c : std::vector<Case>{{instanceText(11, groetzschEdges()), 0, zeroBased},
                                         {dimacs, 1, oneBased}}) {
    TempFile file(c.contents);
    const std::string saved = file.directory() + "/coloring.txt";
    ProcessResult r = runTintaraBinary(
        {"--problem", file.path(), "--chrom", "1", "--seed", "3", "--save-coloring", saved});
    ASSERT_EQ(r.exitStatus, 0) << r.output;
    const int32_t chromatic = reportedChromaticNumber(r.output);
    EXPECT_GE(chromatic, 4);  // never below the chromatic number
    const SavedColoring coloring = readSaved(saved);
    EXPECT_EQ(coloring.comments,
              (std::vector<std::string>{"c graph " + file.path(),
                                        "c colors " + std::to_string(chromatic), "c seed 3"}));
    expectProper(coloring, 11, c.firstId, c.edges, chromatic);
  }
}

TEST(SaveColoring, CountingModeWritesThePilotsProperColouring) {
  TempFile file(instanceText(10, {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {5, 6}, {7, 8}, {8, 9}}));
  const std::string saved = file.directory() + "/coloring.txt";
  ProcessResult r = runTintaraBinary(
      {"--problem", file.path(), "--terr", "0.5", "--seed", "1", "--save-coloring", saved});
  ASSERT_EQ(r.exitStatus, 0);
  expectProper(readSaved(saved), 10, 0, {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {5, 6}, {7, 8}, {8, 9}},
               3);
}

TEST(SaveColoring, WithoutANumberNoFileIsWrittenOrChanged) {
  TempFile existing("keep me\n", "coloring.txt");
  TempFile triangle("e 0 1\ne 1 2\ne 2 0\n");
  // (arguments, exit status)
  const std::vector<std::pair<std::vector<std::string>, int>> failing = {
      {{"--problem", existing.directory() + "/missing.txt", "--chrom", "1"}, 1},
      // The pilot stagnates; by parts, the probability is an exact 0.
      {{"--problem", triangle.path(), "--colors", "2", "--decompose", "0"}, 1},
      {{"--problem", triangle.path(), "--colors", "2"}, 0},
  };
  for (const auto& [args, status] : failing) {
    for (const std::string& target : {existing.path(), existing.directory() + "/new.txt"}) {
      std::vector<std::string> withSave = args;
      withSave.insert(withSave.end(), {"--seed", "1", "--save-coloring", target});
      EXPECT_EQ(runTintaraBinary(withSave).exitStatus, status);
    }
  }
  std::ifstream kept(existing.path());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me\n");
  EXPECT_FALSE(std::filesystem::exists(existing.directory() + "/new.txt"));
}

TEST(SaveColoring, AFileThatCannotBeWrittenIsAWriteError) {
  TempFile file("e 0 1\n");
  for (const auto& [target, reason] : std::vector<std::pair<std::string, std::string>>{
           {"/dev/full", "/dev/full: No space left on device"}}) {
    ProcessResult r = runTintaraBinary({"--problem", file.path(), "--chrom", "1", "--seed", "1",
                                        "--bounds", "trivial", "--save-coloring", target});
    EXPECT_EQ(r.errors, "write error: " + reason + "\n");
    EXPECT_EQ(r.exitStatus, 1);
  }
}

TEST(SaveColoring, TheCheckRefusesImproperColourings) {
  const Graph path = makeGraph(3, {{0, 1}, {1, 2}});
  EXPECT_TRUE(isProperColoring(path, {0, 1, 0}, 2));
  EXPECT_FALSE(isProperColoring(path, {0, 0, 1}, 2));  // an edge inside a colour
  EXPECT_FALSE(isProperColoring(path, {0, 1, 2}, 2));  // a colour out of range
  EXPECT_FALSE(isProperColoring(path, {0, 1}, 2));     // a vertex missing
  EXPECT_THROW(saveColoring("/dev/null", path, {1, 1, 0}, 2, "p", 0), std::logic_error);
}

// The file grows past RLIMIT_FSIZE part way (SIGXFSZ ignored, so the write
// fails with EFBIG): the old file stays whole and the temporary goes.
TEST(SaveColoring, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  TempFile old("keep me\n", "coloring.txt");
  const int32_t n = 20000;  // about 180 KB of lines, several buffers
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{100000, 100000};
    std::string message = "saved";
    try {
      if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(126);
      saveColoring(old.path(), makeGraph(n, {}), std::vector<int32_t>(n, 0), 1, "g.txt", 7);
    } catch (const WriteError& error) {
      message = error.what();
    }
    _exit(write(ends[1], message.data(), message.size()) < 0 ? 125 : 0);
  }
  close(ends[1]);
  EXPECT_EQ(drain(ends[0]), old.path() + ": File too large");
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(contents(old.path()), "keep me\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(old.directory()), {}), 1);
}

// A link is followed (the file it names is replaced, the link stays), and
// the file keeps its mode.
TEST(SaveColoring, ReplacesTheFileBehindALinkKeepingItsMode) {
  TempFile instance("e 0 1\n");
  TempFile old("keep me\n", "coloring.txt");
  const std::string link = old.directory() + "/latest.txt";
  ASSERT_EQ(chmod(old.path().c_str(), 0640), 0);
  std::filesystem::create_symlink("coloring.txt", link);
  ProcessResult r = runTintaraBinary(
      {"--problem", instance.path(), "--chrom", "1", "--seed", "1", "--save-coloring", link});
  ASSERT_EQ(r.exitStatus, 0) << r.errors;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(contents(old.path()).substr(0, 8), "c graph ");
  EXPECT_EQ(std::filesystem::status(old.path()).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(old.directory()), {}), 2);
}

// No refusal and no rename: the colouring arrives through the FIFO and the
// pipe behind /dev/stdout.
TEST(SaveColoring, ATargetThatIsNoRegularFileIsWrittenDirectly) {
  TempFile instance("e 0 1\n");
  const std::string fifo = instance.directory() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writer open it
  ASSERT_GE(reader, 0);
  const std::string saved = "c graph " + instance.path() + "\nc colors 2\nc seed 1\nv 0 ";
  for (const std::string target : {"/dev/null", fifo.c_str(), "/dev/stdout"}) {
    ProcessResult r = runTintaraBinary({"--problem", instance.path(), "--chrom", "1", "--seed", "1",
                                        "--bounds", "trivial", "--save-coloring", target});
    EXPECT_EQ(r.exitStatus, 0) << target << ": " << r.output;
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.output.find("\n" + saved) != std::string::npos, target == "/dev/stdout");
  }
  EXPECT_EQ(drain(reader).substr(0, saved.size()), saved);
  // Standard output and error as files: the colouring goes through the
  // open descriptor, after what was written there, which stays.
  for (const std::string stream : {"/dev/stdout", "/dev/stderr"}) {
    const std::string log = instance.directory() + "/log.txt";
    ProcessResult r =
        runProgram("/bin/sh", {"-c", "exec \"$@\" > \"$0\" 2>&1", log, TINTARA_BINARY, "--problem",
                               instance.path(), "--chrom", "1", "--seed", "1", "--bounds",
                               "trivial", "--save-coloring", stream});
    EXPECT_EQ(r.exitStatus, 0) << stream;
    const std::string text = contents(log);
    EXPECT_EQ(text.find(instance.path() + " #bin E(T) CPU Chrom# "), 0u) << stream << ": " << text;
    EXPECT_NE(text.find(" 2\n" + saved), std::string::npos) << stream << ": " << text;
  }
}

}  // namespace
}  // namespace tintara::testing
