// Merging a palette down to fewer entries, for colour counts that the described methods
// cannot make directly: Ward's hierarchical clustering (J. H. Ward, "Hierarchical
// grouping to optimize an objective function", 1963) of the entries, each weighted by its
// pixel count. The two clusters whose union adds the least squared error,
// Wa Wb / (Wa + Wb) |Ca - Cb|^2, are merged into their weighted mean until Colors are
// left; ties go to the pair with the lowest indices. Entries without pixels go first.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "image/reduce/KvReduceCommon.h"

namespace kv {

// Merges Palette (entry i used by Counts[i] pixels) down to at most Colors entries, in
// place; Map[i] receives entry i's new index (0 for unused entries). Merged entries are
// the rounded weighted means; the survivors keep their relative order.
void MergePalette(TKvPaletteBuffer& Palette, std::span<const uint64_t, 256> Counts, int32_t Colors,
                  std::array<uint8_t, 256>& Map);

}  // namespace kv
