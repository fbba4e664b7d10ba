#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "graph/graph_reader.h"
#include "graph/split_line.h"
#include "support/graphs.h"

namespace tintara {
namespace {

using Lists = testing::NeighbourLists;
using testing::neighbourLists;

Graph parseOk(const std::string& text) {
  std::istringstream in(text);
  try {
    return parseGraph(in, "test.txt", UINT64_MAX);
  } catch (const InputError& error) {
    ADD_FAILURE() << "unexpected error: " << error.what();
    return {};
  }
}

std::string parseError(const std::string& text) {
  std::istringstream in(text);
  try {
    parseGraph(in, "test.txt", UINT64_MAX);
  } catch (const InputError& error) {
    return error.what();
  }
  ADD_FAILURE() << "expected an error for: " << text;
  return {};
}

std::vector<std::string> split(std::string line) {
  std::vector<std::string> tokens;
  splitLine(line, " ", tokens);
  return tokens;
}

TEST(SplitLine, CutsAtEverySingleBlankKeepingEmptyTokens) {
  EXPECT_EQ(split("a b"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(split("a  b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(split("a b "), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(split(" e"), (std::vector<std::string>{"", "e"}));
  EXPECT_EQ(split(""), (std::vector<std::string>{""}));
  EXPECT_EQ(split("e\t0\t1"), (std::vector<std::string>{"e\t0\t1"}));
}

TEST(SplitLine, LeavesOnlyTheLastPieceInTheLineAndAppends) {
  std::string line = "ab--cd--ef";
  std::vector<std::string> tokens{"old"};
  splitLine(line, "--", tokens);
  EXPECT_EQ(tokens, (std::vector<std::string>{"old", "ab", "cd", "ef"}));
  EXPECT_EQ(line, "ef");
}

TEST(SplitLine, HandlesAMillionBlanksInLinearTime) {
  std::vector<std::string> tokens;
  std::string line(1'000'000, ' ');
  splitLine(line, " ", tokens);
  EXPECT_EQ(tokens.size(), 1'000'001u);
}

TEST(InstanceNumber, ReadsLikeAtoi) {
  EXPECT_EQ(readInstanceNumber("42"), 42);
  EXPECT_EQ(readInstanceNumber("-7"), -7);
  EXPECT_EQ(readInstanceNumber("+7"), 7);
  EXPECT_EQ(readInstanceNumber("12abc"), 12);
  EXPECT_EQ(readInstanceNumber("3\r"), 3);
  EXPECT_EQ(readInstanceNumber("\t5"), 5);
  EXPECT_EQ(readInstanceNumber("edge"), 0);
  EXPECT_EQ(readInstanceNumber(""), 0);
  EXPECT_EQ(readInstanceNumber("-"), 0);
  EXPECT_EQ(readInstanceNumber("2147483647"), 2147483647);
  EXPECT_EQ(readInstanceNumber("-2147483648"), INT32_MIN);
  EXPECT_EQ(readInstanceNumber("000000000000000000009"), 9);
}

TEST(InstanceNumber, RejectsValuesBeyondInt32) {
  EXPECT_FALSE(readInstanceNumber("2147483648"));
  EXPECT_FALSE(readInstanceNumber("-2147483649"));
  EXPECT_FALSE(readInstanceNumber("99999999999999999999999"));
}

TEST(GraphReaderCount, EmptyOrCommentOnlyFileGivesEmptyGraph) {
  for (const char* text : {"", "c nothing here\nc at all\n"}) {
    Graph g = parseOk(text);
    EXPECT_EQ(g.vertexCount, 0);
    EXPECT_EQ(g.edgeCount, 0);
    EXPECT_TRUE(g.neighbourList.empty());
  }
}

TEST(GraphReaderCount, PLineCountKeepsUnusedVerticesWithEmptyLists) {
  Graph g = parseOk("p 10\ne 0 1\ne 3 4\n");
  EXPECT_EQ(g.vertexCount, 10);
  const Lists lists = neighbourLists(g);
  ASSERT_EQ(lists.size(), 10u);
  for (int v = 5; v < 10; ++v) EXPECT_TRUE(lists[v].empty());
}

TEST(GraphReaderCount, ZeroOrNonNumericCountMeansCountDistinctIds) {
  EXPECT_EQ(parseOk("p edge 9 12\ne 0 1\ne 1 2\ne 0 2\n").vertexCount, 3);
  EXPECT_EQ(parseOk("p 0\ne 0 1\n").vertexCount, 2);
  EXPECT_EQ(parseOk("e 0 1\ne 2 1\n").vertexCount, 3);
  EXPECT_EQ(parseOk("p \ne 0 1\n").vertexCount, 2);
}

TEST(GraphReaderCount, LastPLineWinsWhereverItStands) {
  EXPECT_EQ(parseOk("p 4\ne 0 1\np 6\n").vertexCount, 6);
  EXPECT_EQ(parseOk("e 0 1\np 5\n").vertexCount, 5);
  EXPECT_EQ(parseOk("p 7 extra tokens\n").vertexCount, 7);
}

TEST(GraphReaderEdges, KeepsDuplicatesAndBothDirections) {
  for (const char* text : {"e 0 1\ne 0 1\n", "e 0 1\ne 1 0\n"}) {
    Graph g = parseOk(text);
    EXPECT_EQ(g.edgeCount, 2);
    EXPECT_EQ(neighbourLists(g), (Lists{{1, 1}, {0, 0}}));
  }
}

TEST(GraphReaderEdges, SelfLoopListsTheVertexTwice) {
  Graph g = parseOk("p 4\ne 3 3\n");
  EXPECT_EQ(g.edgeCount, 1);
  EXPECT_EQ(neighbourLists(g)[3], (std::vector<int32_t>{3, 3}));
}

TEST(GraphReaderEdges, ListsNeighboursInFileOrder) {
  Graph g = parseOk("e 0 1\ne 2 0\ne 0 3\n");
  EXPECT_EQ(neighbourLists(g)[0], (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(neighbourLists(g)[2], (std::vector<int32_t>{0}));
}

TEST(GraphReaderEdges, ReadsLastLineWithoutLineFeedAndIgnoresCarriageReturns) {
  Graph g = parseOk("p 3\r\ne 0 1\r\ne 1 2");
  EXPECT_EQ(g.vertexCount, 3);
  EXPECT_EQ(neighbourLists(g), (Lists{{1}, {0, 2}, {1}}));
}

TEST(GraphReaderTokens, BlankHandlingFollowsTheTokenizer) {
  // Two blanks after e: the tokens are e, "", 3, 4, so the edge is (0, 3).
  Graph g = parseOk("p 5\ne  3 4\n");
  EXPECT_EQ(g.edgeCount, 1);
  EXPECT_EQ(neighbourLists(g)[0], (std::vector<int32_t>{3}));
  EXPECT_EQ(neighbourLists(g)[4], (std::vector<int32_t>{}));
  // Extra ids are ignored.
  EXPECT_EQ(neighbourLists(parseOk("e 0 1 7\n")), (Lists{{1}, {0}}));
}

TEST(GraphReaderTokens, IgnoresLinesOfOtherKinds) {
  Graph g = parseOk("p 3\n e 0 1\ne\t0\t1\nE 0 1\ncx 0 1\n\nx\ne 1 2\n");
  EXPECT_EQ(g.edgeCount, 1);
  EXPECT_EQ(neighbourLists(g), (Lists{{}, {2}, {1}}));
}

TEST(GraphReaderErrors, MalformedLinesNameFileLineAndFault) {
  EXPECT_EQ(parseError("c\np\n"),
            "Error in instance file test.txt, line 2: p line without a vertex count");
  EXPECT_EQ(parseError("p 3\ne 1\n"),
            "Error in instance file test.txt, line 2: edge line with fewer than two vertex ids");
  EXPECT_EQ(parseError("e\n"),
            "Error in instance file test.txt, line 1: edge line with fewer than two vertex ids");
}

TEST(GraphReaderErrors, IdsOutsideTheVertexRangeAreRejected) {
  EXPECT_EQ(parseError("p 3\ne 0 1\ne -1 2\n"),
            "Error in instance file test.txt, line 3: vertex id -1 is negative");
  EXPECT_EQ(parseError("p 3\ne 0 5\n"),
            "Error in instance file test.txt, line 2: vertex id 5 is not below the vertex count 3");
  // Counted from distinct ids: two ids, so 7 is out of range.
  EXPECT_EQ(parseError("e 0 7\n"),
            "Error in instance file test.txt, line 1: vertex id 7 is not below the vertex count 2");
  // A later p line decides the count the earlier edges are checked against.
  EXPECT_EQ(parseError("e 0 4\np 4\n"),
            "Error in instance file test.txt, line 1: vertex id 4 is not below the vertex count 4 "
            "(vertex ids are 0-based; scripts/dimacs-to-instance converts 1-based DIMACS files)");
}

TEST(GraphReaderErrors, NumbersBeyondInt32AreRejected) {
  EXPECT_EQ(parseError("p 99999999999\n"),
            "Error in instance file test.txt, line 1: vertex count 99999999999 does not fit in a "
            "32-bit integer");
  EXPECT_EQ(parseError("p 3\ne 0 4294967297\n"),
            "Error in instance file test.txt, line 2: vertex id 4294967297 does not fit in a "
            "32-bit integer");
}

TEST(GraphReaderErrors, NegativeCountThrowsLengthError) {
  std::istringstream in("p -5\n");
  EXPECT_THROW(parseGraph(in, "x", UINT64_MAX), std::length_error);
}

}  // namespace
}  // namespace tintara
