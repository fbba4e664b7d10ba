// A one-line progress display on standard error, for work that prints
// nothing for a long time (a pilot run on a large graph, a chromatic
// search). It is drawn only when standard error is a terminal, never on
// standard output, and redrawn at most five times a second.
//
// The display stands where the report's cursor stands: at the start of a
// line in counting mode, right after the report line's opening in chromatic
// mode (when standard output is the same terminal). clear() erases it and
// puts the cursor back there, so the report, written after clear(), reads
// exactly as it would without the display.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace tintara {

// Whether standard output and standard error are one terminal: a line on
// standard error would then land inside a report line left open there.
bool outputSharesTerminal();

class ProgressDisplay {
 public:
  // A display that draws nothing.
  ProgressDisplay() = default;
  // Active when standard error is a terminal. `reportColumn` is how many
  // characters standard output has written on the current line, which
  // matters only when standard output is the same terminal.
  static ProgressDisplay onTerminal(std::size_t reportColumn);

  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;
  ProgressDisplay(ProgressDisplay&& other) noexcept;
  // Erases what is still drawn, so that a run ended by an error leaves no
  // display before the error's message.
  ~ProgressDisplay() { clear(); }

  bool active() const { return enabled; }
  // Shows `text` in place of the current display, unless a text was drawn
  // less than 0.2 s ago (then this one is dropped). Thread-safe.
  void show(const std::string& text);
  // Erases the display at once. Thread-safe.
  void clear();

 private:
  void erase();  // with the lock held
  // What takes the cursor back over the drawn text and clears the line.
  std::string erasing() const;

  bool enabled = false;
  std::size_t width = 0;  // characters available to the display
  std::size_t drawn = 0;  // characters now on the screen
  std::chrono::steady_clock::time_point lastDraw{};
  std::mutex mutex;
};

}  // namespace tintara
