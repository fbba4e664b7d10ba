// scripts/dimacs-to-instance, run as a user would: a DIMACS file in, an
// instance file out, read back with the program's own reader.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "graph/graph_reader.h"
#include "support/exact_count.h"
#include "support/test_support.h"

namespace tintara::testing {
namespace {

struct Conversion {
  std::string out;
  std::string err;
  int status = -1;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

Conversion convert(const std::string& dimacs) {
  TempFile in(dimacs, "in.col");
  const std::string out = in.directory() + "/out.txt";
  const std::string err = in.directory() + "/err.txt";
  const std::string command = "sh '" TINTARA_SOURCE_DIR "/scripts/dimacs-to-instance' '" +
                              in.path() + "' > '" + out + "' 2> '" + err + "'";
  const int raw = std::system(command.c_str());
  Conversion c;
  c.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  c.out = slurp(out);
  c.err = slurp(err);
  return c;
}

Graph readBack(const std::string& instance) {
  std::istringstream in(instance);
  try {
    return parseGraph(in, "converted", UINT64_MAX);
  } catch (const InputError& error) {
    ADD_FAILURE() << error.what();
    return {};
  }
}

TEST(DimacsToInstance, RoundTripsARandomGraphKeepingCountOrderAndRepeats) {
  std::mt19937 gen(3);
  const int32_t n = 40;  // the last vertices stay isolated: the count must survive
  std::vector<std::pair<int32_t, int32_t>> edges;
  std::uniform_int_distribution<int32_t> vertex(0, 30);
  for (int i = 0; i < 90; ++i) edges.emplace_back(vertex(gen), vertex(gen));
  edges.push_back(edges.front());  // a repeated edge
  edges.emplace_back(7, 7);        // a self-loop

  std::string dimacs = "c random test graph\np edge " + std::to_string(n) + " " +
                       std::to_string(edges.size()) + "\n";
  for (auto [u, v] : edges)
    dimacs += "e " + std::to_string(u + 1) + (u % 2 ? "\t" : " ") + std::to_string(v + 1) + "\r\n";

  const Conversion c = convert(dimacs);
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.err, "");
  EXPECT_EQ(c.out, "c random test graph\n" + instanceText(n, edges));
  const Graph g = readBack(c.out);
  const Graph expected = makeGraph(n, edges);
  EXPECT_EQ(g.vertexCount, n);
  EXPECT_EQ(g.edgeCount, expected.edgeCount);
  EXPECT_EQ(neighbourLists(g), neighbourLists(expected));
}

TEST(DimacsToInstance, TheReaderReadsTheDimacsFileAsTheConvertedOne) {
  std::mt19937 gen(5);
  std::uniform_int_distribution<int32_t> vertex(1, 25);
  std::string dimacs = "c read both ways\np edge 30 60\n";
  for (int i = 0; i < 60; ++i) {
    dimacs += "e " + std::to_string(vertex(gen)) + " " + std::to_string(vertex(gen)) + "\n";
  }
  const Conversion c = convert(dimacs);
  ASSERT_EQ(c.status, 0) << c.err;
  const Graph converted = readBack(c.out);
  const Graph native = readBack(dimacs);
  EXPECT_EQ(converted.idBase, 0);
  EXPECT_EQ(native.idBase, 1);
  EXPECT_EQ(native.vertexCount, 30);
  EXPECT_EQ(native.edgeCount, converted.edgeCount);
  EXPECT_EQ(neighbourLists(native), neighbourLists(converted));
}

TEST(DimacsToInstance, GroetzschGraphFromDimacsHasChromaticNumberFour) {
  // Written 1-based, as DIMACS files do.
  const auto edges = groetzschEdges();
  std::string dimacs = "c Groetzsch graph\np edge 11 20\n";
  for (auto [u, v] : edges)
    dimacs += "e " + std::to_string(u + 1) + " " + std::to_string(v + 1) + "\n";
  const Conversion c = convert(dimacs);
  ASSERT_EQ(c.status, 0) << c.err;
  const Graph g = readBack(c.out);
  EXPECT_EQ(g.vertexCount, 11);
  EXPECT_EQ(countProperColorings(g, 3), ExactCount{0});
  EXPECT_GT(countProperColorings(g, 4), ExactCount{0});
}

TEST(DimacsToInstance, RejectsMalformedInputWithOneLineAndNoOutput) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"c only a comment\n", "no \"p edge N M\" line"},
      {"e 1 2\np edge 2 1\n", "line 1: edge line before the p line"},
      {"p edge 3 1\ne 1 4\n", "line 2: vertex id 4 is outside 1..3"},
      {"p edge 3 1\ne 0 1\n", "line 2: vertex id 0 is outside 1..3"},
      {"p edge 3 1\ne 1 -2\n", "line 2: vertex id \"-2\" is not a number"},
      {"p edge 3 1\ne 1 x\n", "line 2: vertex id \"x\" is not a number"},
      {"p edge 3 1\ne 1\n", "line 2: expected \"e U V\""},
      {"p edge three 1\n", "line 1: vertex count \"three\" is not a whole number"},
      {"p edge 3 -1\n", "line 1: edge count \"-1\" is not a whole number"},
      {"p edge 3\n", "line 1: expected \"p edge N M\""},
      {"p edge 3 0\np edge 3 0\n", "line 2: a second p line"},
      {"p edge 3 0\nx 1 2\n", "line 2: unknown line kind \"x\""},
  };
  for (const auto& [input, message] : cases) {
    const Conversion c = convert(input);
    EXPECT_EQ(c.status, 1) << input;
    EXPECT_EQ(c.out, "") << input;
    EXPECT_NE(c.err.find(message), std::string::npos) << input << " gave: " << c.err;
    EXPECT_EQ(c.err.find('\n'), c.err.size() - 1) << "not one line: " << c.err;
  }
}

TEST(DimacsToInstance, WarnsButConvertsWhenTheEdgeCountDisagrees) {
  const Conversion c = convert("p edge 3 5\ne 1 2\ne 2 3\n");
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.out, "p 3\ne 0 1\ne 1 2\n");
  EXPECT_NE(c.err.find("warning"), std::string::npos) << c.err;
}

}  // namespace
}  // namespace tintara::testing
