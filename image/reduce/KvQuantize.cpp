// The quantizer's driver: checks, the method's palette, the mapping or the dithering, the
// destination, and progress spread over the stages.
#include "image/reduce/KvQuantize.h"

#include <array>
#include <bit>
#include <string>
#include <vector>

#include "image/reduce/KvColorEntry.h"
#include "image/reduce/KvColorPoints.h"
#include "image/reduce/KvDither.h"
#include "image/reduce/KvPaletteMerge.h"
#include "image/reduce/KvPaletteRefine.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceCommon.h"

namespace kv {

using namespace reduce_detail;

namespace {

constexpr const char* kRoutine = "QuantizeTrueColor";

// Spreads a fixed number of progress calls over stages: each stage is given a share of
// the calls and reports its own units of work, which are turned into calls in proportion.
class TStagedProgress {
 public:
  TStagedProgress(const TKvProgressProc& Progress, int32_t Total) : m_Progress(Progress), m_Total(Total) {}

  // Ends the stage before (its share in full) and begins one of Share calls and Units units.
  void Stage(int32_t Share, int64_t Units) {
    EmitTo(m_Start + m_Share);
    m_Start = m_Emitted;
    m_Share = std::min(Share, m_Total - m_Start);
    m_Units = std::max<int64_t>(Units, 1);
    m_Done = 0;
  }
  void Unit() {
    ++m_Done;
    EmitTo(m_Start +
           static_cast<int32_t>(static_cast<int64_t>(m_Share) * std::min(m_Done, m_Units) / m_Units));
  }
  void Finish() { EmitTo(m_Total); }
  TKvProgressProc UnitProc() {
    return [this] { Unit(); };
  }

 private:
  void EmitTo(int32_t Target) {
    for (; m_Emitted < Target; ++m_Emitted)
      if (m_Progress) m_Progress();
  }
  const TKvProgressProc& m_Progress;
  int32_t m_Total;
  int32_t m_Emitted = 0;
  int32_t m_Start = 0;
  int32_t m_Share = 0;
  int64_t m_Units = 1;
  int64_t m_Done = 0;
};

void check_options(const TKvDIBInfo& Src, const TKvQuantizeOptions& O) {
  if (Src.Header.biBitCount != 24) throw EKvDIBBadDIBType(std::string(kRoutine) + ": Invalid Bitcount");
  if (O.Colors < kMinQuantizeColors || O.Colors > kMaxQuantizeColors)
    throw EKvDIBInvalidDIBPara(std::string(kRoutine) + ": Invalid Color Count");
  if (O.Method > kvQmBest) throw EKvDIBInvalidDIBPara(std::string(kRoutine) + ": Invalid Method");
  if (O.Dither > kvDmFloydSteinberg)
    throw EKvDIBInvalidDIBPara(std::string(kRoutine) + ": Invalid Dither Mode");
}

// normal and fine: the exact routine, then (for other counts) a merge, or the dithering.
void quantize_described(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvQuantizeOptions& O,
                        const TKvProgressProc& Progress) {
  const int DstBits = QuantizeBitCount(O.Colors);
  const bool Fine = O.Method == kvQmFine;
  using TRoutine = void (*)(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&);
  const TRoutine Routine = DstBits == 8
                               ? (Fine ? ConvertTrueColorTo8BitRGBHigh : ConvertTrueColorTo8BitRGBLow)
                               : (Fine ? ConvertTrueColorTo4BitRGBHigh : ConvertTrueColorTo4BitRGBLow);
  const bool Exact = O.Colors == (1 << DstBits);
  if (Exact && O.Dither == kvDmNone) {
    Routine(Src, Dst, Progress);
    return;
  }
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, DstBits, kRoutine, DstSize);
  TStagedProgress Staged(Progress, QuantizeProgressTotal(O));
  TKvOwnedInfo Reduced;
  const bool Dither = O.Dither != kvDmNone;
  Staged.Stage(Dither ? QuantizeProgressTotal(O) / 2 : QuantizeProgressTotal(O), 1 << DstBits);
  {
    TKvDIBInfo Out{};
    Routine(Src, Out, Staged.UnitProc());
    Reduced = TKvOwnedInfo::Adopt(Out);
  }

  TKvPaletteBuffer Palette;
  Palette.Count = static_cast<int32_t>(Reduced.Info().Header.biClrUsed);
  for (int32_t I = 0; I < Palette.Count; ++I)
    Palette.Colors[static_cast<size_t>(I)] = Reduced.Info().Colors[I];
  std::array<uint64_t, 256> Counts{};
  int32_t ReducedSize = 0;
  const TKvRowGeometry R = CheckedReduction(Reduced.Info(), DstBits, DstBits, kRoutine, ReducedSize);
  for (int64_t Y = 0; Y < R.Height; ++Y) {
    const uint8_t* Row = Reduced.Info().Bits + Y * R.SrcStride;
    for (int64_t X = 0; X < R.Width; ++X)
      ++Counts[DstBits == 8 ? Row[X] : (Row[X >> 1] >> (X & 1 ? 0 : 4)) & 15];
  }
  std::array<uint8_t, 256> Map{};
  for (size_t I = 0; I < 256; ++I) Map[I] = static_cast<uint8_t>(I);
  if (Palette.Count > O.Colors) MergePalette(Palette, Counts, O.Colors, Map);

  TFileMapBlock Block(DstSize);
  Staged.Stage(QuantizeProgressTotal(O), G.Height);
  if (Dither) {
    DitherFloydSteinberg(Src, G, Palette, Block.Bits(), DstBits, Staged.UnitProc());
  } else {
    for (int64_t Y = 0; Y < G.Height; ++Y) {
      const uint8_t* S = Reduced.Info().Bits + Y * R.SrcStride;
      uint8_t* D = G.DstRow(Block.Bits(), Y);
      if (DstBits == 8) {
        for (int64_t X = 0; X < G.Width; ++X) D[X] = Map[S[X]];
      } else {
        PackNibbleRow(D, G.Width, [S, &Map](int64_t X) { return Map[(S[X >> 1] >> (X & 1 ? 0 : 4)) & 15]; });
      }
      Staged.Unit();
    }
  }
  Staged.Finish();
  FillReducedDestination(Src, Dst, Block, static_cast<uint16_t>(DstBits), Palette);
}

// The largest depth whose division makes no more than Colors entries.
int seed_depth(int32_t Colors) { return std::bit_width(static_cast<uint32_t>(Colors)) - 1; }

}  // namespace

bool ParseQuantizeMethod(std::string_view Name, TKvQuantizeMethod& Method) {
  for (TKvQuantizeMethod M : {kvQmNormal, kvQmFine, kvQmRefine, kvQmBest})
    if (Name == QuantizeMethodName(M)) {
      Method = M;
      return true;
    }
  return false;
}

const char* QuantizeMethodName(TKvQuantizeMethod Method) {
  switch (Method) {
    case kvQmNormal: return "normal";
    case kvQmFine: return "fine";
    case kvQmRefine: return "refine";
    case kvQmBest: return "best";
  }
  return "";
}

int QuantizeBitCount(int32_t Colors) { return Colors <= 16 ? 4 : 8; }

int32_t QuantizeProgressTotal(const TKvQuantizeOptions& Options) {
  return QuantizeBitCount(Options.Colors) == 8 ? 256 : 16;
}

TKvRefineRecipe QuantizeRecipe(TKvQuantizeMethod Method, int32_t Colors) {
  // Chosen on photographs (bench/quality.sh): see the table at the top of KvQuantize.h.
  TKvRefineRecipe R;
  R.Greedy = true;
  const bool Few = Colors <= 16;
  if (Method == kvQmBest) {
    R.GridRed = Few ? 6 : 7;
    R.GridGreen = 7;
    R.GridBlue = Few ? 6 : 7;
    R.Iterations = Few ? 32 : 4;
  } else {
    R.Iterations = Few ? 4 : 1;
  }
  return R;
}

void QuantizeRefined(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvQuantizeOptions& O,
                     const TKvRefineRecipe& Recipe, const TKvProgressProc& Progress) {
  check_options(Src, O);
  const int DstBits = QuantizeBitCount(O.Colors);
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, DstBits, kRoutine, DstSize);
  TFileMapBlock Block(DstSize);  // zero-filled: row padding stays 0
  const int32_t Total = QuantizeProgressTotal(O);
  TStagedProgress Staged(Progress, Total);

  TKvColorPoints Points =
      GatherGridPoints(Src, TKvGridBits{Recipe.GridRed, Recipe.GridGreen, Recipe.GridBlue});
  if (Points.Points.size() < static_cast<size_t>(O.Colors)) {
    // Too few cells for every entry: the distinct colours, when they are few enough.
    TKvColorPoints Distinct;
    if (GatherDistinctPoints(Src, Distinct) && Distinct.Points.size() > Points.Points.size())
      Points = std::move(Distinct);
  }

  // The seeds: the weighted-variance division of the points, as the Normal method divides
  // its cells, or the variance-greedy one.
  const int Depth = seed_depth(O.Colors);
  Staged.Stage(Total / 4, int64_t{1} << Depth);
  std::vector<uint8_t> SeedOf;
  std::vector<TKvColorF> Seeds;
  if (Recipe.Greedy) {
    Seeds = GreedySeeds(Points.Points, O.Colors, SeedOf);
  } else {
    std::vector<TKvColorEntry> Entries(Points.Points.size());
    for (size_t I = 0; I < Entries.size(); ++I) {
      const TKvColorPoint& P = Points.Points[I];
      Entries[I] = TKvColorEntry{
          static_cast<int32_t>(TruncatedMean(P, 0)), static_cast<int32_t>(TruncatedMean(P, 1)),
          static_cast<int32_t>(TruncatedMean(P, 2)), static_cast<int64_t>(P.Weight), static_cast<int32_t>(I)};
    }
    TKvPaletteBuffer SeedPalette;
    DivideColorEntries(0, Entries.size(), 0, Depth, Entries.data(), SeedPalette, Staged.UnitProc());
    SeedOf.resize(Entries.size());
    for (const TKvColorEntry& E : Entries) SeedOf[static_cast<size_t>(E.Key)] = static_cast<uint8_t>(E.Count);
    for (int32_t I = 0; I < SeedPalette.Count; ++I) {
      const RGBQUAD& Q = SeedPalette.Colors[static_cast<size_t>(I)];
      Seeds.push_back(TKvColorF{static_cast<double>(Q.rgbRed), static_cast<double>(Q.rgbGreen),
                                static_cast<double>(Q.rgbBlue)});
    }
  }

  Staged.Stage(Total / 2, Recipe.Iterations);
  TKvRefineSettings Settings;
  Settings.Colors = O.Colors;
  Settings.Iterations = Recipe.Iterations;
  Settings.Pruned = Recipe.Pruned;
  const TKvRefinedPalette Refined = RefinePalette(Points.Points, Seeds, SeedOf, Settings, Staged.UnitProc());

  Staged.Stage(Total, G.Height);
  if (O.Dither != kvDmNone) {
    DitherFloydSteinberg(Src, G, Refined.Palette, Block.Bits(), DstBits, Staged.UnitProc());
  } else {
    std::vector<uint8_t> Table(Points.Keys.KeyCount, 0);
    for (size_t I = 0; I < Points.Points.size(); ++I) Table[Points.Points[I].Key] = Refined.Assignment[I];
    // Local copies of the key tables, so that the stores into the rows cannot make the
    // compiler read them again.
    const TKvPointKeys& Keys = Points.Keys;
    const uint8_t* const T = Table.data();
    if (Points.Distinct) {
      MapTrueColorRows(
          Src, G, Block.Bits(), DstBits, [&Keys, T](const uint8_t* P) { return T[Keys.DistinctKey(P)]; },
          [&Staged] { Staged.Unit(); });
    } else {
      const uint32_t *R = Keys.Red.data(), *Gr = Keys.Green.data(), *B = Keys.Blue.data();
      MapTrueColorRows(
          Src, G, Block.Bits(), DstBits,
          [R, Gr, B, T](const uint8_t* P) { return T[R[P[2]] + Gr[P[1]] + B[P[0]]]; },
          [&Staged] { Staged.Unit(); });
    }
  }
  Staged.Finish();
  FillReducedDestination(Src, Dst, Block, static_cast<uint16_t>(DstBits), Refined.Palette);
}

void QuantizeTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvQuantizeOptions& Options,
                       const TKvProgressProc& Progress) {
  check_options(Src, Options);
  if (Options.Method == kvQmNormal || Options.Method == kvQmFine) {
    quantize_described(Src, Dst, Options, Progress);
    return;
  }
  QuantizeRefined(Src, Dst, Options, QuantizeRecipe(Options.Method, Options.Colors), Progress);
}

}  // namespace kv
