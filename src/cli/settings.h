// Range checks on the run settings, made before a mode starts. Each returns
// the one-line message for the first setting out of range, or nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "graph/graph.h"

namespace tintara {

// Counting mode uses colors, N, rho and terr.
std::optional<std::string> checkCountingSettings(int32_t colors, int32_t N, double rho,
                                                 double terr);

// Chromatic mode uses N and rho.
std::optional<std::string> checkChromaticSettings(int32_t N, double rho);

// The peak memory, in bytes, of the Graph and one splitting run on it with N
// samples: the Population holds N samples (its elites stay inside it), and a
// sample holds two lists of vertexCount ints. (The Gibbs move's scratch is of
// the order of a vertex's degree, already counted with the Graph.)
// Computed in double so that no setting can overflow it.
double splittingRunBytes(const Graph& graph, int32_t N);

// Checked once the Graph is read, before any sample is made: the one-line
// message when a run needs more than `usableBytes` (usableMemoryBytes() in
// the program), or nothing.
std::optional<std::string> checkRunMemory(const Graph& graph, int32_t N, uint64_t usableBytes);

// Thrown by a mode that found its run too large; what() is the message.
struct RunTooLarge : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace tintara
