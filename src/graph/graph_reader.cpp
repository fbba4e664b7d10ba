#include "graph/graph_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <ios>
#include <new>
#include <system_error>
#include <type_traits>
#include <vector>

#include "graph/split_line.h"
#include "process/memory_limit.h"

namespace tintara {

namespace {

// An edge line's two ids as the file writes them.
struct Edge {
  int32_t u;
  int32_t v;
};

// Edge `edgeIndex` stands on line `lineNumber`, and each following edge on
// the next line, up to the next jump. Files keep their edge lines together,
// so a few of these name every edge's line, where a line number per edge
// would double the edge list.
struct LineJump {
  std::size_t edgeIndex;
  int64_t lineNumber;
};

// The last p line. A format word (edge, edges, col) in the count's place
// asks for the distinct ids to be counted, unless the file reads as DIMACS,
// whose count N is the token after the word.
struct PLine {
  int64_t lineNumber = 0;
  int32_t count = 0;
  bool formatWord = false;
  bool hasDimacsCount = false;
  Token dimacsCount;
};

const std::string kZeroBasedHint =
    " (vertex ids are 0-based; a 1-based DIMACS file needs its \"p edge N M\" line)";

// Bytes of the neighbour lists built for `vertices` and `edgeLines`: one
// 32-bit offset a vertex (and one more), two 32-bit entries an edge line.
double adjacencyBytes(double vertices, double edgeLines) {
  return 4.0 * (vertices + 1.0) + 8.0 * edgeLines;
}

// Reads the lines first, keeping the edge lines as written; the vertex count
// is known only at the end (the last p line counts, or the distinct ids),
// and so are the ids' range and the DIMACS reading.
class InstanceReader {
 public:
  InstanceReader(std::istream& in, const std::string& sourceName, uint64_t usableBytes)
      : lines(in), source(sourceName), usable(usableBytes) {}

  void readAll();
  Graph build(const SizeCheck& check);

 private:
  InputError lineError(int64_t lineNumber, const std::string& what) const {
    return InputError("Error in instance file " + source + ", line " + std::to_string(lineNumber) +
                      ": " + what);
  }
  int32_t number(const Token& token, const std::string& what, int64_t lineNumber) const;
  void readPLine();
  void readEdgeLine();
  template <typename T>
  void makeRoom(std::vector<T>& list);
  double heldBytes() const {
    return static_cast<double>(edges.capacity() * sizeof(Edge) +
                               jumps.capacity() * sizeof(LineJump));
  }
  // The adjacency for `edgeLines` with the ids read so far: the vertices
  // counted from distinct ids, at most two per edge line. A p line's count
  // is checked once the file is read, since a later p line replaces it.
  double adjacencyBytesSoFar(std::size_t edgeLines) const {
    const double lines = static_cast<double>(edgeLines);
    return adjacencyBytes(std::min(largestId + 1.0, 2.0 * lines), lines);
  }
  RunTooLarge refusal(double neededBytes) const {
    return RunTooLarge(memoryRefusal(
        neededBytes, "the graph's first " + std::to_string(edges.size() + 1) + " edge lines",
        usable));
  }
  int64_t lineOf(std::size_t edgeIndex) const;
  int64_t countDistinctIds() const;
  void checkIds(int64_t vertexCount, int32_t idBase, bool counted) const;

  LineSplitter lines;
  const std::string& source;
  uint64_t usable;
  Token token;
  PLine lastP;
  bool sawPLine = false;
  bool sawOtherContent = false;  // a line of another kind than c, p or e
  bool sawIdZero = false;
  int32_t largestId = -1;
  int64_t lastEdgeLine = 0;
  std::vector<Edge> edges;
  std::vector<LineJump> jumps;
};

void InstanceReader::readAll() {
  try {
    while (lines.nextLine()) {
      if (!lines.nextToken(token)) continue;  // a blank line
      if (token.is("p")) {
        readPLine();
      } else if (token.is("e")) {
        readEdgeLine();
      } else if (!token.is("c")) {
        sawOtherContent = true;
      }
    }
  } catch (const std::ios_base::failure& error) {
    throw lineError(lines.lineNumber(), "read error: " + error.code().message());
  }
}

// The value of a count or an id: a whole number, 32 bits, not negative.
int32_t InstanceReader::number(const Token& token, const std::string& what,
                               int64_t lineNumber) const {
  if (!token.whole) {
    throw lineError(lineNumber, what + " " + token.shown() + " is not a whole number");
  }
  if (!token.fits) {
    throw lineError(lineNumber, what + " " + token.shown() + " does not fit in a 32-bit integer");
  }
  if (token.value < 0) {
    throw lineError(lineNumber, what + " " + std::to_string(token.value) + " is negative");
  }
  return token.value;
}

void InstanceReader::readPLine() {
  sawPLine = true;
  lastP = {};
  lastP.lineNumber = lines.lineNumber();
  if (!lines.nextToken(token)) throw lineError(lastP.lineNumber, "p line without a vertex count");
  if (token.is("edge") || token.is("edges") || token.is("col")) {
    lastP.formatWord = true;
    lastP.hasDimacsCount = lines.nextToken(lastP.dimacsCount);
  } else {
    lastP.count = number(token, "vertex count", lastP.lineNumber);
  }
}

void InstanceReader::readEdgeLine() {
  const int64_t line = lines.lineNumber();
  int32_t ends[2];
  for (int32_t& id : ends) {
    if (!lines.nextToken(token)) throw lineError(line, "edge line with fewer than two vertex ids");
    id = number(token, "vertex id", line);
  }
  // edgeCount is a 32-bit count, like every count of the Graph.
  if (edges.size() == INT32_MAX) throw lineError(line, "more than 2147483647 edge lines");
  largestId = std::max({largestId, ends[0], ends[1]});
  sawIdZero = sawIdZero || ends[0] == 0 || ends[1] == 0;
  const bool jump = edges.empty() || line != lastEdgeLine + 1;
  makeRoom(edges);
  if (jump) makeRoom(jumps);
  // The room was made for the ids named before; a larger id may make the
  // adjacency larger.
  const double needed = heldBytes() + adjacencyBytesSoFar(edges.size() + 1);
  if (needed > static_cast<double>(usable)) throw refusal(needed);
  edges.push_back({ends[0], ends[1]});
  if (jump) jumps.push_back({edges.size() - 1, line});
  lastEdgeLine = line;
}

// Room for one more entry in `list` (the edges or the jumps), checked against
// the usable memory before it is allocated. Growing copies the list into a
// new block while the old one is still held; and the adjacency built at the
// end needs its share for every edge line the lists can take, with the
// vertices named so far. Doubles while that fits, then grows only as far as
// fits (the file may end first); refuses the graph when not one more entry
// fits.
template <typename T>
void InstanceReader::makeRoom(std::vector<T>& list) {
  if (list.size() < list.capacity()) return;
  const auto oldBlock = static_cast<double>(list.capacity() * sizeof(T));
  const double others = heldBytes() - oldBlock;
  const auto needed = [&](std::size_t capacity) {
    const double block = static_cast<double>(capacity * sizeof(T));
    const std::size_t edgeLines =
        std::is_same_v<T, Edge> ? capacity : std::max(edges.capacity(), edges.size() + 1);
    return others + block + std::max(oldBlock, adjacencyBytesSoFar(edgeLines));
  };
  const auto limit = static_cast<double>(usable);
  std::size_t capacity = std::max(4096 / sizeof(T), 2 * list.capacity());
  if (needed(capacity) > limit) {
    std::size_t fits = list.size();
    std::size_t tooMany = capacity;
    while (tooMany - fits > 1) {
      const std::size_t middle = fits + (tooMany - fits) / 2;
      (needed(middle) <= limit ? fits : tooMany) = middle;
    }
    if (fits == list.size()) throw refusal(needed(fits + 1));
    capacity = fits;
  }
  try {
    list.reserve(capacity);
  } catch (const std::bad_alloc&) {
    throw refusal(needed(capacity));
  }
}

int64_t InstanceReader::lineOf(std::size_t edgeIndex) const {
  const auto after = std::upper_bound(
      jumps.begin(), jumps.end(), edgeIndex,
      [](std::size_t index, const LineJump& jump) { return index < jump.edgeIndex; });
  const LineJump& jump = *(after - 1);
  return jump.lineNumber + static_cast<int64_t>(edgeIndex - jump.edgeIndex);
}

// Ids are not negative here. A bitmap over 0..largestId where it is no
// larger than the edge list, else a sorted copy of the ids: either fits in
// what the adjacency is about to take.
int64_t InstanceReader::countDistinctIds() const {
  if (edges.empty()) return 0;
  const auto range = static_cast<std::size_t>(largestId) + 1;
  if (range / 8 <= edges.size() * sizeof(Edge)) {
    std::vector<bool> seen(range);
    int64_t distinct = 0;
    for (const Edge& edge : edges) {
      for (int32_t id : {edge.u, edge.v}) {
        if (!seen[id]) {
          seen[id] = true;
          ++distinct;
        }
      }
    }
    return distinct;
  }
  std::vector<int32_t> ids;
  ids.reserve(2 * edges.size());
  for (const Edge& edge : edges) ids.insert(ids.end(), {edge.u, edge.v});
  std::sort(ids.begin(), ids.end());
  return std::unique(ids.begin(), ids.end()) - ids.begin();
}

// Every id must name a vertex: idBase..idBase + vertexCount - 1. When the
// count is the reader's own (`counted`: the distinct ids, for want of a
// count the file states), the message says so, since the file shows no
// such number.
void InstanceReader::checkIds(int64_t vertexCount, int32_t idBase, bool counted) const {
  if (largestId - idBase < vertexCount) return;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    for (int32_t id : {edges[i].u, edges[i].v}) {
      if (id - idBase < vertexCount) continue;
      std::string what = "vertex id " + std::to_string(id);
      const std::string count = std::to_string(vertexCount);
      // A file without id 0 whose largest id is the count is 1-based.
      const bool oneBased = id == vertexCount && !sawIdZero;
      if (idBase == 1) {
        what += " is above the vertex count " + count;
      } else if (!counted) {
        what += " is not below the vertex count " + count;
        if (oneBased) what += kZeroBasedHint;
      } else {
        what += " is not below the " + count + " distinct ids counted";
        if (oneBased) {
          what += kZeroBasedHint;
        } else if (lastP.formatWord) {
          what += " (the p line's " + lastP.dimacsCount.shown() +
                  " counts only in a 1-based DIMACS file, which has no id 0; see README)";
        } else {
          what += " (with no vertex count stated, the ids must run from 0 without a gap)";
        }
      }
      throw lineError(lineOf(i), what);
    }
  }
}

Graph InstanceReader::build(const SizeCheck& check) {
  if (!sawPLine && edges.empty() && sawOtherContent) {
    throw InputError("Error in instance file " + source + ": no p or e line: not an instance file");
  }
  Graph graph;
  // A file of a p line alone, `p edge 10 0`, is DIMACS too: its count is
  // the vertices, none of them joined.
  const bool dimacs = lastP.formatWord && !sawIdZero;
  int64_t vertexCount = lastP.count;
  if (dimacs) {
    graph.idBase = 1;
    if (!lastP.hasDimacsCount) {
      throw lineError(lastP.lineNumber, "p line without a vertex count");
    }
    vertexCount = number(lastP.dimacsCount, "vertex count", lastP.lineNumber);
  } else if (vertexCount == 0) {
    try {
      vertexCount = countDistinctIds();
    } catch (const std::bad_alloc&) {
      throw RunTooLarge(memoryRefusal(heldBytes() + 8.0 * static_cast<double>(edges.size()),
                                      "the graph's " + std::to_string(edges.size()) + " edge lines",
                                      usable));
    }
    if (vertexCount > INT32_MAX) {
      throw InputError("Error in instance file " + source + ": more than 2147483647 vertex ids");
    }
  }
  checkIds(vertexCount, graph.idBase, !dimacs && lastP.count == 0);
  graph.vertexCount = static_cast<int32_t>(vertexCount);
  graph.edgeCount = static_cast<int32_t>(edges.size());

  // The line numbers are no longer needed; the edge list is, until the
  // adjacency is complete.
  jumps = {};
  const double needed = heldBytes() + adjacencyBytes(static_cast<double>(graph.vertexCount),
                                                     static_cast<double>(graph.edgeCount));
  const std::string what = "the graph of " + std::to_string(graph.vertexCount) + " vertices and " +
                           std::to_string(graph.edgeCount) + " edge lines";
  if (needed > static_cast<double>(usable)) throw RunTooLarge(memoryRefusal(needed, what, usable));
  if (check) check(graph.vertexCount, graph.edgeCount);

  try {
    setNeighbours(graph, edges, [&](const Edge& edge) {
      return std::pair{edge.u - graph.idBase, edge.v - graph.idBase};
    });
  } catch (const std::bad_alloc&) {
    throw RunTooLarge(memoryRefusal(needed, what, usable));
  }
  return graph;
}

}  // namespace

Graph parseGraph(std::istream& in, const std::string& sourceName, uint64_t usableBytes,
                 const SizeCheck& check) {
  InstanceReader reader(in, sourceName, usableBytes);
  reader.readAll();
  return reader.build(check);
}

Graph readGraph(const std::string& path, uint64_t usableBytes, const SizeCheck& check) {
  // "openening" is kept as it is: existing files and scripts match this
  // text.
  const auto unreadable = [&](const std::string& reason) {
    return InputError("Error in openening file " + path + ": " + reason);
  };
  const auto systemReason = [] { return std::generic_category().message(errno); };
  // Devices (a terminal, /dev/zero, a disk) and sockets are never instance
  // files, and reading one may not end; a directory opens but cannot be
  // read. Regular files and pipes (a shell's process substitution) are read.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) throw unreadable(systemReason());
  if (S_ISDIR(info.st_mode)) throw unreadable("a directory");
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISSOCK(info.st_mode)) {
    throw unreadable("a device, not an instance file");
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) throw unreadable(errno != 0 ? systemReason() : "cannot be opened");
  return parseGraph(file, path, usableBytes, check);
}

}  // namespace tintara
