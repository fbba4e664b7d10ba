// Renumbers a colouring's colours without gaps: 0, 1, ... in order of first
// appearance (vertex 0's colour becomes 0, the next colour met becomes 1,
// and so on), and returns how many colours it uses.
//
// Two vertices share a colour afterwards exactly when they did before, so a
// proper colouring stays proper, and the count is an upper bound on the
// chromatic number. Order of first appearance makes the result the same for
// colourings that differ only by naming their colours. Colours must be
// non-negative; O(n + largest colour) time.
#pragma once

#include <cstdint>
#include <span>

namespace tintara {

int32_t compactColors(std::span<int32_t> coloring);

}  // namespace tintara
