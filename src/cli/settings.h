// Range checks on the run settings, made before a mode starts. Each returns
// the one-line message for the first setting out of range, or nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>


namespace tintara {

// Counting mode uses colors, N, rho and terr.
std::optional<std::string> checkCountingSettings(int32_t colors, int32_t N, double rho,
                                                 double terr);

// Chromatic mode uses N and rho.
std::optional<std::string> checkChromaticSettings(int32_t N, double rho);

// The peak memory, in bytes, of the Graph and `populations` splitting runs
// on it with N samples each (one a thread): a population holds N samples
// (its elites stay inside it), and a sample holds two lists of vertexCount
// ints. (The Gibbs move's scratch is of the order of a vertex's degree,
// already counted with the Graph.) Computed in double so that no setting can
// overflow it.
double splittingRunBytes(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations);

// Checked once the instance is read, before the Graph is built or any sample
// made: throws InputError (the memoryRefusal message) when the runs need
// more than `usableBytes` (usableMemoryBytes() in the program).
void checkRunMemory(int32_t vertexCount, int64_t edgeCount, int32_t N, int32_t populations,
                    uint64_t usableBytes);

}  // namespace tintara
