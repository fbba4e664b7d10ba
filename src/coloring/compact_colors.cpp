#include "coloring/compact_colors.h"

#include <algorithm>
#include <vector>

namespace tintara {

int32_t compactColors(std::span<int32_t> coloring) {
  if (coloring.empty()) return 0;
  const int32_t largest = *std::max_element(coloring.begin(), coloring.end());
  std::vector<int32_t> renamed(static_cast<std::size_t>(largest) + 1, -1);
  int32_t count = 0;
  for (int32_t& c : coloring) {
    if (renamed[c] < 0) renamed[c] = count++;
    c = renamed[c];
  }
  return count;
}

}  // namespace tintara
