// A call into the program's engine from Python, made so that Python stays
// responsive: the work runs on a thread of its own while the calling thread,
// the GIL released, waits in short slices and lets Python run its signal
// handlers between them. Python keeps its own handlers (the module installs
// none): when one raises, KeyboardInterrupt on Ctrl-C, the work is asked to
// stop through `stop`, which its Halt reads (Halt::stoppedBy), as SIGINT
// stops the program, and the exception is raised once the work has ended.
#pragma once

#include <atomic>
#include <functional>

namespace tintara::python {

// Runs `work`, which must not touch Python objects, to its end; rethrows
// what it throws. Throws pybind11::error_already_set for a signal handler's
// exception, after setting `stop` and waiting for the work. Called with the
// GIL held.
void callInBackground(std::atomic<bool>& stop, const std::function<void()>& work);

}  // namespace tintara::python
