#include "graph/graph_hash.h"

#include <algorithm>
#include <vector>

namespace tintara {

namespace {

constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325;
constexpr uint64_t kPrime = 0x100000001b3;

// Hashes `value`'s eight bytes, least significant first, so that the hash
// does not depend on the machine's byte order.
void mix(uint64_t& hash, uint64_t value) {
  for (int byte = 0; byte < 8; ++byte) {
    hash ^= (value >> (8 * byte)) & 0xff;
    hash *= kPrime;
  }
}

}  // namespace

uint64_t graphHash(const Graph& graph) {
  uint64_t hash = kOffsetBasis;
  mix(hash, static_cast<uint64_t>(graph.vertexCount));
  // The edges (u, v), u <= v, in sorted order are u's sorted list entries at
  // or above u, for u in turn: sorting one list at a time needs a degree's
  // scratch, not a copy of the edge list. A self-loop puts u twice into u's
  // list and counts once.
  std::vector<int32_t> list;
  for (int32_t u = 0; u < graph.vertexCount; ++u) {
    const auto neighbours = graph.neighbours(u);
    list.assign(neighbours.begin(), neighbours.end());
    std::sort(list.begin(), list.end());
    bool secondEnd = false;
    for (int32_t v : list) {
      if (v < u) continue;
      if (v == u) {
        secondEnd = !secondEnd;
        if (!secondEnd) continue;
      }
      mix(hash, static_cast<uint64_t>(u));
      mix(hash, static_cast<uint64_t>(v));
    }
  }
  return hash;
}

}  // namespace tintara
