#include "splitting/run_memory.h"

#include <sstream>
#include <string>

#include "coloring/coloring_sample.h"
#include "graph/input_error.h"
#include "graph/memory_limit.h"

namespace tintara {

namespace {

// A heap block for `count` ints, with the allocator's header, or nothing.
double listBytes(double count) {
  return count > 0 ? 4.0 * count + 16.0 : 0.0;
}

// The address space a thread's stack takes (glibc's default, 8 MiB).
constexpr double kThreadStackBytes = 8.0 * 1024 * 1024;

}  // namespace

double splittingRunBytes(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations) {
  const double n = vertexCount;
  // One 32-bit offset a vertex, two 32-bit list entries an edge line.
  const double graphBytes = listBytes(n + 1.0) + listBytes(2.0 * static_cast<double>(edgeCount));
  const double sampleBytes = static_cast<double>(sizeof(ColoringSample)) + 2.0 * listBytes(n);
  // One sample more than N: the one being made before it is copied in.
  const double populationBytes = (static_cast<double>(N) + 1.0) * sampleBytes + kThreadStackBytes;
  return graphBytes + static_cast<double>(populations) * populationBytes;
}

void checkRunMemory(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations,
                    uint64_t usableBytes) {
  const double needed = splittingRunBytes(vertexCount, edgeCount, N, populations);
  if (needed <= static_cast<double>(usableBytes)) return;
  std::ostringstream what;
  what << "N=" << N << " colorings of " << vertexCount << " vertices";
  if (populations > 1) what << " on each of " << populations << " threads";
  throw InputError(memoryRefusal(needed, what.str(), usableBytes));
}

}  // namespace tintara
