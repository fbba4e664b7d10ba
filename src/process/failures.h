// The failures the program names in words of its own. Whoever finds the
// fault throws; the entry catches it and ends the program with one line
// and exit status 1.
//
// - InputError: input the program cannot work with (an instance file that
//   cannot be opened or read or is malformed, a graph or a run too large
//   for the memory, a graph without any proper colouring, a journal it
//   cannot use). The line goes after whatever the mode has already printed.
//   RunTooLarge is the InputError of work refused for its size (the
//   memoryRefusal message), told apart for an embedding that reports it as
//   its own out-of-memory error (the Python module's MemoryError).
// - WriteError: a file or stream that could not be written ("PATH:
//   reason", or the reason alone for standard output); reported as "write
//   error: ..." on standard error, since standard output may be what failed.
// - ThreadStartError: a thread the system would not start (no room for its
//   stack, too many threads), with the reason in code().
//
// Kept apart from the failures no check foresees (an allocation that fails
// all the same), which the entry's failure guard names generically.
#pragma once

#include <stdexcept>
#include <system_error>

namespace tintara {

struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;  // what(): one line, no line end
};

struct RunTooLarge : InputError {
  using InputError::InputError;
};

struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ThreadStartError : std::system_error {
  using std::system_error::system_error;
};

}  // namespace tintara
