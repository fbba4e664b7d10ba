// How much memory this process can use, for refusing work that cannot fit
// before it is attempted. Allocations on Linux normally succeed whatever
// their size and fail only when the memory is touched, by the out-of-memory
// killer or a long stall in swap, so a request far beyond the machine must be
// caught by comparing sizes first.
//
// Limits come in two kinds that count different things. The address-space
// and data-segment limits (setrlimit) count every mapping when it is made,
// touched or not: what the process already holds, thread stacks, malloc's
// reservations. The physical memory and control-group limits count only
// pages in use. A check compares each kind with what that kind counts, so
// the second is never charged for address space that is reserved and never
// touched.
#pragma once

#include <cstdint>
#include <string>

namespace tintara {

struct UsableMemory {
  // The address space still free: the smaller of the address-space limit
  // less the address space the process holds (VmSize) and the data-segment
  // limit less its data (VmData), read when the figure is taken.
  // UINT64_MAX when neither limit is set.
  uint64_t addressSpace = UINT64_MAX;
  // The smallest of the physical memory and the memory limits of the control
  // groups (v1 and v2) on the way from this process's group to the root.
  // UINT64_MAX when none is known.
  uint64_t resident = UINT64_MAX;
};

// The figures as they stand now: take them where the check is made, since
// the address space held grows as the program goes on.
UsableMemory usableMemory();

// The smaller of the two figures: the room for allocations that are touched
// as soon as they are made (the graph being read).
uint64_t usableMemoryBytes();

// Under an address-space or data-segment limit, makes every thread allocate
// from malloc's one main arena. glibc otherwise gives each new thread an
// arena of its own (up to 8 a core) and reserves 64 MiB of address space for
// each, 128 MiB while it makes one; such a limit counts the reservation in
// full though it is never touched, so four threads would need half a GiB of
// it. Without such a limit nothing changes: the reservations cost nothing
// and each thread keeps its own arena. The threads allocate when a run
// starts and ends, never in its loops, so one arena adds no contention that
// matters. Call before any thread is started.
void shareMallocArenaUnderAddressLimit();

// The one message for work refused for its size: "Not enough memory for this
// run: about X GiB needed for WHAT, Y GiB usable", where WHAT names what does
// not fit (the graph, or the populations of colourings); a figure below a
// GiB is given in MiB.
std::string memoryRefusal(double neededBytes, const std::string& what, uint64_t usableBytes);

}  // namespace tintara
