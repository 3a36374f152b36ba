// Named regression files under tests/data/: inputs that once threatened the BMP reader
// (or were found by fuzzing it), each with the outcome it must keep. Every bmp_*.bmp file
// there must be listed, so a new crash file cannot be added without its expectation.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "image/KvDIB.h"
#include "platform/streams/Stream.h"
#include "tests/KvTestSupport.h"

namespace kv {
namespace {

const std::string kData = KVDIB_SOURCE_DIR "/tests/data";

struct Regression {
  const char* File;
  const char* LoadError;     // nullptr: the file loads
  const char* ConvertError;  // for a file that loads: the refusal of its conversion to 24 bits
};

const Regression kRegressions[] = {
    {"bmp_bfsize_beyond_end.bmp", "Stream read error", nullptr},
    {"bmp_bits_shorter_than_rows.bmp", "TKvInternalDIB.LoadFromStream: Bits Size is Smaller than the Image",
     nullptr},
    {"bmp_height_int_min.bmp", "TKvInternalDIB.LoadFromStream: Image Too Large", nullptr},
    {"bmp_masked_rows_beyond_end.bmp", "Stream read error", nullptr},
    {"bmp_rle8_overrun.bmp", nullptr, "Convert8BitRLETo8BitRGB: Bad RLE Data 4"},
};

TEST(BmpRegression, NamedFilesKeepTheirOutcome) {
  std::set<std::string> Listed;
  for (const Regression& R : kRegressions) {
    SCOPED_TRACE(R.File);
    Listed.insert(R.File);
    const int64_t Descriptors = test::OpenResourceCount();
    {
      TKvDIB Image;
      const std::string Path = kData + "/" + R.File;
      if (R.LoadError) {
        try {
          Image.LoadFromFile(Path);
          ADD_FAILURE() << "loaded";
        } catch (const Exception& E) {
          EXPECT_EQ(E.Message(), R.LoadError);
        }
        EXPECT_EQ(Image.GetWidth(), 1);  // the default image after a failed load
        continue;
      }
      Image.LoadFromFile(Path);
      // What loads is written back and loads again to the same bytes.
      TMemoryStream Out;
      Image.SaveToStream(Out);
      Out.SetPosition(0);
      TKvDIB Again;
      Again.LoadFromStream(Out);
      const TKvDIBInfo& A = Image.InternalDIB()->Info;
      const TKvDIBInfo& B = Again.InternalDIB()->Info;
      ASSERT_EQ(A.BitsSize, B.BitsSize);
      EXPECT_EQ(std::memcmp(A.Bits, B.Bits, static_cast<size_t>(A.BitsSize)), 0);
      if (R.ConvertError) {
        test::ExpectThrowMessage<EKvDIBInvalidDIB>([&] { Image.SetPixelFormat(kvPf24Bit); }, R.ConvertError);
      } else {
        Image.SetPixelFormat(kvPf24Bit);
        EXPECT_EQ(Image.GetPixelFormat(), kvPf24Bit);
      }
    }
    EXPECT_EQ(test::OpenResourceCount(), Descriptors);
  }
  for (const auto& E : std::filesystem::directory_iterator(kData)) {
    const std::string Name = E.path().filename().string();
    if (Name.rfind("bmp_", 0) == 0 && E.path().extension() == ".bmp") {
      EXPECT_TRUE(Listed.count(Name)) << Name << " has no expected outcome";
    }
  }
}

}  // namespace
}  // namespace kv
