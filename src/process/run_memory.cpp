#include "process/run_memory.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "process/failures.h"

namespace tintara {

namespace {

// A heap block for `count` ints, with the allocator's header, or nothing.
double listBytes(double count) {
  return count > 0 ? 4.0 * count + 16.0 : 0.0;
}

}  // namespace

double residentRunBytes(int32_t vertexCount, int64_t edgeCount, const RunFootprint& run) {
  const double n = vertexCount;
  // One 32-bit offset a vertex, two 32-bit list entries an edge line.
  const double graphBytes = listBytes(n + 1.0) + listBytes(2.0 * static_cast<double>(edgeCount));
  const double sampled = run.sampleVertices >= 0 ? run.sampleVertices : n;
  const double sampleBytes = static_cast<double>(run.sampleBytes) + 2.0 * listBytes(sampled);
  double populationBytes = (static_cast<double>(run.N) + 1.0) * sampleBytes;
  if (run.walkCellBytes > 0) {
    const double greedyColors = std::floor((1.0 + std::sqrt(1.0 + 8.0 * edgeCount)) / 2.0);
    const double colors = run.boundsFirst ? std::min(n, greedyColors) : n;
    populationBytes +=
        run.walkCellBytes * n * colors + run.walkVertexBytes * n + run.walkFixedBytes;
  }
  // The simple graph (an offset a vertex, an entry an edge end), DSATUR's
  // two entries an edge end and half a dozen lists of n, the clique
  // search's five lists of n: an upper bound, since the simple graph merges
  // repeated edges.
  const double edgeEnds = 2.0 * static_cast<double>(edgeCount);
  const double boundsBytes = run.boundsFirst ? listBytes(n + 1.0) + 3.0 * listBytes(edgeEnds) +
                                                   11.0 * listBytes(n) + listBytes(2.0 * n)
                                             : 0.0;
  return graphBytes + static_cast<double>(run.keptColorings) * listBytes(n) +
         run.besides.at(n, static_cast<double>(edgeCount)) + run.tableBytes +
         std::max(boundsBytes, static_cast<double>(run.threads) * populationBytes);
}

double addressSpaceRunBytes(int32_t vertexCount, int64_t edgeCount, const RunFootprint& run) {
  return residentRunBytes(vertexCount, edgeCount, run) +
         static_cast<double>(run.threads) * static_cast<double>(kWorkerStackBytes);
}

void checkRunMemory(int32_t vertexCount, int64_t edgeCount, const RunFootprint& run,
                    const UsableMemory& usable) {
  const double space = addressSpaceRunBytes(vertexCount, edgeCount, run);
  const double resident = residentRunBytes(vertexCount, edgeCount, run);
  const bool spaceFits = space <= static_cast<double>(usable.addressSpace);
  if (spaceFits && resident <= static_cast<double>(usable.resident)) return;
  std::ostringstream what;
  if (run.tableBytes > 0) {
    what << "the elimination tables of a block of " << run.tableBlockVertices
         << (run.tableBlockVertices == 1 ? " vertex" : " vertices");
  } else {
    const int32_t sampled = run.sampleVertices >= 0 ? run.sampleVertices : vertexCount;
    what << "N=" << run.N << (run.N == 1 ? " coloring of " : " colorings of ") << sampled
         << (sampled == 1 ? " vertex" : " vertices");
    if (run.threads > 1) what << " on each of " << run.threads << " threads";
  }
  throw RunTooLarge(spaceFits ? memoryRefusal(resident, what.str(), usable.resident)
                              : memoryRefusal(space, what.str(), usable.addressSpace));
}

}  // namespace tintara
