#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <system_error>

#include "graph/graph_reader.h"
#include "graph/split_line.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using Lists = testing::NeighbourLists;

Graph parseOk(const std::string& text) {
  std::istringstream in(text);
  try {
    return parseGraph(in, "test.txt", UINT64_MAX);
  } catch (const InputError& error) {
    ADD_FAILURE() << "unexpected error for [" << text << "]: " << error.what();
    return {};
  }
}

std::string parseError(std::istream& in, uint64_t usable = UINT64_MAX) {
  try {
    parseGraph(in, "test.txt", usable);
  } catch (const InputError& error) {
    return error.what();
  }
  return "no error";
}

std::string parseError(const std::string& text, uint64_t usable = UINT64_MAX) {
  std::istringstream in(text);
  return parseError(in, usable);
}

// Every line's tokens as the reader sees them, a line's tokens joined by '|'.
std::vector<std::string> splitAll(const std::string& text) {
  std::istringstream in(text);
  LineSplitter lines(in);
  std::vector<std::string> result;
  Token token;
  while (lines.nextLine()) {
    std::string line;
    while (lines.nextToken(token)) {
      if (!line.empty()) line += '|';
      line += token.shown();
    }
    result.push_back(line);
  }
  return result;
}

TEST(LineSplitter, SplitsOnRunsOfBlanksAndTabsAndDropsAFinalCarriageReturn) {
  using V = std::vector<std::string>;
  const std::string bom = "\xEF\xBB\xBF";
  const std::vector<std::pair<std::string, V>> cases = {
      {"", {}},
      {"\n", {""}},
      {"e 0 1", {"e|0|1"}},
      {" \te  0\t\t1 \t\r\n\r\n \r", {"e|0|1", "", ""}},
      {"a\rb c\r\r\n", {"a\\rb|c\\r"}},  // only the last carriage return ends the line
      {bom + "p 3\n" + bom + "p\n", {"p|3", bom + "p"}},
      {bom, {""}},
      {"x\x01y\x7f " + std::string(30, '9'),
       {"x\\x01y\\x7f|" + std::string(24, '9') + "... (30 characters)"}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(splitAll(text), lines) << text;
}

TEST(LineSplitter, TokensAndLinesCrossBlockBoundaries) {
  // Blocks are 64 KiB: the tokens and the carriage return fall on both sides.
  for (std::size_t pad : {65532u, 65533u, 65534u, 65535u, 65536u}) {
    const std::string text =
        "c" + std::string(pad, ' ') + "12345\r\ne " + std::string(pad, 'x') + "\r";
    const auto lines = splitAll(text);
    ASSERT_EQ(lines.size(), 2u) << pad;
    EXPECT_EQ(lines[0], "c|12345") << pad;
    EXPECT_EQ(lines[1], "e|xxxxxxxxxxxxxxxxxxxxxxxx... (" + std::to_string(pad) + " characters)");
  }
}

TEST(LineSplitter, ReadsWholeNumbersWithAnOptionalSign) {
  struct Case {
    std::string text;
    bool whole;
    bool fits;
    int32_t value;
  };
  const std::vector<Case> cases = {
      {"42", true, true, 42},
      {"+7", true, true, 7},
      {"-0", true, true, 0},
      {"0009", true, true, 9},
      {"2147483647", true, true, INT32_MAX},
      {"-2147483648", true, true, INT32_MIN},
      {"2147483648", true, false, 0},
      {"-2147483649", true, false, 0},
      {std::string(100, '9'), true, false, 0},
      {"1x", false, false, 0},
      {"1e3", false, false, 0},
      {"0x10", false, false, 0},
      {"-", false, false, 0},
      {"+-1", false, false, 0},
      {"1-", false, false, 0},
      {"edge", false, false, 0},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    LineSplitter lines(in);
    Token token;
    ASSERT_TRUE(lines.nextLine() && lines.nextToken(token));
    EXPECT_EQ(token.whole, c.whole) << c.text;
    EXPECT_EQ(token.fits, c.fits) << c.text;
    EXPECT_EQ(token.value, c.value) << c.text;
  }
}

TEST(GraphReader, ReadsTheGraphTheFileMeans) {
  struct Case {
    std::string text;
    int32_t vertexCount;
    Lists adjacency;
    int32_t idBase;
  };
  const std::vector<Case> cases = {
      {"", 0, {}, 0},
      {"c nothing here\n\n  \t\nc at all\n", 0, {}, 0},
      {"p 5\ne 0 1\ne 3 4\n", 5, {{1}, {0}, {}, {4}, {3}}, 0},
      // Distinct ids count: no p line, 0, or a format word.
      {"e 0 1\ne 2 1\n", 3, {{1}, {0, 2}, {1}}, 0},
      {"p 0\ne 0 1\n", 2, {{1}, {0}}, 0},
      {"p edge 9 12\ne 0 1\ne 1 2\ne 0 2\n", 3, {{1, 2}, {0, 2}, {1, 0}}, 0},
      // The last p line counts, wherever it stands; extra tokens are ignored.
      {"p 4\ne 0 1\np 3 extra\n", 3, {{1}, {0}, {}}, 0},
      {"e 0 1 7 x\n", 2, {{1}, {0}}, 0},
      // Repeats, both directions, self-loops: as written, in file order.
      {"e 0 1\ne 1 0\ne 2 2\ne 0 2\n", 3, {{1, 1, 2}, {0, 0}, {2, 2, 0}}, 0},
      // Blanks, tabs, signs, CR line ends, a byte-order mark, no final line feed.
      {"\xEF\xBB\xBFp +3\r\n e\t0  -0\r\n\te 2\t1 \r\ne 1 2", 3, {{0, 0}, {2, 2}, {1, 1}}, 0},
      // Unknown kinds are ignored when a p or e line is present.
      {"E 0 1\ncx 0 1\npe\np 2\n", 2, {{}, {}}, 0},
      // DIMACS: last p line with a format word, an edge line, no id 0.
      {"c x\np edge 4 2\ne 1 2\ne 4 2\n", 4, {{1}, {0, 3}, {}, {1}}, 1},
      {"p col 3 9\ne 3 3\n", 3, {{}, {}, {2, 2}}, 1},
      {"p edges 2\ne 1 2\n", 2, {{1}, {0}}, 1},
      // A DIMACS header alone: its count of vertices, no edge.
      {"p edge 5 0\n", 5, {{}, {}, {}, {}, {}}, 1},
      {"c x\np col 2\n", 2, {{}, {}}, 1},
      {"p edge 0 0\n", 0, {}, 1},
  };
  for (const Case& c : cases) {
    const Graph g = parseOk(c.text);
    EXPECT_EQ(g.vertexCount, c.vertexCount) << c.text;
    EXPECT_EQ(testing::neighbourLists(g), c.adjacency) << c.text;
    EXPECT_EQ(g.idBase, c.idBase) << c.text;
    std::size_t entries = 0;
    for (const auto& list : c.adjacency) entries += list.size();
    EXPECT_EQ(2 * static_cast<std::size_t>(g.edgeCount), entries) << c.text;
  }
}

TEST(GraphReader, RefusesMalformedFilesNamingTheLineAndTheToken) {
  const std::string hint =
      " (vertex ids are 0-based; a 1-based DIMACS file needs its \"p edge N M\" line)";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"c\np\n", "line 2: p line without a vertex count"},
      {"p 3\ne 1\n", "line 2: edge line with fewer than two vertex ids"},
      {"e\r\n", "line 1: edge line with fewer than two vertex ids"},
      {"p x\n", "line 1: vertex count x is not a whole number"},
      {"p 1e3\n", "line 1: vertex count 1e3 is not a whole number"},
      {"p graph 9 12\n", "line 1: vertex count graph is not a whole number"},
      {"p -5\ne 0 1\n", "line 1: vertex count -5 is negative"},
      {"p 99999999999\r\n", "line 1: vertex count 99999999999 does not fit in a 32-bit integer"},
      {"e 0 x\n", "line 1: vertex id x is not a whole number"},
      {"e 0 1x\n", "line 1: vertex id 1x is not a whole number"},
      {"e 0 1\ne 0 1\xff\n", "line 2: vertex id 1\xff is not a whole number"},
      {"e 0 -1\n", "line 1: vertex id -1 is negative"},
      {"p 3\ne 0 4294967297\n", "line 2: vertex id 4294967297 does not fit in a 32-bit integer"},
      {"p 3\ne 0 5\n", "line 2: vertex id 5 is not below the vertex count 3"},
      // The hint only for a file that looks 1-based: no id 0 anywhere.
      {"e 1 2\ne 2 3\n", "line 2: vertex id 3 is not below the 3 distinct ids counted" + hint},
      {"e 0 4\np 4\n", "line 1: vertex id 4 is not below the vertex count 4"},
      // A count of the reader's own is named as such, with why it is used.
      {"e 0 2\ne 2 3\n",
       "line 2: vertex id 3 is not below the 3 distinct ids counted (with no vertex count stated, "
       "the ids must run from 0 without a gap)"},
      {"p edge 4 2\ne 0 1\ne 1 3\n",
       "line 3: vertex id 3 is not below the 3 distinct ids counted (the p line's 4 counts only "
       "in a 1-based DIMACS file, which has no id 0; see README)"},
      // DIMACS: the count must be a number; messages show the file's ids.
      {"p edge x 1\ne 1 2\n", "line 1: vertex count x is not a whole number"},
      {"p edge\ne 1 2\n", "line 1: p line without a vertex count"},
      {"p edge\n", "line 1: p line without a vertex count"},
      {"p col x 0\n", "line 1: vertex count x is not a whole number"},
      {"p col -3 1\ne 1 2\n", "line 1: vertex count -3 is negative"},
      {"p edge 3 2\ne 1 2\n\ne 2 4\n", "line 4: vertex id 4 is above the vertex count 3"},
  };
  for (const auto& [text, fault] : cases) {
    EXPECT_EQ(parseError(text), "Error in instance file test.txt, " + fault) << text;
  }
}

TEST(GraphReader, ContentWithoutAPOrELineIsNotAnInstanceFile) {
  const char bytes[] =
      "\x7f"
      "ELF\x02\x01\0\0\r\n\x1b[2J\nP 3\nE 0 1\n\0e 0 1\n pe\n";
  const std::string garbage(bytes, sizeof bytes - 1);
  for (const std::string& text : {std::string("0 1\n1 2\n"), std::string("{\"p\": 3}"), garbage}) {
    EXPECT_EQ(parseError(text),
              "Error in instance file test.txt: no p or e line: not an instance file");
  }
}

TEST(GraphReader, ARunOfEdgeLinesKeepsItsLineNumbersAcrossGaps) {
  // Line numbers are kept per run of consecutive edge lines.
  std::string text = "p 4\n";
  for (int i = 0; i < 3000; ++i) text += i % 1000 == 999 ? "c gap\n" : "e 0 1\n";
  text += "e 3 2\ne 1 4\n";
  EXPECT_EQ(parseError(text),
            "Error in instance file test.txt, line 3003: vertex id 4 is not below the vertex "
            "count 4");
}

// A stream whose first read gives `good` and whose next read fails, the way
// a file stream's reads fail when the disk does.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string good) : text(std::move(good)) {}

 protected:
  std::streamsize xsgetn(char* out, std::streamsize count) override {
    if (served) throw std::ios_base::failure("read", std::make_error_code(std::errc::io_error));
    served = true;
    const auto n = std::min(count, static_cast<std::streamsize>(text.size()));
    std::copy_n(text.data(), n, out);
    return n;
  }

 private:
  std::string text;
  bool served = false;
};

TEST(GraphReader, AReadThatFailsPartWayIsAnErrorNamingTheLine) {
  FailingBuffer buffer("p 3\ne 0 1\ne 1");
  std::istream in(&buffer);
  EXPECT_EQ(parseError(in), "Error in instance file test.txt, line 3: read error: " +
                                std::make_error_code(std::errc::io_error).message());
}

TEST(GraphReaderMemory, RefusesAGrowingEdgeListAsSoonAsItWouldNotFit) {
  // 16 bytes an edge line: 8 in the list, 8 in the adjacency to come.
  std::string lines;
  for (int i = 0; i < 70'000; ++i) lines += "e 0 1\n";
  const std::string message = parseError(lines, 1'000'000);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(
      message, match,
      std::regex("Not enough memory for this run: about 1\\.0 MiB needed for the graph's first "
                 "([0-9]+) edge lines, 1\\.0 MiB usable")))
      << message;
  const int64_t refusedAt = std::stoll(match[1]);
  EXPECT_GT(refusedAt, 60'000);
  EXPECT_LE(refusedAt, 1'000'000 / 16);
  // One line fewer than that is read.
  std::string fewer;
  for (int64_t i = 1; i < refusedAt; ++i) fewer += "e 0 1\n";
  std::istringstream in(fewer);
  EXPECT_EQ(parseGraph(in, "test.txt", 1'000'000).edgeCount, refusedAt - 1);
}

TEST(GraphReaderMemory, VertexCountIsCheckedBeforeTheSizeCheckAndTheAdjacency) {
  std::istringstream huge("p 2147483647\ne 0 1\n");
  int calls = 0;
  const SizeCheck count = [&](int32_t, int64_t) { ++calls; };
  try {
    parseGraph(huge, "test.txt", uint64_t{1} << 30, count);
    ADD_FAILURE() << "not refused";
  } catch (const InputError& error) {
    EXPECT_TRUE(std::regex_match(
        error.what(), std::regex("Not enough memory for this run: about 8\\.0 GiB needed "
                                 "for the graph of 2147483647 vertices and 1 edge lines, 1\\.0 "
                                 "GiB usable")))
        << error.what();
  }
  EXPECT_EQ(calls, 0);
  // The size check sees the counts of a graph that fits, and may refuse it;
  // a malformed file never reaches it.
  std::istringstream fits("p 7\ne 0 1\ne 1 2\n");
  const SizeCheck refuse = [](int32_t n, int64_t edges) {
    EXPECT_EQ(n, 7);
    EXPECT_EQ(edges, 2);
    throw InputError("refused");
  };
  EXPECT_THROW(parseGraph(fits, "test.txt", UINT64_MAX, refuse), InputError);
  std::istringstream malformed("p 2\ne 0 2\n");
  EXPECT_THROW(parseGraph(malformed, "test.txt", UINT64_MAX, count), InputError);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tintara
