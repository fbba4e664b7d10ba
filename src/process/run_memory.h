// The memory a mode's runs take, checked before they start: allocations on
// Linux normally succeed whatever their size and fail only when the memory
// is touched, so work that cannot fit is refused by comparing sizes first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "process/memory_limit.h"

namespace tintara {

// The stack each worker thread of the run engine is started with. A
// worker's deepest frames are a sort's recursion and the splitting run's
// own, a few KiB; 4 MiB leaves ample room. Fixed here rather than left to
// glibc's default, which follows the soft RLIMIT_STACK (8 MiB on most
// systems, 2 MiB when unlimited), so that the address space a run needs
// does not depend on the shell it was started from.
constexpr std::size_t kWorkerStackBytes = std::size_t{4} << 20;

// Bytes that grow with a graph: fixed + perVertex n + perEdge m.
struct LinearBytes {
  double fixed = 0.0;
  double perVertex = 0.0;
  double perEdge = 0.0;
  double at(double vertices, double edges) const {
    return fixed + perVertex * vertices + perEdge * edges;
  }
};

// What a mode holds at its peak besides the Graph: a population of N
// samples on each worker thread, and full-length colourings kept beside the
// populations (the pilot's proper colouring, the bisection's current one,
// the tests' results).
struct RunFootprint {
  int32_t N = 0;
  int32_t threads = 1;
  int32_t keptColorings = 0;
  // Chromatic mode's greedy bounds come first: a simple copy of the graph
  // and DSATUR's and the clique search's lists, freed before any population
  // is made.
  bool boundsFirst = false;
  // The bytes of one sample besides its two lists (sizeof(ColoringSample),
  // which the caller knows and this layer does not).
  std::size_t sampleBytes = 0;
  // What else the mode holds beside the populations for the whole run (the
  // decomposition of a graph counted by parts).
  LinearBytes besides = {};
  // Counted by parts, the samples are colourings of the largest part split,
  // not of the whole graph: its vertices, once the plan has found it (0
  // before, when only the graph and the plan are checked); -1 for the whole
  // graph's.
  int32_t sampleVertices = -1;
  // Elimination tables held while a block is valued exactly, and the block
  // they belong to, which the refusal names (its vertices).
  double tableBytes = 0.0;
  int32_t tableBlockVertices = 0;
  // Chromatic mode with --move tabu: each thread also holds the tabu walk's
  // tables, walkCellBytes for each (vertex, colour) cell, walkVertexBytes
  // a vertex and walkFixedBytes, for the largest k a test may try: n from the trivial start;
  // from the greedy bounds, DSATUR's d colours, and d(d - 1)/2 <= the edges
  // since every pair of its colour classes is joined by an edge. 0 without
  // the walk.
  double walkCellBytes = 0.0;
  double walkVertexBytes = 0.0;
  double walkFixedBytes = 0.0;  // and a fixed part (a walk's move log)
};

// The bytes in use at the peak: the Graph's lists, the kept colourings, and
// the larger of the bounds' lists and the populations: N + 1 samples a
// thread (N, and the one being made before it is copied in; the elites stay
// inside the population), each sample two lists of vertexCount ints, and
// the tabu walk's tables when it runs. (The Gibbs move's scratch is of the
// order of a vertex's degree, already counted with the Graph.) Computed in
// double so that no setting can overflow it.
double residentRunBytes(int32_t vertexCount, int64_t edgeCount, const RunFootprint& run);

// The address space the runs add to what the process holds: the resident
// bytes and each worker thread's stack (kWorkerStackBytes, mapped whole
// when the thread starts).
double addressSpaceRunBytes(int32_t vertexCount, int64_t edgeCount, const RunFootprint& run);

// Checked once the instance is read, before the Graph is built or any sample
// made: throws RunTooLarge (the memoryRefusal message) when the address
// space the runs add exceeds usable.addressSpace or the bytes in use exceed
// usable.resident. Take `usable` when checking (usableMemory()): the
// address space held by then, the edge list being read included, is left
// out of the room.
void checkRunMemory(int32_t vertexCount, int64_t edgeCount, const RunFootprint& run,
                    const UsableMemory& usable);

}  // namespace tintara
