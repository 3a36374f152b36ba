// Pixel-format changes: the front end's progress reporting and the driver's routes,
// errors and block bookkeeping.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "image/KvDIB.h"
#include "tests/KvTestSupport.h"

namespace kv {
namespace {

using test::ExpectThrowMessage;

struct Notification {
  TProgressStage Stage;
  int Percent;
  bool Redraw;
  TRect R;
  std::string Msg;
};

struct ProgressLog {
  std::vector<Notification> Seen;
  int RaiseAtRunning = -1;  // raise at the n-th running notification (0-based)
  void Attach(TKvDIB& D) {
    D.OnProgress = [this](TGraphic*, TProgressStage Stage, uint8_t Percent, bool Redraw, const TRect& R,
                          const std::string& Msg) {
      Seen.push_back({Stage, Percent, Redraw, R, Msg});
      if (Stage == TProgressStage::Running && RaiseAtRunning >= 0) {
        int Running = 0;
        for (const Notification& N : Seen) Running += N.Stage == TProgressStage::Running;
        if (Running - 1 == RaiseAtRunning) throw std::runtime_error("cancelled");
      }
    };
  }
};

// Makes D a W x H 24-bit image whose pixel (X, Y) is Pixel(X, Y) as {blue, green, red}.
template <typename F>
void Fill24(TKvDIB& D, int W, int H, F&& Pixel) {
  D.SetBitCount(24);
  D.SetWidth(W);
  D.SetHeight(H);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = D.GetScanLine(Y);
    for (int X = 0; X < W; ++X) {
      const std::array<int, 3> BGR = Pixel(X, Y);
      for (int C = 0; C < 3; ++C) Row[3 * X + C] = static_cast<uint8_t>(BGR[static_cast<size_t>(C)]);
    }
  }
}

// Many colours, so that the reductions use every step.
void FillGradient(TKvDIB& D, int W, int H) {
  Fill24(D, W, H, [](int X, int Y) { return std::array<int, 3>{X * 7 + Y, X * 3 + Y * 5, Y * 11 + X}; });
}

// Wide bands in a few colours: the image stays small when RLE-encoded.
void FillBands(TKvDIB& D, int W, int H) {
  Fill24(D, W, H, [](int X, int Y) {
    const int Band = (X / 8 + Y / 4) % 5;
    return std::array<int, 3>{Band * 60, 255 - Band * 50, Band * 17};
  });
}

std::vector<uint8_t> PixelBytes(const TKvDIB& D) {
  const TKvDIBInfo& I = D.InternalDIB()->Info;
  return std::vector<uint8_t>(I.Bits, I.Bits + I.BitsSize);
}

void ExpectProgressSequence(const ProgressLog& Log, int Total, const std::string& Msg, int W, int H) {
  ASSERT_EQ(Log.Seen.size(), static_cast<size_t>(Total + 1));
  EXPECT_EQ(Log.Seen.front().Stage, TProgressStage::Starting);
  EXPECT_EQ(Log.Seen.front().Percent, 0);
  EXPECT_FALSE(Log.Seen.front().Redraw);
  for (int K = 1; K < Total; ++K) {
    const Notification& N = Log.Seen[static_cast<size_t>(K)];
    EXPECT_EQ(N.Stage, TProgressStage::Running);
    EXPECT_EQ(N.Percent, K * 100 / Total) << "step " << K;
    EXPECT_FALSE(N.Redraw);
  }
  EXPECT_EQ(Log.Seen.back().Stage, TProgressStage::Ending);
  EXPECT_EQ(Log.Seen.back().Percent, 100);
  EXPECT_TRUE(Log.Seen.back().Redraw);
  for (const Notification& N : Log.Seen) {
    EXPECT_EQ(N.Msg, Msg);
    EXPECT_EQ(N.R, (TRect{0, 0, W, H}));
  }
}

TEST(SetPixelFormat, SameFormatDoesNothing) {
  TKvDIB D;
  FillGradient(D, 4, 4);
  ProgressLog Log;
  Log.Attach(D);
  int Changes = 0;
  D.OnChange = [&](TGraphic*) { ++Changes; };
  const TKvInternalDIB* S = D.InternalDIB();
  D.SetPixelFormat(kvPf24Bit);
  EXPECT_EQ(D.InternalDIB(), S);
  EXPECT_TRUE(Log.Seen.empty());
  EXPECT_EQ(Changes, 0);
}

TEST(SetPixelFormat, ProgressOfTheReductions) {
  struct Case {
    TKvPixelFormat To;
    bool Fine;
    int Total;
    const char* Msg;
  };
  const Case Cases[] = {
      {kvPf8Bit, false, 256, "PixelFormat 24Bit -> 8Bit"},
      {kvPf8Bit, true, 256, "PixelFormat 24Bit -> 8Bit"},
      {kvPf4Bit, false, 16, "PixelFormat 24Bit -> 4Bit"},
      {kvPf4Bit, true, 16, "PixelFormat 24Bit -> 4Bit"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Msg);
    TKvDIB D;
    FillGradient(D, 37, 23);
    D.FineMethod = C.Fine;
    ProgressLog Log;
    Log.Attach(D);
    int Changes = 0;
    D.OnChange = [&](TGraphic*) { ++Changes; };
    D.SetPaletteDirty(false);
    D.SetPixelFormat(C.To);
    EXPECT_EQ(D.GetPixelFormat(), C.To);
    EXPECT_EQ(Changes, 1);
    EXPECT_TRUE(D.PaletteDirty());
    ExpectProgressSequence(Log, C.Total, C.Msg, 37, 23);
  }
}

TEST(SetPixelFormat, SharedStorageIsSplitBeforeConverting) {
  TKvDIB A;
  FillGradient(A, 9, 5);
  TKvDIB B;
  B.Assign(&A);
  const std::vector<uint8_t> Before = PixelBytes(A);
  B.SetPixelFormat(kvPf8Bit);
  EXPECT_EQ(A.GetPixelFormat(), kvPf24Bit);
  EXPECT_EQ(PixelBytes(A), Before);
  EXPECT_EQ(B.GetPixelFormat(), kvPf8Bit);
  EXPECT_EQ(A.InternalDIB()->RefCount, 1);
}

TEST(SetPixelFormat, SharedStorageConvertsWithoutACopyToTheSameImage) {
  for (TKvPixelFormat Target : {kvPf8Bit, kvPf4Bit, kvPfHalfTone, kvPf1Bit}) {
    TKvDIB A;
    FillGradient(A, 23, 11);
    TKvDIB Private;
    Private.Assign(&A);
    Private.UniqueDIB();
    Private.SetPixelFormat(Target);  // converted in place

    TKvDIB B;
    B.Assign(&A);
    B.SetPaletteDirty(false);
    int Changes = 0;
    B.OnChange = [&](TGraphic*) { ++Changes; };
    const int64_t Blocks = PixelBlocksInUse();
    B.SetPixelFormat(Target);
    EXPECT_EQ(PixelBlocksInUse(), Blocks + 1);  // the result; A's block was not copied
    EXPECT_EQ(A.InternalDIB()->RefCount, 1);
    EXPECT_EQ(B.InternalDIB()->RefCount, 1);
    EXPECT_EQ(A.GetPixelFormat(), kvPf24Bit);
    EXPECT_TRUE(B.PaletteDirty());
    EXPECT_EQ(Changes, 1);
    const TKvDIBInfo& Got = B.DIBInfo();
    const TKvDIBInfo& Want = Private.DIBInfo();
    EXPECT_EQ(std::memcmp(&Got.Header, &Want.Header, sizeof(Got.Header)), 0);
    EXPECT_EQ(std::memcmp(Got.Colors, Want.Colors, sizeof(Got.Colors)), 0);
    ASSERT_EQ(Got.BitsSize, Want.BitsSize);
    EXPECT_EQ(std::memcmp(Got.Bits, Want.Bits, static_cast<size_t>(Got.BitsSize)), 0);
    EXPECT_EQ(B.GetWidth(), 23);
    EXPECT_EQ(B.GetHeight(), 11);
  }
}

TEST(SetPixelFormat, AFailedConversionOfSharedStorageLeavesItShared) {
  TKvDIB A;
  FillGradient(A, 40, 30);
  TKvDIB B;
  B.Assign(&A);
  B.SetPaletteDirty(false);
  ProgressLog Log;
  Log.RaiseAtRunning = 3;
  Log.Attach(B);
  const int64_t Blocks = PixelBlocksInUse();
  EXPECT_THROW(B.SetPixelFormat(kvPf8Bit), std::runtime_error);  // the handler's own error
  EXPECT_EQ(PixelBlocksInUse(), Blocks);
  EXPECT_EQ(B.InternalDIB(), A.InternalDIB());
  EXPECT_EQ(A.InternalDIB()->RefCount, 2);
  EXPECT_EQ(B.GetPixelFormat(), kvPf24Bit);
  EXPECT_TRUE(B.PaletteDirty());
  EXPECT_EQ(Log.Seen.back().Stage, TProgressStage::Ending);
}

TEST(SetPixelFormat, RaisingHandlerLeavesTheImageAndStillEnds) {
  for (int RaiseAt : {0, 100, 254}) {
    TKvDIB D;
    FillGradient(D, 40, 30);
    const std::vector<uint8_t> Before = PixelBytes(D);
    const int64_t Fds = test::OpenResourceCount();
    ProgressLog Log;
    Log.RaiseAtRunning = RaiseAt;
    Log.Attach(D);
    int Changes = 0;
    D.OnChange = [&](TGraphic*) { ++Changes; };
    EXPECT_THROW(D.SetPixelFormat(kvPf8BitRLE), std::runtime_error);
    EXPECT_EQ(D.GetPixelFormat(), kvPf24Bit);
    EXPECT_EQ(PixelBytes(D), Before);
    EXPECT_EQ(Changes, 0);
    ASSERT_FALSE(Log.Seen.empty());
    EXPECT_EQ(Log.Seen.back().Stage, TProgressStage::Ending);
    EXPECT_EQ(Log.Seen.back().Percent, 100);
    EXPECT_EQ(Log.Seen.size(), static_cast<size_t>(RaiseAt + 3));  // start, running..., end
    EXPECT_EQ(test::OpenResourceCount(), Fds);
  }
}

TEST(SetPixelFormat, FailureInALaterStepReleasesEarlierBlocks) {
  // 8-bit RLE to 4 bits decodes first, then reduces; cancel during the reduction.
  TKvDIB D;
  FillBands(D, 16, 16);
  D.SetPixelFormat(kvPf8BitRLE);
  const std::vector<uint8_t> Before = PixelBytes(D);
  const int64_t Fds = test::OpenResourceCount();
  ProgressLog Log;
  Log.RaiseAtRunning = 3;
  Log.Attach(D);
  EXPECT_THROW(D.SetPixelFormat(kvPf4Bit), std::runtime_error);
  EXPECT_EQ(D.GetPixelFormat(), kvPf8BitRLE);
  EXPECT_EQ(PixelBytes(D), Before);
  EXPECT_EQ(Log.Seen.front().Msg, "PixelFormat 8BitRLE -> 4Bit");
  EXPECT_EQ(Log.Seen.back().Stage, TProgressStage::Ending);
  EXPECT_EQ(test::OpenResourceCount(), Fds);
}

TEST(SetPixelFormat, UnreportedPairsSendNoProgress) {
  TKvDIB D;
  FillBands(D, 8, 8);
  D.SetPixelFormat(kvPf8Bit);
  ProgressLog Log;
  Log.Attach(D);
  D.SetPixelFormat(kvPf8BitRLE);
  D.SetPixelFormat(kvPf24Bit);
  D.SetPixelFormat(kvPf1Bit);
  EXPECT_TRUE(Log.Seen.empty());
}

TEST(SetPixelFormat, ThreeStepRouteLeavesOnlyTheFinalBlock) {
  TKvDIB D;
  FillBands(D, 33, 9);
  D.SetPixelFormat(kvPf4BitRLE);
  TKvDIB Reference;
  Reference.Assign(&D);
  Reference.SetPixelFormat(kvPf4Bit);
  Reference.SetPixelFormat(kvPf8Bit);
  const int64_t Fds = test::OpenResourceCount();
  D.SetPixelFormat(kvPf8BitRLE);
  EXPECT_EQ(D.GetPixelFormat(), kvPf8BitRLE);
  EXPECT_EQ(test::OpenResourceCount(), Fds);
  D.SetPixelFormat(kvPf8Bit);
  EXPECT_EQ(PixelBytes(D), PixelBytes(Reference));
}

TEST(SetPixelFormat, KeyColourResolvesSystemColours) {
  TKvDIB D;
  D.SetBitCount(4);
  D.SetWidth(4);
  TKvDIBInfo& Info = D.InternalDIB()->Info;
  Info.Colors[1] = RGBQUAD{255, 255, 255, 0};  // white
  Info.Colors[2] = RGBQUAD{0, 0, 0, 0};
  D.GetScanLine(0)[0] = 0x12;                            // pixels 1, 2
  D.GetScanLine(0)[1] = 0x21;                            // pixels 2, 1
  D.BackgroundColor = static_cast<TColor>(0x80000005u);  // the window colour: white by default
  D.SetPixelFormat(kvPf1Bit);
  EXPECT_EQ(D.GetScanLine(0)[0], 0x90);  // set bits where the key colour was
}

TEST(SetPixelsFormat, UnsupportedPairsAreRefused) {
  TKvInternalDIB S;
  S.FreeStorage();
  S.CreateDIB(4, 4, 1, 2);
  const TKvProgressProc None = [] {};
  ExpectThrowMessage<EKvDIBAssert>([&] { SetPixelsFormat(S, static_cast<TKvPixelFormat>(8), 0, 0, None); },
                                   "TKvIntenalDIB.SetPixelsFormat: PixelFormat Error");
  S.FreeStorage();
  S.CreateDIB(4, 4, 24, 0);
  ExpectThrowMessage<EKvDIBAssert>([&] { SetPixelsFormat(S, kvPf8Bit, 2, 0, None); },
                                   "TKvIntenalDIB.SetPixelsFormat: PixelFormat Error");
  ExpectThrowMessage<EKvDIBAssert>([&] { SetPixelsFormat(S, kvPf24Bit, 0, 0, None); },
                                   "TKvIntenalDIB.SetPixelsFormat: PixelFormat Error");
  EXPECT_EQ(S.GetPixelFormat(), kvPf24Bit);
  S.Info.Header.biBitCount = 16;
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { SetPixelsFormat(S, kvPf8Bit, 0, 0, None); },
                                       "TKvInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)");
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { SetPixelsFormat(S, kvPfHalfTone, 0, 0, None); },
                                       "TKvInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)");
  S.Info.Header.biBitCount = 24;
}

}  // namespace
}  // namespace kv
