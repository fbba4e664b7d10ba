// The program's entry: options, help, dispatch to a mode, and the failure
// guard that turns any escaping standard exception into the options listing
// and exit status 1. Returns the process exit status.
#pragma once

namespace tintara {

int runTintara(int argc, char** argv);

}  // namespace tintara
