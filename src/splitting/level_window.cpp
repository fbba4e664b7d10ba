#include "splitting/level_window.h"

namespace tintara {

void LevelWindow::push(double value) {
  if (count < kCapacity) {
    values[count++] = value;
    return;
  }
  for (std::size_t i = 1; i < kCapacity; ++i) values[i - 1] = values[i];
  values[kCapacity - 1] = value;
}

void LevelWindow::restart() {
  if (count == 0) return;
  values[0] = values[count - 1];
  count = 1;
}

bool LevelWindow::stagnated() const {
  if (count < kCapacity) return false;
  for (std::size_t i = 1; i < kCapacity; ++i) {
    if (values[i] != values[0]) return false;
  }
  return true;
}

}  // namespace tintara
