// --save-coloring: the colouring a run found, written for the user and
// checked here independently of the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "cli/coloring_file.h"
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
    ProcessResult r = runTintaraBinary({"--problem", file.path(), "--chrom", "1", "--seed", "3",
                                        "--save-coloring", saved});
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
  ProcessResult r = runTintaraBinary({"--problem", file.path(), "--terr", "0.5", "--seed", "1",
                                      "--save-coloring", saved});
  ASSERT_EQ(r.exitStatus, 0);
  expectProper(readSaved(saved), 10, 0, {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {5, 6}, {7, 8}, {8, 9}},
               3);
}

TEST(SaveColoring, WithoutANumberNoFileIsWrittenOrChanged) {
  TempFile existing("keep me\n", "coloring.txt");
  TempFile triangle("e 0 1\ne 1 2\ne 2 0\n");
  const std::vector<std::vector<std::string>> failing = {
      {"--problem", existing.directory() + "/missing.txt", "--chrom", "1"},
      {"--problem", triangle.path(), "--colors", "2"},  // the pilot stagnates
  };
  for (const auto& args : failing) {
    for (const std::string& target : {existing.path(), existing.directory() + "/new.txt"}) {
      std::vector<std::string> withSave = args;
      withSave.insert(withSave.end(), {"--seed", "1", "--save-coloring", target});
      EXPECT_EQ(runTintaraBinary(withSave).exitStatus, 1);
    }
  }
  std::ifstream kept(existing.path());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me\n");
  EXPECT_FALSE(std::filesystem::exists(existing.directory() + "/new.txt"));
}

TEST(SaveColoring, AFileThatCannotBeWrittenIsAWriteError) {
  TempFile file("e 0 1\n");
  for (const auto& [target, reason] : std::vector<std::pair<std::string, std::string>>{
           {"/dev/full", "/dev/full: No space left on device"},
           {file.directory() + "/no/such/dir/c.txt",
            file.directory() + "/no/such/dir/c.txt: No such file or directory"}}) {
    ProcessResult r = runTintaraBinary(
        {"--problem", file.path(), "--chrom", "1", "--seed", "1", "--save-coloring", target});
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

}  // namespace
}  // namespace tintara::testing
