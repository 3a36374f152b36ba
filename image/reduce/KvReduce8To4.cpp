// 256-colour to 16-colour reduction. The old colour-table entries, each weighted by the
// number of pixels that use it, are divided by the weighted-variance rule
// (DivideColorEntries) to depth 4; each old index is then mapped to its new one through a
// 256-byte table. No dithering.
#include <algorithm>
#include <array>
#include <vector>

#include "image/reduce/KvColorEntry.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceCommon.h"
#include "image/reduce/KvReduceStages.h"

namespace kv {

using namespace reduce_detail;

void Make4BitPaletteTable(const TKvDIBInfo& Src, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                          std::span<uint8_t, 256> Table) {
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 8, 4, "Make4BitPaletteTable", DstSize);
  std::array<uint64_t, 256> Counts{};
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* Row = G.SrcRow(Src, Y);
    for (int64_t X = 0; X < G.Width; ++X) ++Counts[Row[X]];
  }

  // Every colour-table entry takes part, whatever biClrUsed says; a pixel value beyond the
  // used entries still stands for its entry's colour. Unused entries drop out here.
  std::vector<TKvColorEntry> Entries;
  for (int I = 0; I < 256; ++I) {
    if (Counts[static_cast<size_t>(I)] == 0) continue;
    TKvColorEntry E;
    E.Red = Src.Colors[I].rgbRed;
    E.Green = Src.Colors[I].rgbGreen;
    E.Blue = Src.Colors[I].rgbBlue;
    E.Count = static_cast<int64_t>(Counts[static_cast<size_t>(I)]);
    E.Key = I;
    Entries.push_back(E);
  }

  DivideIntoTable(Entries, kMaxDepth16, Palette, Progress, Table);
}

void Convert8BitRGBTo4BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress) {
  if (Src.Header.biBitCount != 8 || Src.Header.biCompression != kBiRGB)
    throw EKvDIBBadDIBType("Convert8BitRGBTo4BitRGB: Invalid Bitcount or Compression");
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 8, 4, "Convert8BitRGBTo4BitRGB", DstSize);
  TFileMapBlock Block(DstSize);  // zero-filled: row padding stays 0
  std::array<uint8_t, 256> Table{};
  TKvPaletteBuffer Palette;
  Make4BitPaletteTable(Src, Palette, Progress, Table);
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* S = G.SrcRow(Src, Y);
    PackNibbleRow(G.DstRow(Block.Bits(), Y), G.Width, [S, &Table](int64_t X) { return Table[S[X]]; });
  }
  FillReducedDestination(Src, Dst, Block, 4, Palette);
}

}  // namespace kv
