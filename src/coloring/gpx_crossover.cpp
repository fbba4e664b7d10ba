#include "coloring/gpx_crossover.h"

#include <cassert>

namespace tintara {

namespace {

// Groups the vertices of `parent` by colour, each group in vertex order (a
// counting sort).
void groupByColor(const ColoringSample& parent, std::vector<int32_t>& members,
                  std::vector<int32_t>& classStart, std::vector<int32_t>& unplaced) {
  const int32_t n = parent.vertexCount;
  const int32_t k = parent.colorCount;
  const int32_t* colors = parent.vertexColors.data();
  classStart.assign(static_cast<std::size_t>(k) + 1, 0);
  for (int32_t v = 0; v < n; ++v) ++classStart[colors[v] + 1];
  for (int32_t c = 0; c < k; ++c) classStart[c + 1] += classStart[c];
  unplaced.assign(static_cast<std::size_t>(k), 0);
  members.resize(static_cast<std::size_t>(n));
  for (int32_t v = 0; v < n; ++v) {
    const int32_t c = colors[v];
    members[classStart[c] + unplaced[c]++] = v;
  }
}

}  // namespace

void gpxCrossover(const ColoringSample& a, const ColoringSample& b, ColoringSample& child,
                  GpxWorkspace& w) {
  assert(a.vertexCount == b.vertexCount && a.vertexCount == child.vertexCount);
  assert(a.colorCount == b.colorCount && a.colorCount == child.colorCount);
  const int32_t n = child.vertexCount;
  const int32_t k = child.colorCount;
  const ColoringSample* parents[2] = {&a, &b};
  for (int p = 0; p < 2; ++p)
    groupByColor(*parents[p], w.members[p], w.classStart[p], w.unplaced[p]);
  w.placed.assign(static_cast<std::size_t>(n), 0);
  if (w.ties.capacity() < static_cast<std::size_t>(k)) w.ties.reserve(static_cast<std::size_t>(k));
  RandomSource& random = *child.randomSource;
  int32_t* colors = child.vertexColors.data();
  int32_t left = n;
  for (int32_t c = 0; c < k && left > 0; ++c) {
    const int p = c % 2;
    const std::vector<int32_t>& unplaced = w.unplaced[p];
    int32_t largest = 0;
    w.ties.clear();
    for (int32_t d = 0; d < k; ++d) {
      if (unplaced[d] < largest) continue;
      if (unplaced[d] > largest) {
        largest = unplaced[d];
        w.ties.clear();
      }
      w.ties.push_back(d);
    }
    const int32_t taken =
        w.ties.size() == 1
            ? w.ties[0]
            : w.ties[scaledIndex(static_cast<int32_t>(w.ties.size()), random.uniform01())];
    const int32_t* other = parents[1 - p]->vertexColors.data();
    const std::vector<int32_t>& members = w.members[p];
    for (int32_t i = w.classStart[p][taken]; i < w.classStart[p][taken + 1]; ++i) {
      const int32_t v = members[i];
      if (w.placed[v]) continue;
      w.placed[v] = 1;
      colors[v] = c;
      --w.unplaced[1 - p][other[v]];
      --left;
    }
    w.unplaced[p][taken] = 0;
  }
  for (int32_t v = 0; v < n && left > 0; ++v) {
    if (w.placed[v]) continue;
    colors[v] = scaledIndex(k, random.uniform01());
    --left;
  }
  child.computeScore();
}

double gpxWorkspaceBytes(double vertexCount, double colorCount) {
  // Two lists of members and the placed flags; per parent two lists of k.
  return 9.0 * vertexCount + 4.0 * (5.0 * colorCount + 2.0) + 6.0 * 16.0;
}

}  // namespace tintara
