// The run settings and the checks made on them before a mode starts. Each
// check returns the one-line message for the first setting out of range, or
// nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tintara {

struct RunSettings {
  std::string problem;
  int32_t colors = 3;
  int32_t N = 1000;
  double rho = 0.2;
  double terr = 0.03;
  int32_t chrom = 0;
  uint64_t seed = 0;
  int32_t workers = 1;  // threads, at least 1 once resolved
};

// The largest number of threads a run takes.
constexpr int32_t kMaxWorkers = 1024;

// chrom first (0 or 1), then what the chosen mode uses: counting mode
// colors, N, rho and terr; chromatic mode N and rho; both workers.
std::optional<std::string> checkSettings(const RunSettings& settings);

// The smallest target relative error accepted: after m runs the relative
// error is at least 1 / sqrt(m (m + 1)) whatever the estimates (the list
// starts with 0.0), so a smaller target could not be met within 2^31 - 1
// runs. Rounded up to the 6 digits the message prints, so that the printed
// bound is itself accepted.
double smallestTerr();

// A seed written as a whole decimal number from 0 to 2^64 - 1, or nothing.
std::optional<uint64_t> parseSeed(const std::string& text);

// The message for a seed that parseSeed refuses.
std::string seedError(const std::string& text);

// The peak memory, in bytes, of the Graph and `populations` splitting runs
// on it with N samples each (one a thread): a population holds N samples
// (its elites stay inside it), a sample holds two lists of vertexCount ints,
// and each thread has its stack. (The Gibbs move's scratch is of the order
// of a vertex's degree, already counted with the Graph.) Computed in double
// so that no setting can overflow it.
double splittingRunBytes(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations);

// Checked once the instance is read, before the Graph is built or any sample
// made: throws InputError (the memoryRefusal message) when the runs need
// more than `usableBytes` (usableMemoryBytes() in the program).
void checkRunMemory(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations,
                    uint64_t usableBytes);

}  // namespace tintara
