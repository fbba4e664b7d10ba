// libFuzzer target for the instance reader's stream seam, parseGraph.
//
// Bytes in; out comes either a Graph or an InputError, and nothing else (an
// uncaught exception is a finding). A Graph is compared with what a plain
// model of the format reads from the same bytes: the whole text split into
// lines and tokens with std::string, so it shares no code with the reader's
// block-wise tokenizer. An error must be one line: a line error naming the
// input, the refusal of content without a p or e line (exactly when the
// model finds none), or a memory refusal.
//
// The input reaches the reader a few bytes a read, so that lines and tokens
// cross its block boundaries. The reader is given 8 MiB of usable memory, so that a p line asking for
// millions of vertices is refused by the reader's own check rather than
// allocated; huge counts against real memory are exercised by the
// command-line tests.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "graph/graph_reader.h"

namespace {

constexpr uint64_t kUsableBytes = 8 << 20;
const std::string kSourceName = "fuzz-input";

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "reader invariant broken: %s\n", what);
  std::abort();
}

using Line = std::vector<std::string>;

// The text as lines of tokens: lines end at line feeds (a last line needs
// none), a carriage return before the end is dropped, a byte-order mark
// before the first line skipped, tokens split on runs of blanks and tabs.
std::vector<Line> modelLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<Line> lines;
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    std::string line(text.substr(0, feed));
    text.remove_prefix(feed == std::string_view::npos ? text.size() : feed + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Line tokens;
    std::string token;
    for (char c : line + ' ') {
      if (c == ' ' || c == '\t') {
        if (!token.empty()) tokens.push_back(token);
        token.clear();
      } else {
        token += c;
      }
    }
    lines.push_back(tokens);
  }
  return lines;
}

// A whole decimal integer with an optional sign, within 32 bits, however
// many leading zeros it has (the magnitude saturates, so no length bounds
// it).
std::optional<int64_t> modelNumber(const std::string& token) {
  std::size_t i = token[0] == '+' || token[0] == '-' ? 1 : 0;
  if (i == token.size()) return std::nullopt;
  int64_t magnitude = 0;
  for (; i < token.size(); ++i) {
    if (token[i] < '0' || token[i] > '9') return std::nullopt;
    magnitude = std::min<int64_t>(magnitude * 10 + (token[i] - '0'), int64_t{1} << 40);
  }
  const int64_t value = token[0] == '-' ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return value;
}

struct Model {
  bool hasPOrE = false;
  bool otherContent = false;
  std::vector<std::pair<int64_t, int64_t>> edges;  // only when every edge line is well formed
  bool edgesWellFormed = true;
  const Line* lastP = nullptr;
};

Model readModel(const std::vector<Line>& lines) {
  Model model;
  for (const Line& line : lines) {
    if (line.empty() || line[0] == "c") continue;
    if (line[0] == "p") {
      model.hasPOrE = true;
      model.lastP = &line;
    } else if (line[0] == "e") {
      model.hasPOrE = true;
      const auto u = line.size() > 1 ? modelNumber(line[1]) : std::nullopt;
      const auto v = line.size() > 2 ? modelNumber(line[2]) : std::nullopt;
      if (u && v) {
        model.edges.emplace_back(*u, *v);
      } else {
        model.edgesWellFormed = false;
      }
    } else {
      model.otherContent = true;
    }
  }
  return model;
}

bool isFormatWord(const std::string& token) {
  return token == "edge" || token == "edges" || token == "col";
}

void checkGraph(const tintara::Graph& graph, const Model& model) {
  if (!model.edgesWellFormed) fail("graph read from a malformed edge line");
  if (!model.hasPOrE && model.otherContent) fail("graph read from content without p or e lines");
  if (graph.edgeCount != static_cast<int64_t>(model.edges.size())) {
    fail("edgeCount differs from the edge lines");
  }
  bool idZero = false;
  std::set<int64_t> distinct;
  for (auto [u, v] : model.edges) {
    idZero = idZero || u == 0 || v == 0;
    distinct.insert({u, v});
  }
  const bool formatP = model.lastP && isFormatWord(model.lastP->at(1));
  // A DIMACS header alone (`p edge 10 0`) is DIMACS too: ten isolated vertices.
  const bool dimacs = formatP && !idZero;
  if (graph.idBase != (dimacs ? 1 : 0)) fail("idBase differs from the DIMACS rule");
  int64_t count = 0;
  if (dimacs) {
    count = modelNumber(model.lastP->at(2)).value();
  } else if (model.lastP && !formatP) {
    count = modelNumber(model.lastP->at(1)).value();
  }
  if (!dimacs && count == 0) count = static_cast<int64_t>(distinct.size());
  if (graph.vertexCount != count) fail("vertexCount differs from the p line or the distinct ids");
  const auto& start = graph.neighbourStart;
  if (start.size() != static_cast<std::size_t>(graph.vertexCount) + 1 || start.front() != 0 ||
      !std::is_sorted(start.begin(), start.end()) || start.back() != graph.neighbourList.size()) {
    fail("neighbour offsets do not delimit vertexCount lists");
  }
  // Every edge line, in file order, at both ends.
  std::vector<std::vector<int32_t>> expected(static_cast<std::size_t>(graph.vertexCount));
  for (auto [u, v] : model.edges) {
    u -= graph.idBase;
    v -= graph.idBase;
    if (u < 0 || v < 0 || u >= count || v >= count) fail("graph read with an id out of range");
    expected[u].push_back(static_cast<int32_t>(v));
    expected[v].push_back(static_cast<int32_t>(u));
  }
  for (int32_t u = 0; u < graph.vertexCount; ++u) {
    const auto list = graph.neighbours(u);
    if (!std::equal(list.begin(), list.end(), expected[u].begin(), expected[u].end())) {
      fail("neighbour lists differ from the edge lines");
    }
  }
}

void checkError(const tintara::InputError& error, const Model& model) {
  const std::string message = error.what();
  if (message.find('\n') != std::string::npos) fail("error is more than one line");
  const std::string noInstance =
      "Error in instance file " + kSourceName + ": no p or e line: not an instance file";
  const bool modelNoInstance = !model.hasPOrE && model.otherContent;
  if ((message == noInstance) != modelNoInstance) fail("no p or e line misjudged");
  if (message == noInstance) return;
  const std::string linePrefix = "Error in instance file " + kSourceName + ", line ";
  const std::string memoryPrefix = "Not enough memory for this run: about ";
  if (message.rfind(linePrefix, 0) != 0 && message.rfind(memoryPrefix, 0) != 0) {
    fail("error neither names a line nor refuses for memory");
  }
}

// Hands out the input a few bytes a read, as a pipe may, so that lines and
// tokens fall across the reader's block boundaries.
class ChunkedBuffer : public std::streambuf {
 public:
  ChunkedBuffer(const std::string& text, std::streamsize chunk) : text(text), chunk(chunk) {}

 protected:
  std::streamsize xsgetn(char* out, std::streamsize count) override {
    const auto n = std::min({count, chunk, static_cast<std::streamsize>(text.size() - done)});
    std::copy_n(text.data() + done, n, out);
    done += static_cast<std::size_t>(n);
    return n;
  }

 private:
  const std::string& text;
  std::streamsize chunk;
  std::size_t done = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<Line> lines = modelLines(text);
  const Model model = readModel(lines);
  ChunkedBuffer buffer(text, static_cast<std::streamsize>(1 + size % 7));
  std::istream in(&buffer);
  try {
    checkGraph(tintara::parseGraph(in, kSourceName, kUsableBytes), model);
  } catch (const tintara::InputError& error) {
    checkError(error, model);
  }
  return 0;
}
