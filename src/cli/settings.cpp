#include "cli/settings.h"

#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

#include "coloring/coloring_sample.h"
#include "graph/input_error.h"
#include "graph/memory_limit.h"

namespace tintara {

namespace {

template <typename T>
std::string outOfRange(const char* option, T value, const char* allowed) {
  std::ostringstream out;
  out << "Invalid value for option " << option << ": " << value << " (allowed: " << allowed << ")";
  return out.str();
}

std::optional<std::string> checkPopulationSettings(int32_t N, double rho) {
  if (N < 1) return outOfRange("N", N, "N >= 1");
  // Written so that NaN fails too.
  if (!(rho >= 0.0 && rho < 1.0)) return outOfRange("rho", rho, "0 <= rho < 1");
  return std::nullopt;
}

}  // namespace

std::optional<std::string> checkCountingSettings(int32_t colors, int32_t N, double rho,
                                                 double terr) {
  if (colors < 1) return outOfRange("colors", colors, "colors >= 1");
  if (auto error = checkPopulationSettings(N, rho)) return error;
  if (!(terr > 0.0 && std::isfinite(terr))) {
    return outOfRange("terr", terr, "a finite number above 0");
  }
  // The estimate list starts with 0.0, so after m runs its relative error is
  // at least 1 / sqrt(m (m + 1)), whatever the estimates. A target below that
  // bound for the largest run number the counter holds could never be met:
  // the runs would go on until the counter overflowed.
  const double runLimit = std::numeric_limits<int32_t>::max();
  const double smallestTerr = 1.0 / std::sqrt(runLimit * (runLimit + 1.0));
  if (terr < smallestTerr) {
    std::ostringstream allowed;
    allowed << "at least " << smallestTerr << "; a smaller target needs more than "
            << std::numeric_limits<int32_t>::max() << " runs";
    return outOfRange("terr", terr, allowed.str().c_str());
  }
  return std::nullopt;
}

std::optional<std::string> checkChromaticSettings(int32_t N, double rho) {
  return checkPopulationSettings(N, rho);
}

namespace {

// A heap block for `count` ints, with the allocator's header, or nothing.
double listBytes(double count) {
  return count > 0 ? 4.0 * count + 16.0 : 0.0;
}

}  // namespace

double splittingRunBytes(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations) {
  const double n = vertexCount;
  const double graphBytes = n * static_cast<double>(sizeof(std::vector<int32_t>)) +
                            listBytes(2.0 * static_cast<double>(edgeCount));
  const double sampleBytes = static_cast<double>(sizeof(ColoringSample)) + 2.0 * listBytes(n);
  return graphBytes + static_cast<double>(populations) * static_cast<double>(N) * sampleBytes;
}

void checkRunMemory(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations,
                    uint64_t usableBytes) {
  const double needed = splittingRunBytes(vertexCount, edgeCount, N, populations);
  if (needed <= static_cast<double>(usableBytes)) return;
  std::ostringstream what;
  what << "N=" << N << " colorings of " << vertexCount << " vertices";
  if (populations > 1) what << " in each of " << populations << " populations";
  throw InputError(memoryRefusal(needed, what.str(), usableBytes));
}

}  // namespace tintara
