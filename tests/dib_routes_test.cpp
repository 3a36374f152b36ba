// The routing table as data: which pairs have a route, how long each is, and the progress
// plans derived from the routes (exactly the described table of messages and totals).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "image/KvDIBRoutes.h"
#include "image/convert/KvRLE.h"

namespace kv {
namespace {

TEST(Routes, EveryPairButAFormatToItselfHasARouteOfTheDescribedLength) {
  // Steps of each storage pair (rows: source, columns: target); 0 = no route.
  constexpr int kSteps[6][6] = {
      {0, 1, 2, 1, 2, 1},  // 1 bit
      {1, 0, 1, 1, 2, 1},  // 4 bit
      {2, 1, 0, 2, 3, 2},  // 4 bit RLE
      {1, 1, 2, 0, 1, 1},  // 8 bit
      {2, 2, 3, 1, 0, 2},  // 8 bit RLE
      {1, 1, 2, 1, 2, 0},  // 24 bit
  };
  for (int F = kvPf1Bit; F <= kvPf24Bit; ++F) {
    for (int T = kvPf1Bit; T <= kvPfHalfToneBW; ++T) {
      const TKvRoute* R = FindRoute(TKvPixelFormat(F), TKvPixelFormat(T));
      const int Expected = T <= kvPf24Bit ? kSteps[F][T] : (F == kvPf4BitRLE || F == kvPf8BitRLE) ? 2 : 1;
      SCOPED_TRACE(testing::Message() << F << " -> " << T);
      if (Expected == 0) {
        EXPECT_EQ(R, nullptr);
        continue;
      }
      ASSERT_NE(R, nullptr);
      EXPECT_EQ(R->StepCount(), static_cast<size_t>(Expected));
    }
  }
  EXPECT_EQ(FindRoute(kvPfHalfTone, kvPf8Bit), nullptr);
  const TKvRoute* Three = FindRoute(kvPf4BitRLE, kvPf8BitRLE);
  ASSERT_NE(Three, nullptr);
  EXPECT_EQ(Three->Steps[0].Plain, &Convert4BitRLETo4BitRGB);
  EXPECT_EQ(Three->Steps[2].Plain, &Convert8BitRGBTo8BitRLE);
}

TEST(Routes, ProgressPlansAreExactlyThePairsThatReduce) {
  const std::map<std::pair<int, int>, std::pair<int32_t, std::string>> Armed = {
      {{kvPf8Bit, kvPf4Bit}, {16, "PixelFormat 8Bit -> 4Bit"}},
      {{kvPf8Bit, kvPf4BitRLE}, {16, "PixelFormat 8Bit -> 4BitRLE"}},
      {{kvPf8BitRLE, kvPf4Bit}, {16, "PixelFormat 8BitRLE -> 4Bit"}},
      {{kvPf8BitRLE, kvPf4BitRLE}, {16, "PixelFormat 8BitRLE -> 4BitRLE"}},
      {{kvPf24Bit, kvPf4Bit}, {16, "PixelFormat 24Bit -> 4Bit"}},
      {{kvPf24Bit, kvPf4BitRLE}, {16, "PixelFormat 24Bit -> 4BitRLE"}},
      {{kvPf24Bit, kvPf8Bit}, {256, "PixelFormat 24Bit -> 8Bit"}},
      {{kvPf24Bit, kvPf8BitRLE}, {256, "PixelFormat 24Bit -> 8BitRLE"}},
  };
  for (int F = kvPf1Bit; F <= kvPf24Bit; ++F) {
    for (int T = kvPf1Bit; T <= kvPfHalfToneBW; ++T) {
      const auto Plan = ProgressPlanFor(TKvPixelFormat(F), TKvPixelFormat(T));
      const auto It = Armed.find({F, T});
      SCOPED_TRACE(testing::Message() << F << " -> " << T);
      if (It == Armed.end()) {
        EXPECT_FALSE(Plan);
        continue;
      }
      ASSERT_TRUE(Plan);
      EXPECT_EQ(Plan->Total, It->second.first);
      EXPECT_EQ(Plan->Message, It->second.second);
    }
  }
}

}  // namespace
}  // namespace kv
