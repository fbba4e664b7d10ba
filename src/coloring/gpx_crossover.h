// GPX, the greedy partition crossover of Galinier and Hao ("Hybrid
// evolutionary algorithms for graph coloring", Journal of Combinatorial
// Optimization 3, 1999): a child colouring built from two parents' colour
// classes, for chromatic mode's tests with --crossover gpx.
//
// The child takes its k colours one at a time. Colour c is the largest
// class (the most vertices not yet placed) of parent a when c is even, of
// parent b when c is odd; its vertices not yet placed take colour c in the
// child. After k colours, the vertices left unplaced take a uniform colour
// each. A parent's class is a set of vertices that share a colour, so the
// child inherits whole independent sets where the parents had them, and
// the classes it takes are as large as the parents offer.
//
// Draws, from the child's RandomSource: at colour c, one uniform01 picks
// among the parent's largest classes when more than one ties (in colour
// order); then one uniform01 for each vertex left unplaced, in vertex
// order. Nothing else.
//
// The workspace's lists are grown, never freed, so that a warm crossover
// allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "coloring/coloring_sample.h"

namespace tintara {

struct GpxWorkspace {
  // For each parent, its vertices grouped by colour (members), where each
  // colour's group starts (classStart, k + 1 entries), and how many of each
  // group are still unplaced.
  std::array<std::vector<int32_t>, 2> members;
  std::array<std::vector<int32_t>, 2> classStart;
  std::array<std::vector<int32_t>, 2> unplaced;
  std::vector<int32_t> ties;
  std::vector<uint8_t> placed;
};

// Sets `child`'s colours to the GPX child of `a` and `b` and computes its
// score. All three are colourings of one graph with one number of colours;
// `child` is neither parent.
void gpxCrossover(const ColoringSample& a, const ColoringSample& b, ColoringSample& child,
                  GpxWorkspace& workspace);

// The bytes a workspace holds for n vertices and k colours.
double gpxWorkspaceBytes(double vertexCount, double colorCount);

}  // namespace tintara
