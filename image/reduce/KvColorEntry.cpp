// The weighted-variance division: channel choice, leaf colours and DivideColorEntries.
#include "image/reduce/KvColorEntry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kv {

namespace reduce_detail {

TDivision ChooseDivision(const TRangeStats& S) {
  // Every operation below is one rounded extended-precision operation, in this order;
  // the near-ties between weighted variances are decided by exactly these roundings.
  const long double N = static_cast<long double>(S.Weight);
  long double Mean[3];
  long double Var[3];
  for (int C = 0; C < 3; ++C) {
    Mean[C] = static_cast<long double>(S.Sum[C]) / N;
    const long double MeanSq = Mean[C] * Mean[C];
    Var[C] = static_cast<long double>(S.SumSq[C]) / N - MeanSq;
  }
  const long double WR = 3 * Var[kRed];
  const long double WG = 4 * Var[kGreen];
  const long double WB = 2 * Var[kBlue];
  int Channel = kBlue;
  if (WR >= WG && WR >= WB)
    Channel = kRed;
  else if (WG >= WR && WG >= WB)
    Channel = kGreen;
  return TDivision{Channel, Mean[Channel], static_cast<uint32_t>(S.Sum[Channel] / S.Weight)};
}

namespace {

// Nearest integer, an exact half to the even neighbour; M lies in 0..255. M - floor(M) is
// exact, so this does not depend on the floating-point rounding mode.
uint8_t round_half_even(long double M) {
  const long double F = std::floor(M);
  const long double Frac = M - F;
  int I = static_cast<int>(F);
  if (Frac > 0.5L || (Frac == 0.5L && (I & 1) != 0)) ++I;
  return static_cast<uint8_t>(I);
}

}  // namespace

RGBQUAD MeanColor(const TRangeStats& S) {
  const long double N = static_cast<long double>(S.Weight);
  RGBQUAD Q{};
  Q.rgbRed = round_half_even(static_cast<long double>(S.Sum[kRed]) / N);
  Q.rgbGreen = round_half_even(static_cast<long double>(S.Sum[kGreen]) / N);
  Q.rgbBlue = round_half_even(static_cast<long double>(S.Sum[kBlue]) / N);
  Q.rgbReserved = 0;
  return Q;
}

void ProgressEmptyRange(int Depth, int MaxDepth, const TKvProgressProc& Progress) {
  const int Boxes = 1 << (MaxDepth - Depth);
  for (int I = 0; I < Boxes; ++I) ProgressStep(Progress);
}

}  // namespace reduce_detail

using namespace reduce_detail;

namespace {

TRangeStats entry_stats(const TKvColorEntry* E, size_t Lo, size_t Hi) {
  TRangeStats S;
  for (size_t I = Lo; I < Hi; ++I) {
    const uint64_t W = static_cast<uint64_t>(E[I].Count);
    const uint64_t V[3] = {static_cast<uint64_t>(E[I].Red), static_cast<uint64_t>(E[I].Green),
                           static_cast<uint64_t>(E[I].Blue)};
    S.Weight += W;
    for (int C = 0; C < 3; ++C) {
      S.Sum[C] += W * V[C];
      S.SumSq[C] += W * V[C] * V[C];
    }
  }
  return S;
}

int32_t channel_value(const TKvColorEntry& E, int Channel) {
  return Channel == kRed ? E.Red : Channel == kGreen ? E.Green : E.Blue;
}

}  // namespace

void DivideColorEntries(size_t Lo, size_t Hi, int Depth, int MaxDepth, TKvColorEntry* Entries,
                        TKvPaletteBuffer& Palette, const TKvProgressProc& Progress) {
  AssertDIB(MaxDepth >= 0 && MaxDepth <= 8 && Depth <= MaxDepth, "DivideColorEntries: Invalid Depth");
  if (Lo == Hi) {
    ProgressEmptyRange(Depth, MaxDepth, Progress);
    return;
  }
  const TRangeStats S = entry_stats(Entries, Lo, Hi);
  // Callers leave out colours without pixels; a range of them would have no mean.
  AssertDIB(S.Weight != 0, "DivideColorEntries: Entries Without Pixels");
  if (Depth == MaxDepth) {
    const int32_t Index = Palette.Count;
    Palette.Colors[static_cast<size_t>(Index)] = MeanColor(S);
    for (size_t I = Lo; I < Hi; ++I) Entries[I].Count = Index;
    ++Palette.Count;
    ProgressStep(Progress);
    return;
  }
  const TDivision D = ChooseDivision(S);
  const size_t Split = PartitionRange(
      Lo, Hi, D.Cut,
      [Entries, C = D.Channel](size_t I) { return static_cast<uint32_t>(channel_value(Entries[I], C)); },
      [Entries](size_t I, size_t J) { std::swap(Entries[I], Entries[J]); });
  DivideColorEntries(Split, Hi, Depth + 1, MaxDepth, Entries, Palette, Progress);
  DivideColorEntries(Lo, Split, Depth + 1, MaxDepth, Entries, Palette, Progress);
}

void DivideIntoTable(std::vector<TKvColorEntry>& Entries, int MaxDepth, TKvPaletteBuffer& Palette,
                     const TKvProgressProc& Progress, std::span<uint8_t> Table) {
  Palette.Count = 0;
  DivideColorEntries(0, Entries.size(), 0, MaxDepth, Entries.data(), Palette, Progress);
  std::fill(Table.begin(), Table.end(), uint8_t{0});
  for (const TKvColorEntry& E : Entries) Table[static_cast<size_t>(E.Key)] = static_cast<uint8_t>(E.Count);
}

}  // namespace kv
