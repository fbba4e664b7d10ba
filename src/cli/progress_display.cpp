#include "cli/progress_display.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace tintara {

namespace {

// Both descriptors are the same terminal device.
bool sameTerminal(int a, int b) {
  struct stat first {};
  struct stat second {};
  return isatty(a) && isatty(b) && fstat(a, &first) == 0 && fstat(b, &second) == 0 &&
         first.st_rdev == second.st_rdev;
}

void writeAll(const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t wrote = write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (wrote <= 0) return;  // a display that cannot be drawn is not an error
    done += static_cast<std::size_t>(wrote);
  }
}

}  // namespace

bool outputSharesTerminal() {
  return sameTerminal(STDOUT_FILENO, STDERR_FILENO);
}

ProgressDisplay ProgressDisplay::onTerminal(std::size_t reportColumn) {
  ProgressDisplay display;
  if (!isatty(STDERR_FILENO)) return display;
  winsize size{};
  std::size_t columns = 80;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) columns = size.ws_col;
  const std::size_t start = sameTerminal(STDOUT_FILENO, STDERR_FILENO) ? reportColumn % columns : 0;
  // One column spare, so that the display never makes the terminal wrap.
  if (start + 1 >= columns) return display;
  display.enabled = true;
  display.width = columns - start - 1;
  return display;
}

ProgressDisplay::ProgressDisplay(ProgressDisplay&& other) noexcept
    : enabled(other.enabled), width(other.width), drawn(other.drawn), lastDraw(other.lastDraw) {
  other.enabled = false;
}

std::string ProgressDisplay::erasing() const {
  // Back over the drawn characters, then clear to the end of the line.
  return drawn > 0 ? std::string(drawn, '\b') + "\033[K" : std::string();
}

void ProgressDisplay::erase() {
  if (drawn == 0) return;
  writeAll(erasing());
  drawn = 0;
}

void ProgressDisplay::show(const std::string& text) {
  if (!enabled) return;
  std::lock_guard<std::mutex> lock(mutex);
  const auto now = std::chrono::steady_clock::now();
  if (lastDraw != std::chrono::steady_clock::time_point{} &&
      now - lastDraw < std::chrono::milliseconds(200)) {
    return;
  }
  lastDraw = now;
  const std::string shown = text.substr(0, width);
  writeAll(erasing() + shown);
  drawn = shown.size();
}

void ProgressDisplay::clear() {
  if (!enabled) return;
  std::lock_guard<std::mutex> lock(mutex);
  erase();
}

}  // namespace tintara
