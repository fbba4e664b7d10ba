// The one way the program reports input it cannot work with: an instance
// file that cannot be opened or read or is malformed, a graph or a run too
// large for the memory, a graph without any proper colouring. Whoever finds
// the fault throws; the entry catches it, prints what() on one line after
// whatever the mode has already printed, and exits with status 1.
//
// Kept apart from the failures no check foresees (an allocation that fails
// all the same, a thread that cannot start), which the entry's failure guard
// names in words of its own.
#pragma once

#include <stdexcept>

namespace tintara {

struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;  // what(): one line, no line end
};

}  // namespace tintara
