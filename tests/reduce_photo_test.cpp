// A real photograph (examples/astronaut.bmp) reduced by both methods, through the
// routines and through TKvDIB::SetPixelFormat, compared with the literal formulation:
// palettes, every pixel's index and the number of progress steps.
#include <gtest/gtest.h>

#include <string>

#include "image/KvDIB.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceStages.h"
#include "tests/reduce_support.h"

namespace kv {
namespace {

const char* const kPhoto = KVDIB_SOURCE_DIR "/examples/astronaut.bmp";

struct TMethod {
  bool Fine;
  TKvPixelFormat Target;
  int MaxDepth;
};
const TMethod kMethods[] = {
    {false, kvPf8Bit, 8}, {false, kvPf4Bit, 4}, {true, kvPf8Bit, 8}, {true, kvPf4Bit, 4}};

test::ref::Reduction Reference(const TKvDIBInfo& Src, const TMethod& M) {
  return M.Fine ? test::ref::High(Src, M.MaxDepth) : test::ref::Low(Src, M.MaxDepth);
}

TEST(ReducePhoto, BothMethodsThroughSetPixelFormat) {
  TKvDIB Original;
  Original.LoadFromFile(kPhoto);
  ASSERT_EQ(Original.GetPixelFormat(), kvPf24Bit);  // the example photo as committed
  ASSERT_EQ(Original.GetWidth(), 512);
  ASSERT_EQ(Original.GetHeight(), 512);
  const TKvDIBInfo& Src = Original.InternalDIB()->Info;
  for (const TMethod& M : kMethods) {
    SCOPED_TRACE(std::string(M.Fine ? "Fine" : "Normal") + " depth " + std::to_string(M.MaxDepth));
    const test::ref::Reduction Want = Reference(Src, M);
    TKvDIB D;
    D.Assign(&Original);
    D.FineMethod = M.Fine;
    int Running = 0;
    D.OnProgress = [&Running](TGraphic*, TProgressStage Stage, uint8_t, bool, const TRect&,
                              const std::string&) { Running += Stage == TProgressStage::Running; };
    D.SetPixelFormat(M.Target);
    EXPECT_EQ(Running, (1 << M.MaxDepth) - 1);  // the last step is reported by the ending notification
    const TKvDIBInfo& Dst = D.InternalDIB()->Info;
    test::ExpectReducedShape(Src, Dst, M.MaxDepth == 8 ? 8 : 4);
    test::ExpectSameReduction(test::ReadReduced(Dst), Want);
  }
}

TEST(ReducePhoto, FineMethodEveryWay) {
  TKvDIB Photo;
  Photo.LoadFromFile(kPhoto);
  const TKvDIBInfo& Src = Photo.InternalDIB()->Info;
  const test::ref::Reduction Want = test::ref::High(Src, 8);
  for (TKvHighBuild B : {TKvHighBuild::Packed, TKvHighBuild::Distinct})
    for (TKvHighMapping Map : {TKvHighMapping::Walk, TKvHighMapping::Grid}) {
      test::TOwnedDIB Dst;
      ConvertTrueColorHigh(Src, Dst.Info(), nullptr, 8, B, Map);
      test::ExpectSameReduction(test::ReadReduced(Dst.Info()), Want);
    }
}

}  // namespace
}  // namespace kv
