// libFuzzer target for the instance reader's stream seam, parseGraph.
//
// Bytes in; out comes either a Graph, whose invariants are checked here, or a
// ReadError, which must be one non-empty line naming the input and a line.
// parseGraph may also throw std::length_error (a negative vertex count) or
// std::bad_alloc (a count too large to allocate); both are the reader's
// specified outcome for such files and are accepted.
//
// Inputs the harness cannot afford are skipped: when the last p line asks for
// more than kMaxFuzzVertices vertices, sizing the adjacency would take
// gigabytes and AddressSanitizer's operator new aborts on such a request
// instead of throwing std::bad_alloc, so the run would end with a false
// out-of-memory report. The skip reads the p lines the way the reader does
// (first token "p", count from the second token, the last p line counts); if
// the reader ever reads counts differently the fuzzer reports the allocation
// instead of missing it. Huge counts are exercised by the command-line tests.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "graph/graph_reader.h"

namespace {

constexpr int64_t kMaxFuzzVertices = 100000;
const std::string kSourceName = "fuzz-input";

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "reader invariant broken: %s\n", what);
  std::abort();
}

// Calls f(line) for every line as std::getline would cut the text: at each
// line feed, plus a last line without one if it is not empty.
template <typename F>
void forEachLine(std::string_view text, F f) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      f(text.substr(start));
      return;
    }
    f(text.substr(start, end - start));
    start = end + 1;
  }
}

// The vertex count the last p line asks for, or 0 when there is none.
int64_t requestedVertexCount(std::string_view text) {
  int64_t count = 0;
  forEachLine(text, [&](std::string_view line) {
    if (line.substr(0, 2) != "p ") return;
    const std::string_view rest = line.substr(2);
    const auto number = tintara::readInstanceNumber(std::string(rest.substr(0, rest.find(' '))));
    count = number ? *number : 0;
  });
  return count;
}

// Lines whose first token is exactly "e": each one is an edge of the Graph.
int64_t edgeLineCount(std::string_view text) {
  int64_t count = 0;
  forEachLine(text, [&](std::string_view line) {
    if (line == "e" || line.substr(0, 2) == "e ") ++count;
  });
  return count;
}

void checkGraph(const tintara::Graph& graph, std::string_view text) {
  if (graph.vertexCount < 0 || graph.edgeCount < 0) fail("negative count");
  const auto& start = graph.neighbourStart;
  if (start.size() != static_cast<std::size_t>(graph.vertexCount) + 1 || start.front() != 0 ||
      !std::is_sorted(start.begin(), start.end()) || start.back() != graph.neighbourList.size()) {
    fail("neighbour offsets do not delimit vertexCount lists");
  }
  if (graph.edgeCount != edgeLineCount(text)) fail("edgeCount differs from the edge lines");
  std::size_t entries = 0;
  std::map<std::pair<int32_t, int32_t>, int64_t> directed;
  for (int32_t u = 0; u < graph.vertexCount; ++u) {
    for (int32_t v : graph.neighbours(u)) {
      if (v < 0 || v >= graph.vertexCount) fail("adjacency entry outside 0..vertexCount-1");
      ++directed[{u, v}];
      ++entries;
    }
  }
  if (entries != 2 * static_cast<std::size_t>(graph.edgeCount)) {
    fail("adjacency does not hold 2 * edgeCount entries");
  }
  // Every edge line puts each end into the other's list, so u appears in v's
  // list exactly as often as v in u's.
  for (const auto& [pair, count] : directed) {
    const auto mirror = directed.find({pair.second, pair.first});
    if (mirror == directed.end() || mirror->second != count) fail("adjacency is not symmetric");
  }
}

void checkError(const tintara::InputError& error) {
  const std::string message = error.what();
  const std::string prefix = "Error in instance file " + kSourceName + ", line ";
  if (message.compare(0, prefix.size(), prefix) != 0) fail("error does not name the line");
  if (message.find('\n') != std::string::npos) fail("error is more than one line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (requestedVertexCount(text) > kMaxFuzzVertices) return -1;  // not kept in the corpus
  std::istringstream in(text);
  try {
    checkGraph(tintara::parseGraph(in, kSourceName, UINT64_MAX), text);
  } catch (const tintara::InputError& error) {
    checkError(error);
  } catch (const std::length_error&) {
    if (requestedVertexCount(text) >= 0) fail("length_error without a negative vertex count");
  } catch (const std::bad_alloc&) {
  }
  return 0;
}
