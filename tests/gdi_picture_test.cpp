// The picture registry (classes by file extension and clipboard format, file filters),
// pictures loaded through it, and the assignment protocol with its conversion error.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "image/interchange/KvDIBRegister.h"
#include "platform/core/Exceptions.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/GlobalMemory.h"
#include "platform/graphics/Picture.h"
#include "platform/streams/Stream.h"
#include "tests/KvTestSupport.h"

namespace kv::test {
namespace {

// A graphic whose content is one byte, in files and in clipboard blocks of format 0xC001.
class TTinyGraphic : public TGraphic {
 public:
  static constexpr uint16_t kFormat = 0xC001;
  uint8_t Value = 0;
  bool GetEmpty() const override { return false; }
  int32_t GetWidth() const override { return 1; }
  int32_t GetHeight() const override { return 1; }
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  void LoadFromStream(TStream& S) override { S.ReadBuffer(&Value, 1); }
  void SaveToStream(TStream& S) const override { S.WriteBuffer(&Value, 1); }
  void LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE) override {
    if (Format != kFormat || Data == nullptr) throw EInvalidGraphic("not mine");
    const TGlobalLock Lock(Data);
    Value = Lock.Data()[0];
  }
  void SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const override {
    Format = kFormat;
    Data = GlobalAlloc(kGHnd, 1);
    static_cast<uint8_t*>(GlobalLock(Data))[0] = Value;
    GlobalUnlock(Data);
    Palette = nullptr;
  }
  void Assign(const TPersistent* Source) override {
    if (const auto* T = dynamic_cast<const TTinyGraphic*>(Source)) {
      Value = T->Value;
      return;
    }
    TGraphic::Assign(Source);
  }
};

class TOtherTiny : public TTinyGraphic {};

// The registry as the platform alone has it: the image library's registrations (made at
// start-up) are taken out for each test and put back after it.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    KvDIBUnitFinalization();
    TPicture::RegisterFileFormat("TST", "Tiny Pictures", GraphicClass<TTinyGraphic>());
    TPicture::RegisterClipboardFormat(TTinyGraphic::kFormat, GraphicClass<TTinyGraphic>());
    m_Dir = std::filesystem::temp_directory_path() / ("kvdib-picture-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_Dir);
  }
  void TearDown() override {
    TPicture::UnregisterGraphicClass(GraphicClass<TTinyGraphic>());
    std::filesystem::remove_all(m_Dir);
    KvDIBUnitInitialization();
  }
  std::string path(const std::string& Name) const { return (m_Dir / Name).string(); }

 private:
  std::filesystem::path m_Dir;
};

TEST_F(Registry, FiltersListTheRegisteredFormats) {
  EXPECT_EQ(GraphicFilter(),
            "All (*.bmp;*.tst)|*.bmp;*.tst|Bitmaps (*.bmp)|*.bmp|Tiny Pictures (*.tst)|*.tst");
  EXPECT_EQ(GraphicFilter(GraphicClass<TTinyGraphic>()), "Tiny Pictures (*.tst)|*.tst");
  EXPECT_EQ(GraphicFileMask(GraphicClass<TBitmap>()), "*.bmp");
  EXPECT_EQ(GraphicExtension(GraphicClass<TTinyGraphic>()), "tst");
  EXPECT_EQ(TPicture::FileFormatClass("Tst"), GraphicClass<TTinyGraphic>());
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(TTinyGraphic::kFormat));
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(kCF_Bitmap));
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(kCF_DIB));

  TPicture::UnregisterGraphicClass(GraphicClass<TTinyGraphic>());  // both registrations go
  EXPECT_EQ(GraphicFilter(), "Bitmaps (*.bmp)|*.bmp");
  EXPECT_EQ(TPicture::FileFormatClass("tst"), nullptr);
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(TTinyGraphic::kFormat));
}

TEST_F(Registry, LoadingPicksTheClassByExtensionAndFormat) {
  {
    TFileStream F(path("one.TST"), TFileStream::Create);
    const uint8_t V = 42;
    F.WriteBuffer(&V, 1);
  }
  TPicture P;
  P.LoadFromFile(path("one.TST"));
  const auto* Tiny = dynamic_cast<const TTinyGraphic*>(P.Graphic());
  ASSERT_NE(Tiny, nullptr);
  EXPECT_EQ(Tiny->Value, 42);
  ExpectThrowMessage<EInvalidGraphic>([&] { P.LoadFromFile(path("two.xyz")); },
                                      "Unknown picture file extension (.xyz)");
  EXPECT_EQ(P.Graphic(), Tiny);  // kept
  ExpectThrowMessage<EStreamError>([&] { P.LoadFromFile(path("missing.tst")); },
                                   "Cannot open file " + path("missing.tst"));
  EXPECT_EQ(P.Graphic(), Tiny);

  // A bitmap file through the picture: saved and loaded again as a TBitmap.
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(3, 2);
  B.Canvas().SetPixel(1, 1, MakeRGB(1, 2, 3));
  TPicture Q;
  Q.SetGraphic(&B);
  Q.SaveToFile(path("b.bmp"));
  Q.LoadFromFile(path("b.bmp"));
  auto* Loaded = dynamic_cast<TBitmap*>(Q.Graphic());
  ASSERT_NE(Loaded, nullptr);
  EXPECT_EQ(Loaded->Canvas().GetPixel(1, 1), static_cast<TColor>(MakeRGB(1, 2, 3)));

  // The latest registration of an extension wins.
  TPicture::RegisterFileFormat("tst", "Other tiny pictures", GraphicClass<TOtherTiny>());
  P.LoadFromFile(path("one.TST"));
  EXPECT_NE(dynamic_cast<const TOtherTiny*>(P.Graphic()), nullptr);
  TPicture::UnregisterGraphicClass(GraphicClass<TOtherTiny>());
  EXPECT_EQ(TPicture::FileFormatClass("tst"), GraphicClass<TTinyGraphic>());

  // Clipboard data: by format, and from the clipboard object.
  TTinyGraphic G;
  G.Value = 7;
  uint16_t Format = 0;
  HANDLE Data = nullptr;
  HPALETTE Pal = nullptr;
  G.SaveToClipboardFormat(Format, Data, Pal);
  TGlobalBlock Owned(Data);
  P.LoadFromClipboardFormat(Format, Data, nullptr);
  EXPECT_EQ(dynamic_cast<const TTinyGraphic&>(*P.Graphic()).Value, 7);
  ExpectThrowMessage<EInvalidGraphic>([&] { P.LoadFromClipboardFormat(kCF_DIB, Data, nullptr); },
                                      "Unsupported clipboard format");
  G.Value = 9;
  TClipboard& C = Clipboard();
  C.Assign(&G);
  P.Assign(&C);
  EXPECT_EQ(dynamic_cast<const TTinyGraphic&>(*P.Graphic()).Value, 9);
  EXPECT_EQ(C.OpenCount(), 0);
  C.Clear();
  ExpectThrowMessage<EInvalidGraphic>([&] { P.Assign(&C); }, "Unsupported clipboard format");
  EXPECT_EQ(C.OpenCount(), 0);  // closed on the way out
}

TEST(Assignment, UnsupportedPairsRaiseTheConversionError) {
  TBitmap B;
  TTinyGraphic G;
  (void)GraphicClass<TTinyGraphic>();  // makes the class known to the picture
  ExpectThrowMessage<EConvertError>([&] { B.Assign(&G); }, "Cannot assign a TTinyGraphic to a TBitmap");
  ExpectThrowMessage<EConvertError>([&] { G.Assign(&B); }, "Cannot assign a TBitmap to a TTinyGraphic");
  ExpectThrowMessage<EConvertError>([&] { Clipboard().Assign(nullptr); },
                                    "Cannot assign a nil to a TClipboard");
  EXPECT_EQ(B.ClassName(), "TBitmap");
  TPicture P;
  P.Assign(&G);  // a picture takes any graphic whose class is known
  EXPECT_NE(P.Graphic(), &G);
  P.Assign(nullptr);
  EXPECT_EQ(P.Graphic(), nullptr);
}

}  // namespace
}  // namespace kv::test
