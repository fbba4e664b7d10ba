// How much memory this process can use, for refusing work that cannot fit
// before it is attempted. Allocations on Linux normally succeed whatever
// their size and fail only when the memory is touched, by the out-of-memory
// killer or a long stall in swap, so a request far beyond the machine must be
// caught by comparing sizes first.
#pragma once

#include <cstdint>
#include <string>

namespace tintara {

// The smallest of: the physical memory, the address-space and data-segment
// limits (setrlimit), and the memory limits of the control groups (v1 and
// v2) on the way from this process's group to the root. UINT64_MAX when
// none is known.
uint64_t usableMemoryBytes();

// The one message for work refused for its size: "Not enough memory for this
// run: about X GiB needed for WHAT, Y GiB usable", where WHAT names what does
// not fit (the graph, or the populations of colourings).
std::string memoryRefusal(double neededBytes, const std::string& what, uint64_t usableBytes);

}  // namespace tintara
