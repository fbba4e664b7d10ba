// How much memory this process can use, for refusing work that cannot fit
// before it is attempted. Allocations on Linux normally succeed whatever
// their size and fail only when the memory is touched, by the out-of-memory
// killer or a long stall in swap, so a request far beyond the machine must be
// caught by comparing sizes first.
#pragma once

#include <cstdint>

namespace tintara {

// The smallest of: the physical memory, the address-space and data-segment
// limits (setrlimit), and the memory limits of the control groups (v1 and
// v2) on the way from this process's group to the root. UINT64_MAX when
// none is known.
uint64_t usableMemoryBytes();

}  // namespace tintara
