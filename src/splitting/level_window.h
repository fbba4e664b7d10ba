// The last seven candidate scores of an adaptive splitting run, oldest first.
// When all seven are equal the run has stagnated: the population no longer
// climbs, so no higher level will be reached.
#pragma once

#include <array>
#include <cstddef>

namespace tintara {

class LevelWindow {
 public:
  static constexpr std::size_t kCapacity = 7;

  // Appends `value`, dropping the oldest entry once seven are held.
  void push(double value);
  // True when the window holds seven entries that all equal the first.
  bool stagnated() const;

  std::size_t size() const { return count; }
  double operator[](std::size_t i) const { return values[i]; }

 private:
  std::array<double, kCapacity> values{};
  std::size_t count = 0;
};

}  // namespace tintara
