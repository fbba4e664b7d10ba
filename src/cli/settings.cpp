#include "cli/settings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#include "coloring/coloring_sample.h"
#include "graph/input_error.h"
#include "graph/memory_limit.h"

namespace tintara {

namespace {

template <typename T>
std::string outOfRange(const char* option, T value, const std::string& allowed) {
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

double smallestTerr() {
  const double runLimit = std::numeric_limits<int32_t>::max();
  const double bound = 1.0 / std::sqrt(runLimit * (runLimit + 1.0));
  // Round up in the sixth significant digit: 4.65661e-10 lies just below
  // the bound, so the message prints (and accepts) 4.65662e-10.
  char text[32];
  std::snprintf(text, sizeof text, "%.5e", bound);
  double printed = std::strtod(text, nullptr);
  if (printed < bound) {
    const double digit = std::pow(10.0, std::floor(std::log10(printed)) - 5.0);
    std::snprintf(text, sizeof text, "%.5e", printed + digit);
    printed = std::strtod(text, nullptr);
  }
  return printed;
}

std::optional<std::string> checkSettings(const RunSettings& s) {
  if (s.chrom != 0 && s.chrom != 1) return outOfRange("chrom", s.chrom, "0 or 1");
  if (s.chrom == 0 && s.colors < 1) return outOfRange("colors", s.colors, "colors >= 1");
  if (auto error = checkPopulationSettings(s.N, s.rho)) return error;
  if (s.chrom == 0 && !(s.terr >= smallestTerr() && s.terr < 1.0)) {
    std::ostringstream allowed;
    allowed << smallestTerr() << " <= terr < 1";
    return outOfRange("terr", s.terr, allowed.str());
  }
  if (s.workers < 0 || s.workers > kMaxWorkers) {
    return outOfRange("workers", s.workers,
                      "0 <= workers <= " + std::to_string(kMaxWorkers) +
                          "; 0 means one per hardware thread");
  }
  return std::nullopt;
}

std::optional<uint64_t> parseSeed(const std::string& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string seedError(const std::string& text) {
  // The value as typed, shown safely: it may be anything.
  std::string shown;
  for (char c : text.substr(0, 40)) {
    shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  }
  if (text.size() > 40) shown += "...";
  return outOfRange("seed", shown, "an integer from 0 to 18446744073709551615");
}

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
