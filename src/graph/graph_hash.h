// A fingerprint of a graph as read, for telling whether a journal of runs
// belongs to the same instance: 64-bit FNV-1a (Fowler, Noll and Vo) over the
// vertex count and the sorted edge list. Each edge is taken once as (u, v)
// with u <= v, in 0-based ids, repeated edges as often as they occur; so the
// order of the edge lines, their direction and the id base of the file do
// not change it. Not a cryptographic hash: it guards against mistakes, not
// against forgery.
#pragma once

#include <cstdint>

#include "graph/graph.h"

namespace tintara {

uint64_t graphHash(const Graph& graph);

}  // namespace tintara
