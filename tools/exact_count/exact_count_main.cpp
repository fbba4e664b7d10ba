// exact_count: exact colouring counts of an instance file, for the accuracy
// study, the performance report and the examples (not part of the program).
//
//   exact_count [OPTIONS] FILE K [K ...]    one line per K:
//       k=K count=C probability=P method=elimination width=W
//   exact_count [OPTIONS] --chromatic FILE  the smallest K with a proper colouring:
//       chromatic=K method=...
//
// Options:
//   --max-table-entries E  the largest elimination table allowed (default
//                          2^24 entries of 16 bytes, 256 MiB)
//   --no-search            no depth-first fallback: a graph whose tables
//                          exceed the limit is an error
//
// Counts use variable elimination; when its tables would be too large the
// count falls back to a depth-first search. Exit status 2 when neither
// finishes within its limits (or memory runs out), 1 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "exact_count/exact_count.h"
#include "graph/graph_reader.h"
#include "process/memory_limit.h"

using namespace tintara;
using namespace tintara::exact;

namespace {

struct Limits {
  uint64_t maxTableEntries = uint64_t{1} << 24;
  bool search = true;
};

void printCount(const Graph& graph, int32_t k, const Limits& limits) {
  std::string method = "elimination";
  EliminationStats stats;
  ExactCount count;
  try {
    count = countProperColorings(graph, k, &stats, limits.maxTableEntries);
  } catch (const std::length_error&) {
    if (!limits.search) throw;
    count = countProperColoringsBySearch(graph, k);
    method = "search";
  }
  char probability[64];
  std::snprintf(probability, sizeof probability, "%.17Lg",
                properProbability(count, graph.vertexCount, k));
  std::cout << "k=" << k << " count=" << toDecimal(count) << " probability=" << probability
            << " method=" << method;
  if (method == "elimination") std::cout << " width=" << stats.width;
  std::cout << std::endl;
}

// Whether k colours suffice, and by which method it was settled.
bool colorable(const Graph& graph, int32_t k, const Limits& limits, std::string& method) {
  try {
    method = "elimination";
    return countProperColorings(graph, k, nullptr, limits.maxTableEntries) != 0;
  } catch (const std::length_error&) {
    if (!limits.search) throw;
  } catch (const std::overflow_error&) {
    if (!limits.search) throw;
  }
  method = "search";
  return hasProperColoring(graph, k);
}

// Reads the leading options into `limits`; the index of the first other
// argument, or -1 on a malformed option.
int readOptions(int argc, char** argv, Limits& limits) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-search") {
      limits.search = false;
    } else if (arg == "--max-table-entries" && i + 1 < argc) {
      char* end = nullptr;
      const std::string value = argv[++i];
      limits.maxTableEntries = std::strtoull(value.c_str(), &end, 10);
      if (value.empty() || value[0] == '-' || *end != '\0' || limits.maxTableEntries == 0)
        return -1;
    } else if (arg.rfind("--", 0) == 0 && arg != "--chromatic") {
      return -1;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

int main(int argc, char** argv) {
  Limits limits;
  const int first = readOptions(argc, argv, limits);
  const bool chromatic =
      first >= 0 && argc - first == 2 && std::string(argv[first]) == "--chromatic";
  if (first < 0 || (!chromatic && argc - first < 2)) {
    std::cerr << "usage: exact_count [--max-table-entries E] [--no-search] FILE K [K ...]\n"
                 "       exact_count [--max-table-entries E] [--no-search] --chromatic FILE\n";
    return 1;
  }
  try {
    const Graph graph = readGraph(argv[chromatic ? first + 1 : first], usableMemoryBytes());
    if (chromatic) {
      // A self-loop leaves no k at all.
      std::string method;
      int32_t k = 0;
      while (k <= graph.vertexCount && !colorable(graph, k, limits, method)) ++k;
      if (k > graph.vertexCount) {
        std::cout << "chromatic=none" << std::endl;
      } else {
        std::cout << "chromatic=" << k << " method=" << method << std::endl;
      }
      return 0;
    }
    for (int i = first + 1; i < argc; ++i) printCount(graph, std::atoi(argv[i]), limits);
  } catch (const std::exception& e) {
    std::cerr << "exact_count: " << e.what() << "\n";
    return 2;
  }
  return 0;
}
