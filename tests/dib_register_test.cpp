// The image library unit: TKvDIB registered with the picture registry for "dib" files and
// CF_DIB data from the start, gone after finalisation together with the shared palettes,
// and back after a new initialisation.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include <unistd.h>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBRegister.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/GlobalMemory.h"
#include "platform/graphics/Picture.h"
#include "tests/KvTestSupport.h"
#include "tests/dib_fixtures.h"

namespace kv::test {
namespace {

class DIBRegister : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = std::filesystem::temp_directory_path() / ("kvdib-register-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_Dir);
    Clipboard().Clear();
  }
  void TearDown() override {
    KvDIBUnitInitialization();  // as the rest of the program expects it
    Clipboard().Clear();
    std::filesystem::remove_all(m_Dir);
  }
  std::string path(const std::string& Name) const { return (m_Dir / Name).string(); }

 private:
  std::filesystem::path m_Dir;
};

TEST_F(DIBRegister, TheRegistryBeforeAndAfterFinalisation) {
  ASSERT_TRUE(KvDIBUnitInitialized());  // by itself, before main
  std::mt19937 Rng(5);
  TKvDIB Image;
  FillRandom(Image, Rng, 6, 4, kvPf8Bit);
  Image.WriteToFile(path("one.DIB"));
  Image.WriteToFile(path("one.bmp"));
  Clipboard().Assign(&Image);

  EXPECT_EQ(TPicture::FileFormatClass("dib"), GraphicClass<TKvDIB>());
  EXPECT_EQ(TPicture::ClipboardFormatClass(kCF_DIB), GraphicClass<TKvDIB>());
  EXPECT_EQ(TPicture::FileFormatClass("bmp"), GraphicClass<TBitmap>());  // "bmp" is not ours
  EXPECT_EQ(GraphicFilter(GraphicClass<TKvDIB>()), "Device Independent Bitmap (*.dib)|*.dib");
  EXPECT_NE(GraphicFilter().find("Device Independent Bitmap (*.dib)|*.dib"), std::string::npos);

  TPicture P;
  P.LoadFromFile(path("one.DIB"));
  const auto* Loaded = dynamic_cast<const TKvDIB*>(P.Graphic());
  ASSERT_NE(Loaded, nullptr);
  ExpectSameImage(Image, *Loaded);
  P.LoadFromFile(path("one.bmp"));
  EXPECT_NE(dynamic_cast<const TBitmap*>(P.Graphic()), nullptr);
  P.Assign(&Clipboard());  // the clipboard's CF_DIB data
  Loaded = dynamic_cast<const TKvDIB*>(P.Graphic());
  ASSERT_NE(Loaded, nullptr);
  ExpectSameImage(Image, *Loaded, true);

  // Finalisation deletes the shared palettes made so far and both registrations.
  TKvDIB Halftone;
  Halftone.HalftoneMode = 1;
  const HPALETTE Shared = Halftone.GetPalette();
  const int64_t Objects = GdiObjectsInUse();
  KvDIBUnitFinalization();
  EXPECT_FALSE(KvDIBUnitInitialized());
  EXPECT_LE(GdiObjectsInUse(), Objects - 1);  // the mono palette too, if it was made
  EXPECT_EQ(GetPaletteEntries(Shared, 0, 0, nullptr), 0u);
  EXPECT_EQ(TPicture::FileFormatClass("dib"), nullptr);
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(kCF_DIB));
  EXPECT_EQ(GraphicFilter(GraphicClass<TKvDIB>()), "");
  ExpectThrowMessage<EInvalidGraphic>([&] { P.LoadFromFile(path("one.dib")); },
                                      "Unknown picture file extension (.dib)");
  ExpectThrowMessage<EInvalidGraphic>([&] { P.Assign(&Clipboard()); }, "Unsupported clipboard format");
  const int64_t After = GdiObjectsInUse();
  KvDIBUnitFinalization();  // a second time: nothing left to do
  EXPECT_EQ(GdiObjectsInUse(), After);

  // Initialised again: registered once, as before.
  KvDIBUnitInitialization();
  KvDIBUnitInitialization();
  EXPECT_EQ(GraphicFilter(GraphicClass<TKvDIB>()), "Device Independent Bitmap (*.dib)|*.dib");
  P.LoadFromFile(path("one.DIB"));
  EXPECT_NE(dynamic_cast<const TKvDIB*>(P.Graphic()), nullptr);
  EXPECT_NE(Halftone.GetPalette(), nullptr);  // made anew on first use
}

}  // namespace
}  // namespace kv::test
