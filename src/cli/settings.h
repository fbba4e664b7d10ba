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

}  // namespace tintara
