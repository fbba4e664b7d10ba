// The last seven candidate scores of an adaptive splitting run, oldest first.
// When all seven are equal the run has stagnated: the population no longer
// climbs, so no higher level will be reached.
//
// Why seven: the window must be long enough that a population still
// climbing rarely repeats its candidate that many times (each iteration
// regrows the whole population above the level, so a climbing candidate
// moves within a few iterations), and short enough that a test at too few
// colours ends soon, since a failing test is the costliest step of a
// chromatic search. Seven is the length the method has used from the
// start, every recorded report depends on it, and a longer window passed no
// test that seven failed where it was measured (docs/tabu.md: windows of
// 14 and 28 at the best known number of colours). A tabu test does not
// wait longer where its population stands still: it lengthens its walks
// and restarts the window (adaptive_splitting.h).
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
  // Keeps the newest entry alone, so that six more equal ones are needed
  // before the window stagnates again (a tabu test that lengthened its
  // walks gives them a full window).
  void restart();

  std::size_t size() const { return count; }
  double operator[](std::size_t i) const { return values[i]; }

 private:
  std::array<double, kCapacity> values{};
  std::size_t count = 0;
};

}  // namespace tintara
