// exact_count: exact colouring counts of an instance file, for the accuracy
// study and the examples (not part of the program).
//
//   exact_count FILE K [K ...]    one line per K:
//       k=K count=C probability=P method=elimination width=W
//   exact_count --chromatic FILE  the smallest K with a proper colouring:
//       chromatic=K method=...
//
// Counts use variable elimination; when its tables would be too large the
// count falls back to a depth-first search. Exit status 2 when neither
// finishes within its limits.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "graph/graph_reader.h"
#include "graph/memory_limit.h"
#include "support/exact_count.h"

using namespace tintara;
using namespace tintara::testing;

namespace {

void printCount(const Graph& graph, int32_t k) {
  std::string method = "elimination";
  EliminationStats stats;
  ExactCount count;
  try {
    count = countProperColorings(graph, k, &stats);
  } catch (const std::length_error&) {
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
bool colorable(const Graph& graph, int32_t k, std::string& method) {
  try {
    method = "elimination";
    return countProperColorings(graph, k) != 0;
  } catch (const std::length_error&) {
  } catch (const std::overflow_error&) {
  }
  method = "search";
  return hasProperColoring(graph, k);
}

}  // namespace

int main(int argc, char** argv) {
  const bool chromatic = argc == 3 && std::string(argv[1]) == "--chromatic";
  if (!chromatic && argc < 3) {
    std::cerr << "usage: exact_count FILE K [K ...] | exact_count --chromatic FILE\n";
    return 1;
  }
  try {
    const Graph graph = readGraph(chromatic ? argv[2] : argv[1], usableMemoryBytes());
    if (chromatic) {
      // A self-loop leaves no k at all.
      std::string method;
      int32_t k = 0;
      while (k <= graph.vertexCount && !colorable(graph, k, method)) ++k;
      if (k > graph.vertexCount) {
        std::cout << "chromatic=none" << std::endl;
      } else {
        std::cout << "chromatic=" << k << " method=" << method << std::endl;
      }
      return 0;
    }
    for (int i = 2; i < argc; ++i) printCount(graph, std::atoi(argv[i]));
  } catch (const std::exception& e) {
    std::cerr << "exact_count: " << e.what() << "\n";
    return 2;
  }
  return 0;
}
