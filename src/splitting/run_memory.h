// The memory a mode's runs take, checked before they start: allocations on
// Linux normally succeed whatever their size and fail only when the memory
// is touched, so work that cannot fit is refused by comparing sizes first.
#pragma once

#include <cstdint>

namespace tintara {

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
