// Small pieces of the program's own sentences, so that every message says
// them alike.
#pragma once

#include <cstdint>
#include <string>

#include "process/halt.h"

namespace tintara {

// "1 run", "132 runs": the count and the noun, singular for 1 (`plural`
// where it is not the noun and an s).
inline std::string counted(int64_t count, const std::string& noun, const std::string& plural = "") {
  return std::to_string(count) + " " + (count == 1 ? noun : plural.empty() ? noun + "s" : plural);
}

// What stopped the work, as a sentence starts: "interrupted" for a signal,
// "stopped by --max-time" for the time budget.
inline std::string haltWords(HaltCause cause) {
  return cause == HaltCause::OutOfTime ? "stopped by --max-time" : "interrupted";
}

}  // namespace tintara
