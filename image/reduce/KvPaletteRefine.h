// Refinement of a palette on weighted colour points: Lloyd's k-means iterations (S. P.
// Lloyd, "Least squares quantization in PCM", 1982), each point weighted by its pixel
// count, with the bounds of G. Hamerly ("Making k-means even faster", 2010) so that a
// point is measured again only when its centre may have changed. Centres are the exact
// means of their points (integer sums divided once), so the result depends on the points
// and the seeds only, never on the order of additions.
//
// Entries without points (seeds the division could not make, or centres that lost every
// point) are seeded again by splitting: each takes the position of the point that adds
// the most weighted squared error to its cluster, from clusters of two points or more.
// At the end the centres are rounded to 8-bit colours, every point is assigned to its
// nearest rounded entry, and an entry left without points takes a point of its own as
// above (pinned to it, so it cannot lose it again); entries that still have no point
// (fewer points than entries) are dropped. So every entry of the result is used by a
// point, and there are as many entries as asked whenever there are as many points.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "image/reduce/KvColorPoints.h"
#include "image/reduce/KvNearestColor.h"
#include "image/reduce/KvReduceCommon.h"

namespace kv {

struct TKvRefineSettings {
  int32_t Colors = 256;  // entries wanted, 1..256
  int Iterations = 8;    // Lloyd iterations at most; they stop early once no point moves
  // false: every point is measured against every centre in every iteration (the plain
  // formulation); the result is the same.
  bool Pruned = true;
};

struct TKvRefinedPalette {
  TKvPaletteBuffer Palette;         // every entry used by at least one point
  std::vector<uint8_t> Assignment;  // palette index of each point
  int Iterations = 0;               // Lloyd iterations run
};

// Seeds by greedy division: starting from one box of all points, the box of the largest
// squared error is split at the mean of its channel of largest spread, until Colors
// boxes (or every box holds one colour); each box's seed is its exact mean, and SeedOf
// receives each point's box. This is the variance-greedy order of X. Wu's quantizer
// ("Efficient statistical computations for optimal color quantization", 1991), on the
// points instead of a cumulative grid.
std::vector<TKvColorF> GreedySeeds(std::span<const TKvColorPoint> Points, int32_t Colors,
                                   std::vector<uint8_t>& SeedOf);

// Refines Seeds (at most Settings.Colors, may be fewer) on Points (not empty). SeedOf,
// when not empty, gives for each point a seed that is probably near it (such as the box
// of the division that made the seeds); it only speeds up the first assignment. Step is
// called once after each iteration.
TKvRefinedPalette RefinePalette(std::span<const TKvColorPoint> Points, std::span<const TKvColorF> Seeds,
                                std::span<const uint8_t> SeedOf, const TKvRefineSettings& Settings,
                                const std::function<void()>& Step);

}  // namespace kv
