// QuantizeTrueColor: normal and fine exactly as the described routines, the destination's
// shape for every method and count, every entry used, refusals, progress and cancelling,
// the same result for the same input, merging for other counts, error diffusion.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>

#include "image/KvDIB.h"
#include "image/reduce/KvPaletteMerge.h"
#include "image/reduce/KvQuantize.h"
#include "image/reduce/KvReduce.h"
#include "tests/KvTestSupport.h"
#include "tests/reduce_support.h"

namespace kv {
namespace {

using test::TOwnedDIB;
using test::TRgb;

constexpr TKvQuantizeMethod kMethods[] = {kvQmNormal, kvQmFine, kvQmRefine, kvQmBest};

TOwnedDIB quantize(const TOwnedDIB& Src, TKvQuantizeOptions O, int* Calls = nullptr) {
  TOwnedDIB Dst;
  int N = 0;
  QuantizeTrueColor(Src.Info(), Dst.Info(), O, [&N] { ++N; });
  if (Calls) *Calls = N;
  return Dst;
}

std::vector<uint8_t> block_of(const TOwnedDIB& D) { return D.Bytes(); }

TEST(QuantizeDriver, NormalAndFineAreTheDescribedRoutinesExactly) {
  using TRoutine = test::TReduction;
  struct TCase {
    TKvQuantizeMethod Method;
    int32_t Colors;
    TRoutine Routine;
  };
  const TCase Cases[] = {{kvQmNormal, 256, ConvertTrueColorTo8BitRGBLow},
                         {kvQmNormal, 16, ConvertTrueColorTo4BitRGBLow},
                         {kvQmFine, 256, ConvertTrueColorTo8BitRGBHigh},
                         {kvQmFine, 16, ConvertTrueColorTo4BitRGBHigh}};
  for (const test::TImageCase& Image : test::TrueColorCases()) {
    const TOwnedDIB Src = Image.Make();
    for (const TCase& C : Cases) {
      SCOPED_TRACE(Image.Name + " / " + QuantizeMethodName(C.Method) + " " + std::to_string(C.Colors));
      TOwnedDIB Want;
      int WantCalls = 0;
      C.Routine(Src.Info(), Want.Info(), [&WantCalls] { ++WantCalls; });
      int Calls = 0;
      const TOwnedDIB Got = quantize(Src, {C.Colors, C.Method, kvDmNone}, &Calls);
      EXPECT_EQ(std::memcmp(&Got.Info().Header, &Want.Info().Header, sizeof(BITMAPINFOHEADER)), 0);
      EXPECT_EQ(std::memcmp(Got.Info().Colors, Want.Info().Colors, sizeof Want.Info().Colors), 0);
      EXPECT_EQ(block_of(Got), block_of(Want));
      EXPECT_EQ(Calls, WantCalls);
    }
  }
}

TEST(QuantizeDriver, EveryMethodMakesAWellFormedDestinationAndReportsItsProgress) {
  for (const test::TImageCase& Image : test::TrueColorCases()) {
    const TOwnedDIB Src = Image.Make();
    const std::vector<uint8_t> Before = Src.Bytes();
    for (TKvQuantizeMethod M : kMethods)
      for (int32_t Colors : {2, 5, 16, 17, 256})
        for (TKvDitherMode D : {kvDmNone, kvDmFloydSteinberg}) {
          if (D != kvDmNone && Colors != 5 && Colors != 256) continue;
          const TKvQuantizeOptions O{Colors, M, D};
          SCOPED_TRACE(Image.Name + " / " + QuantizeMethodName(M) + " " + std::to_string(Colors) +
                       (D ? " dithered" : ""));
          int Calls = 0;
          const TOwnedDIB Dst = quantize(Src, O, &Calls);
          test::ExpectReducedShape(Src.Info(), Dst.Info(), QuantizeBitCount(Colors));
          EXPECT_LE(Dst.Info().Header.biClrUsed, static_cast<uint32_t>(Colors));
          EXPECT_EQ(Calls, QuantizeProgressTotal(O));
        }
    EXPECT_EQ(Src.Bytes(), Before) << Image.Name << ": the source changed";
  }
}

// The distinct colours of a 24-bit image.
size_t distinct_colours(const TOwnedDIB& Src) {
  std::set<uint32_t> S;
  for (int32_t Y = 0; Y < Src.Height(); ++Y)
    for (int32_t X = 0; X < Src.Width(); ++X) {
      const uint8_t* P = Src.Row(Y) + 3 * X;
      S.insert(static_cast<uint32_t>(P[0]) | P[1] << 8 | P[2] << 16);
    }
  return S.size();
}

TEST(QuantizeDriver, RefineAndBestUseEveryEntryWhenTheImageHasEnoughColours) {
  std::vector<test::TImageCase> Images = test::TrueColorCases();
  // 300 colours inside four 5-6-5 cells: too few cells for 256 entries of their own.
  Images.push_back({"few cells", [] {
                      return test::TrueColor(30, 10, [](int X, int Y) {
                        const int K = X + 30 * Y;
                        return TRgb{static_cast<uint8_t>(64 + K % 8), static_cast<uint8_t>(128 + (K / 8) % 4),
                                    static_cast<uint8_t>(200 + (K / 32) % 8 + 8 * (K / 256))};
                      });
                    }});
  for (const test::TImageCase& Image : Images) {
    const TOwnedDIB Src = Image.Make();
    const size_t Distinct = distinct_colours(Src);
    for (TKvQuantizeMethod M : {kvQmRefine, kvQmBest})
      for (int32_t Colors : {3, 16, 256}) {
        SCOPED_TRACE(Image.Name + " / " + QuantizeMethodName(M) + " " + std::to_string(Colors));
        const TOwnedDIB Dst = quantize(Src, {Colors, M, kvDmNone});
        const test::TReduced R = test::ReadReduced(Dst.Info());
        const std::set<uint8_t> Used(R.Index.begin(), R.Index.end());
        EXPECT_EQ(Used.size(), R.Palette.size()) << "entries without pixels";
        if (Distinct >= static_cast<size_t>(Colors)) {
          EXPECT_EQ(R.Palette.size(), static_cast<size_t>(Colors));
        }
        if (Distinct <= static_cast<size_t>(Colors)) {
          // Every colour kept exactly.
          for (int32_t Y = 0; Y < Src.Height(); ++Y)
            for (int32_t X = 0; X < Src.Width(); ++X) {
              const RGBQUAD& Q = R.Palette[R.Index[static_cast<size_t>(Y * Src.Width() + X)]];
              const uint8_t* P = Src.Row(Y) + 3 * X;
              ASSERT_TRUE(Q.rgbBlue == P[0] && Q.rgbGreen == P[1] && Q.rgbRed == P[2]) << X << "," << Y;
            }
        }
      }
  }
}

TEST(QuantizeDriver, TheSameInputGivesTheSameResult) {
  const TOwnedDIB Src = test::TrueColorCases().back().Make();
  for (TKvQuantizeMethod M : kMethods)
    for (TKvDitherMode D : {kvDmNone, kvDmFloydSteinberg}) {
      const TKvQuantizeOptions O{256, M, D};
      const TOwnedDIB A = quantize(Src, O), B = quantize(Src, O);
      EXPECT_EQ(block_of(A), block_of(B)) << QuantizeMethodName(M);
      EXPECT_EQ(std::memcmp(A.Info().Colors, B.Info().Colors, sizeof A.Info().Colors), 0);
    }
}

TEST(QuantizeDriver, RefusalsComeBeforeAnything) {
  for (TKvQuantizeMethod M : kMethods) {
    auto Routine = [M](const TKvDIBInfo& S, TKvDIBInfo& D, const TKvProgressProc& P) {
      QuantizeTrueColor(S, D, {256, M, kvDmNone}, P);
    };
    for (uint16_t Bits : {1, 4, 8})
      test::ExpectRefusedBeforeAnything(Routine, Bits, 0, "QuantizeTrueColor: Invalid Bitcount");
  }
  const TOwnedDIB Src(4, 4, 24);
  struct TBad {
    TKvQuantizeOptions Options;
    const char* Message;
  };
  const TBad Bad[] = {
      {{1, kvQmRefine, kvDmNone}, "QuantizeTrueColor: Invalid Color Count"},
      {{257, kvQmNormal, kvDmNone}, "QuantizeTrueColor: Invalid Color Count"},
      {{0, kvQmBest, kvDmNone}, "QuantizeTrueColor: Invalid Color Count"},
      {{16, static_cast<TKvQuantizeMethod>(4), kvDmNone}, "QuantizeTrueColor: Invalid Method"},
      {{16, kvQmFine, static_cast<TKvDitherMode>(2)}, "QuantizeTrueColor: Invalid Dither Mode"}};
  for (const TBad& B : Bad) {
    TKvDIBInfo Dst{};
    Dst.BitsSize = 99;
    const int64_t Before = test::OpenResourceCount();
    test::ExpectThrowMessage<EKvDIBInvalidDIBPara>(
        [&] { QuantizeTrueColor(Src.Info(), Dst, B.Options, nullptr); }, B.Message);
    EXPECT_EQ(Dst.BitsSize, 99);
    EXPECT_EQ(test::OpenResourceCount(), Before);
  }
}

TEST(QuantizeDriver, ACancelInsideTheProgressReleasesEverything) {
  const TOwnedDIB Src = test::TrueColorCases().back().Make();
  for (TKvQuantizeMethod M : kMethods)
    for (TKvDitherMode D : {kvDmNone, kvDmFloydSteinberg})
      for (int32_t Colors : {16, 100}) {
        const TKvQuantizeOptions O{Colors, M, D};
        for (int At : {1, QuantizeProgressTotal(O)})
          test::ExpectCancelReleasesEverything(
              [&](TKvDIBInfo& Dst, const TKvProgressProc& P) { QuantizeTrueColor(Src.Info(), Dst, O, P); },
              At);
      }
}

TEST(QuantizeDriver, DitheringKeepsExactColoursAndMixesTheOthers) {
  // A flat image of a palette colour stays that colour; a flat grey between the two
  // entries of a black-and-white palette comes out as a mix whose mean is that grey.
  const TOwnedDIB Stripes = test::TrueColor(40, 40, [](int X, int) {
    return X < 20 ? TRgb{0, 0, 0} : TRgb{255, 255, 255};
  });
  const TOwnedDIB Flat = quantize(Stripes, {2, kvQmRefine, kvDmFloydSteinberg});
  const test::TReduced R = test::ReadReduced(Flat.Info());
  ASSERT_EQ(R.Palette.size(), 2u);
  for (size_t I = 0; I < R.Index.size(); ++I)
    ASSERT_EQ(R.Palette[R.Index[I]].rgbRed, (I % 40) < 20 ? 0 : 255) << I;

  TOwnedDIB Grey = test::TrueColor(64, 64, [](int X, int Y) {
    return (X < 2 && Y < 2) ? TRgb{static_cast<uint8_t>(X * 255), static_cast<uint8_t>(X * 255),
                                   static_cast<uint8_t>(X * 255)}
                            : TRgb{100, 100, 100};
  });
  const TOwnedDIB Mixed = quantize(Grey, {2, kvQmNormal, kvDmFloydSteinberg});
  const test::TReduced M = test::ReadReduced(Mixed.Info());
  double Sum = 0;
  for (uint8_t I : M.Index) Sum += M.Palette[I].rgbRed;
  const double Mean = Sum / static_cast<double>(M.Index.size());
  EXPECT_NEAR(Mean, 100.0, 2.0);
}

TEST(QuantizeDriver, OtherCountsOfNormalAndFineMergeTheDescribedPalette) {
  const TOwnedDIB Src = test::TrueColorCases().back().Make();
  for (TKvQuantizeMethod M : {kvQmNormal, kvQmFine})
    for (int32_t Colors : {2, 7, 100}) {
      const TOwnedDIB Dst = quantize(Src, {Colors, M, kvDmNone});
      EXPECT_EQ(Dst.Info().Header.biClrUsed, static_cast<uint32_t>(Colors))
          << QuantizeMethodName(M) << Colors;
    }
}

TEST(QuantizeMerge, TheCheapestPairIsMergedIntoItsWeightedMean) {
  TKvPaletteBuffer P;
  P.Count = 4;
  P.Colors[0] = test::Quad(0, 0, 0);
  P.Colors[1] = test::Quad(10, 0, 0);  // near entry 0, but heavy
  P.Colors[2] = test::Quad(200, 0, 0);
  P.Colors[3] = test::Quad(240, 0, 0);  // light pair: merged first
  std::array<uint64_t, 256> Counts{};
  Counts[0] = 1000;
  Counts[1] = 1000;
  Counts[2] = 1;
  Counts[3] = 3;
  std::array<uint8_t, 256> Map{};
  MergePalette(P, Counts, 3, Map);
  ASSERT_EQ(P.Count, 3);
  EXPECT_EQ(Map[2], Map[3]);
  EXPECT_EQ(P.Colors[Map[3]].rgbRed, 230);  // (200 + 3 x 240) / 4
  EXPECT_NE(Map[0], Map[1]);
  // Unused entries take no part.
  TKvPaletteBuffer Q;
  Q.Count = 3;
  Counts = {};
  Counts[0] = Counts[2] = 5;
  MergePalette(Q, Counts, 256, Map);
  EXPECT_EQ(Q.Count, 2);
  EXPECT_EQ(Map[2], 1);
}

TEST(QuantizeNames, MethodNamesRoundTrip) {
  for (TKvQuantizeMethod M : kMethods) {
    TKvQuantizeMethod Back = kvQmBest;
    ASSERT_TRUE(ParseQuantizeMethod(QuantizeMethodName(M), Back));
    EXPECT_EQ(Back, M);
  }
  TKvQuantizeMethod Unused = kvQmNormal;
  EXPECT_FALSE(ParseQuantizeMethod("Normal", Unused));
  EXPECT_FALSE(ParseQuantizeMethod("", Unused));
  EXPECT_EQ(QuantizeBitCount(16), 4);
  EXPECT_EQ(QuantizeBitCount(17), 8);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// A W x H 24-bit TKvDIB of many colours.
void fill_graphic(TKvDIB& D, int W, int H) {
  D.SetBitCount(24);
  D.SetWidth(W);
  D.SetHeight(H);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = D.GetScanLine(Y);
    for (int X = 0; X < W; ++X) {
      Row[3 * X] = static_cast<uint8_t>(X * 7 + Y);
      Row[3 * X + 1] = static_cast<uint8_t>(X * 3 + Y * 5);
      Row[3 * X + 2] = static_cast<uint8_t>(Y * 11 + X);
    }
  }
}

bool same_image(const TKvDIB& A, const TKvDIB& B) {
  const TKvDIBInfo& I = A.DIBInfo();
  const TKvDIBInfo& J = B.DIBInfo();
  return std::memcmp(&I.Header, &J.Header, sizeof(I.Header)) == 0 &&
         std::memcmp(I.Colors, J.Colors, 4 * I.Header.biClrUsed) == 0 && I.BitsSize == J.BitsSize &&
         std::memcmp(I.Bits, J.Bits, static_cast<size_t>(I.BitsSize)) == 0;
}

TEST(QuantizeGraphic, TheNormalMethodThroughTheGraphicIsSetPixelFormat) {
  for (int Colors : {256, 16}) {
    TKvDIB A;
    fill_graphic(A, 37, 21);
    TKvDIB B;
    B.Assign(&A);
    B.UniqueDIB();
    std::vector<int> Percents;
    std::string Message;
    A.OnProgress = [&](TGraphic*, TProgressStage, uint8_t P, bool, const TRect&, const std::string& M) {
      Percents.push_back(P);
      Message = M;
    };
    A.Quantize({Colors, kvQmNormal, kvDmNone});
    B.SetPixelFormat(Colors == 256 ? kvPf8Bit : kvPf4Bit);
    EXPECT_TRUE(same_image(A, B));
    EXPECT_EQ(Percents.size(), static_cast<size_t>(Colors + 1));  // start, total - 1 steps, end
    EXPECT_EQ(Message, Colors == 256 ? "Quantize 24Bit -> 8Bit" : "Quantize 24Bit -> 4Bit");
  }
}

TEST(QuantizeGraphic, SharedSourcesStayAndFailuresLeaveTheImage) {
  TKvDIB A;
  fill_graphic(A, 30, 20);
  TKvDIB B;
  B.Assign(&A);
  B.Quantize({100, kvQmRefine, kvDmNone});
  EXPECT_EQ(A.GetPixelFormat(), kvPf24Bit);
  EXPECT_EQ(B.GetPixelFormat(), kvPf8Bit);
  EXPECT_LE(B.GetColorCount(), 100);
  EXPECT_EQ(A.InternalDIB()->RefCount, 1);

  TKvDIB C;
  C.Assign(&A);
  C.OnProgress = [](TGraphic*, TProgressStage Stage, uint8_t, bool, const TRect&, const std::string&) {
    if (Stage == TProgressStage::Running) throw std::runtime_error("cancelled");
  };
  EXPECT_THROW(C.Quantize({256, kvQmBest, kvDmFloydSteinberg}), std::runtime_error);
  EXPECT_EQ(C.InternalDIB(), A.InternalDIB());
  test::ExpectThrowMessage<EKvDIBBadDIBType>([&] { B.Quantize({}); }, "QuantizeTrueColor: Invalid Bitcount");
  EXPECT_EQ(B.GetPixelFormat(), kvPf8Bit);
}

}  // namespace
}  // namespace kv
