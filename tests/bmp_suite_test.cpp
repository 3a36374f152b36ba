// The public BMP conformance suite, file by file: what must load (and then show the pixels
// of its reference rendering once converted to 24 bits), what must be refused and with
// which error. Questionable and bad files that load are converted as well, so that the
// decoders meet them under the sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/KvDIB.h"
#include "tests/KvBmpSuite.h"
#include "tests/KvTestSupport.h"
#ifdef KVDIB_HAVE_PNG
#include "tests/KvPngRead.h"
#endif

namespace kv {
namespace {

const std::string kSuite = test::BmpSuiteDir();

enum class Outcome { Loads, InvalidDIB, InvalidDIBFile, StreamError, OutOfResources };

struct SuiteFile {
  const char* Path;
  Outcome Expect;
  const char* Detail;                  // the reference rendering (Loads) or the error message
  const char* ConvertError = nullptr;  // for a file that loads: the refusal of its pixels
};

const char* const kHeaderSize = "TKvInternalDIB.LoadFromStream: Invalid Bitmap Header Size";
const char* const kBitCout = "TKvInternalDIB.LoadFromStream: Invalid BitCout";
const char* const kMasks = "TKvInternalDIB.LoadFromStream: Invalid Masks";
const char* const kNoMapping = "GetFileMap: Cannot Make File Mapping Object";

// Good files: every 40- and 12-byte header loads and matches its reference.
const SuiteFile kGood[] = {
    {"g/pal1.bmp", Outcome::Loads, "pal1.png"},
    {"g/pal1wb.bmp", Outcome::Loads, "pal1.png"},
    {"g/pal1bg.bmp", Outcome::Loads, "pal1bg.png"},
    {"g/pal4.bmp", Outcome::Loads, "pal4.png"},
    {"g/pal4gs.bmp", Outcome::Loads, "pal4gs.png"},
    {"g/pal4rle.bmp", Outcome::Loads, "pal4.png"},
    {"g/pal8.bmp", Outcome::Loads, "pal8.png"},
    {"g/pal8-0.bmp", Outcome::Loads, "pal8.png"},
    {"g/pal8gs.bmp", Outcome::Loads, "pal8gs.png"},
    {"g/pal8rle.bmp", Outcome::Loads, "pal8.png"},
    {"g/pal8w126.bmp", Outcome::Loads, "pal8w126.png"},
    {"g/pal8w125.bmp", Outcome::Loads, "pal8w125.png"},
    {"g/pal8w124.bmp", Outcome::Loads, "pal8w124.png"},
    {"g/pal8topdown.bmp", Outcome::Loads, "pal8.png"},
    {"g/pal8nonsquare.bmp", Outcome::Loads, "pal8nonsquare-e.png"},  // as stored, not stretched
    {"g/pal8os2.bmp", Outcome::Loads, "pal8.png"},
    {"g/pal8v4.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"g/pal8v5.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"g/rgb16.bmp", Outcome::Loads, "rgb16.png"},
    {"g/rgb16bfdef.bmp", Outcome::Loads, "rgb16.png"},
    {"g/rgb16-565.bmp", Outcome::Loads, "rgb16-565.png"},
    {"g/rgb16-565pal.bmp", Outcome::Loads, "rgb16-565.png"},
    {"g/rgb24.bmp", Outcome::Loads, "rgb24.png"},
    {"g/rgb24pal.bmp", Outcome::Loads, "rgb24.png"},
    {"g/rgb32.bmp", Outcome::Loads, "rgb24.png"},
    {"g/rgb32bfdef.bmp", Outcome::Loads, "rgb24.png"},
    {"g/rgb32bf.bmp", Outcome::Loads, "rgb24.png"},
};

// Questionable, bad and foreign files: loaded or refused, never a crash.
const SuiteFile kOthers[] = {
    {"q/pal1huffmsb.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/pal1p1.bmp", Outcome::Loads, nullptr},
    {"q/pal2.bmp", Outcome::InvalidDIB, kBitCout},
    {"q/pal2color.bmp", Outcome::InvalidDIB, kBitCout},
    {"q/pal4rlecut.bmp", Outcome::Loads, nullptr},
    {"q/pal4rletrns.bmp", Outcome::Loads, nullptr},
    {"q/pal8offs.bmp", Outcome::Loads, nullptr},                // the gap is taken as pixel data
    {"q/pal8os2-hs.bmp", Outcome::OutOfResources, kNoMapping},  // bfSize 26: no pixel size
    {"q/pal8os2-sz.bmp", Outcome::OutOfResources, kNoMapping},
    {"q/pal8os2sp.bmp", Outcome::InvalidDIB,
     "TKvInternalDIB.LoadFromStream: Bits Size is Smaller than the Image"},
    {"q/pal8os2v2.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/pal8os2v2-16.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/pal8os2v2-sz.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/pal8os2v2-40sz.bmp", Outcome::OutOfResources, kNoMapping},
    {"q/pal8oversizepal.bmp", Outcome::Loads, "pal8.png"},
    {"q/pal8rlecut.bmp", Outcome::Loads, nullptr},
    {"q/pal8rletrns.bmp", Outcome::Loads, nullptr},
    {"q/rgb16-231.bmp", Outcome::Loads, "rgb16-231.png"},
    {"q/rgb16-3103.bmp", Outcome::Loads, nullptr},  // 10-bit green: the reference rounds
    {"q/rgb16faketrns.bmp", Outcome::Loads, "rgb16.png"},
    {"q/rgb24jpeg.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgb24largepal.bmp", Outcome::Loads, "rgb24.png"},
    {"q/rgb24lprof.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgb24png.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgb24prof.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgb24prof2.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgb24rle24.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgb32-111110.bmp", Outcome::Loads, nullptr},
    {"q/rgb32-7187.bmp", Outcome::Loads, nullptr},  // 18-bit green: the reference rounds
    {"q/rgb32-xbgr.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgb32fakealpha.bmp", Outcome::Loads, "rgb24.png"},
    {"q/rgb32h52.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba16-1924.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba16-4444.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba16-5551.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba32-1.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba32-1010102.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba32-2.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba32-61754.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba32-81284.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba32abf.bmp", Outcome::InvalidDIB, kMasks},  // masks of an unknown compression: none given
    {"q/rgba32h56.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"q/rgba64.bmp", Outcome::InvalidDIB, kBitCout},
    {"b/badbitcount.bmp", Outcome::InvalidDIB, kBitCout},
    {"b/badbitssize.bmp", Outcome::Loads, nullptr},
    {"b/baddens1.bmp", Outcome::Loads, nullptr},
    {"b/baddens2.bmp", Outcome::Loads, nullptr},
    {"b/badfilesize.bmp", Outcome::StreamError, "Stream read error"},
    {"b/badheadersize.bmp", Outcome::InvalidDIB, kHeaderSize},
    {"b/badpalettesize.bmp", Outcome::OutOfResources, kNoMapping},
    {"b/badplanes.bmp", Outcome::Loads, nullptr},
    {"b/badrle.bmp", Outcome::Loads, nullptr, "Convert8BitRLETo8BitRGB: Bad RLE Data 4"},
    {"b/badrle4.bmp", Outcome::Loads, nullptr, "Convert4BitRLETo4BitRGB: Bad RLE Data 8"},
    {"b/badrle4bis.bmp", Outcome::Loads, nullptr, "Convert4BitRLETo4BitRGB: Bad RLE Data 6"},
    {"b/badrle4ter.bmp", Outcome::Loads, nullptr, "Convert4BitRLETo4BitRGB: Bad RLE Data 6"},
    {"b/badrlebis.bmp", Outcome::Loads, nullptr, "Convert8BitRLETo8BitRGB: Bad RLE Data 2"},
    {"b/badrleter.bmp", Outcome::Loads, nullptr, "Convert8BitRLETo8BitRGB: Bad RLE Data 2"},
    {"b/badwidth.bmp", Outcome::InvalidDIB, "TKvInternalDIB.LoadFromStream: Invalid Width or Height"},
    {"b/pal8badindex.bmp", Outcome::Loads, nullptr},
    {"b/reallybig.bmp", Outcome::InvalidDIB, "TKvInternalDIB.LoadFromStream: Image Too Large"},
    {"b/rgb16-880.bmp", Outcome::InvalidDIB, kMasks},
    {"b/rletopdown.bmp", Outcome::Loads, nullptr},
    {"b/shortfile.bmp", Outcome::StreamError, "Stream read error"},
    {"x/ba-bm.bmp", Outcome::InvalidDIBFile, "TKvInternalDIB.LoadFromFile: File type is invalid"},
};

std::vector<SuiteFile> all_files() {
  std::vector<SuiteFile> All(std::begin(kGood), std::end(kGood));
  All.insert(All.end(), std::begin(kOthers), std::end(kOthers));
  return All;
}

// Loads Path into Image; returns the refusal as (outcome, message) or nothing.
std::optional<std::pair<Outcome, std::string>> try_load(TKvDIB& Image, const std::string& Path) {
  try {
    Image.LoadFromFile(Path);
    return std::nullopt;
  } catch (const EKvDIBInvalidDIB& E) {
    return std::make_pair(Outcome::InvalidDIB, E.Message());
  } catch (const EKvDIBInvalidDIBFile& E) {
    return std::make_pair(Outcome::InvalidDIBFile, E.Message());
  } catch (const EStreamError& E) {
    return std::make_pair(Outcome::StreamError, E.Message());
  } catch (const EOutOfResources& E) {
    return std::make_pair(Outcome::OutOfResources, E.Message());
  }
}

void check_outcome(TKvDIB& Image, const SuiteFile& F) {
  const auto Refusal = try_load(Image, kSuite + "/" + F.Path);
  if (F.Expect == Outcome::Loads) {
    EXPECT_FALSE(Refusal) << "refused: " << Refusal->second;
    return;
  }
  ASSERT_TRUE(Refusal) << "expected a refusal";
  EXPECT_EQ(Refusal->first, F.Expect);
  EXPECT_EQ(Refusal->second, F.Detail);
}

TEST(BmpSuite, EveryFileHasItsExpectedOutcome) {
  KVDIB_REQUIRE_BMPSUITE();
  const std::vector<SuiteFile> Listed = all_files();
  for (const SuiteFile& F : Listed) {
    SCOPED_TRACE(F.Path);
    TKvDIB Image;
    check_outcome(Image, F);
  }
  // Every file of the suite is in one of the tables.
  size_t OnDisk = 0;
  for (const char* Dir : {"g", "q", "b", "x"})
    for (const auto& E : std::filesystem::directory_iterator(kSuite + "/" + Dir))
      OnDisk += E.path().extension() == ".bmp";
  EXPECT_EQ(Listed.size(), OnDisk);
}

TEST(BmpSuite, LoadedFilesConvertOrRefuseCleanly) {
  KVDIB_REQUIRE_BMPSUITE();
  for (const SuiteFile& F : all_files()) {
    if (F.Expect != Outcome::Loads) continue;
    SCOPED_TRACE(F.Path);
    TKvDIB Image;
    Image.LoadFromFile(kSuite + "/" + F.Path);
    if (F.ConvertError) {
      test::ExpectThrowMessage<EKvDIBInvalidDIB>([&] { Image.SetPixelFormat(kvPf24Bit); }, F.ConvertError);
      continue;
    }
    Image.SetPixelFormat(kvPf24Bit);
    EXPECT_EQ(Image.GetPixelFormat(), kvPf24Bit);
    // On to the reductions and an encoder; a picture may be too busy for RLE.
    for (TKvPixelFormat Target : {kvPf8Bit, kvPf4BitRLE}) {
      try {
        Image.SetPixelFormat(Target);
        EXPECT_EQ(Image.GetPixelFormat(), Target);
      } catch (const EKvDIBCompressionFailed& E) {
        EXPECT_EQ(E.Message(), "Convert4BitRGBTo4BitRLE: Compression Failed");
      }
    }
  }
}

#ifdef KVDIB_HAVE_PNG

// Significant bits per channel: all 8, or for masked files the width of each mask.
struct Precision {
  int Red = 8, Green = 8, Blue = 8;
};

Precision precision_of(const std::string& Path) {
  std::FILE* File = std::fopen(Path.c_str(), "rb");
  uint8_t H[66] = {};
  const size_t N = File ? std::fread(H, 1, sizeof(H), File) : 0;
  if (File) std::fclose(File);
  Precision P;
  if (N < 54) return P;
  auto u32 = [&](int At) {
    return H[At] | (H[At + 1] << 8) | (H[At + 2] << 16) | (uint32_t(H[At + 3]) << 24);
  };
  const int Bits = H[28] | (H[29] << 8);
  const uint32_t Compression = u32(30);
  uint32_t Masks[3] = {0, 0, 0};
  if (Bits == 16 && Compression == kBiRGB) Masks[0] = 0x7C00, Masks[1] = 0x03E0, Masks[2] = 0x001F;
  if (Compression == kBiBitFields && N >= 66)
    for (int I = 0; I < 3; ++I) Masks[I] = u32(54 + 4 * I);
  if (Masks[0] == 0) return P;
  P.Red = std::min(8, std::popcount(Masks[0]));
  P.Green = std::min(8, std::popcount(Masks[1]));
  P.Blue = std::min(8, std::popcount(Masks[2]));
  return P;
}

// Compares a 24-bit image with a reference, channel by channel in its top Bits bits.
void expect_matches(TKvDIB& Image, const test::TPngImage& Ref, const Precision& P) {
  ASSERT_EQ(Image.GetPixelFormat(), kvPf24Bit);
  ASSERT_EQ(Image.GetWidth(), Ref.Width);
  ASSERT_EQ(Image.GetHeight(), Ref.Height);
  auto top = [](uint8_t V, int Bits) { return V >> (8 - Bits); };
  int Mismatches = 0;
  for (int Y = 0; Y < Ref.Height; ++Y) {
    const uint8_t* Row = Image.GetScanLine(Y);
    for (int X = 0; X < Ref.Width; ++X) {
      const uint8_t* R = &Ref.Rgb[(static_cast<size_t>(Y) * Ref.Width + X) * 3];
      const uint8_t* D = Row + 3 * X;
      if (top(D[2], P.Red) != top(R[0], P.Red) || top(D[1], P.Green) != top(R[1], P.Green) ||
          top(D[0], P.Blue) != top(R[2], P.Blue)) {
        if (++Mismatches <= 3)
          ADD_FAILURE() << "pixel (" << X << ", " << Y << "): got " << int(D[2]) << "," << int(D[1]) << ","
                        << int(D[0]) << " want " << int(R[0]) << "," << int(R[1]) << "," << int(R[2]);
      }
    }
  }
  EXPECT_EQ(Mismatches, 0);
}

TEST(BmpSuite, LoadedFilesShowTheirReferencePixels) {
  KVDIB_REQUIRE_BMPSUITE();
  for (const SuiteFile& F : all_files()) {
    if (F.Expect != Outcome::Loads || F.Detail == nullptr) continue;
    SCOPED_TRACE(F.Path);
    test::TPngImage Ref;
    ASSERT_TRUE(test::ReadPng(kSuite + "/reference/" + F.Detail, Ref)) << F.Detail;
    TKvDIB Image;
    Image.LoadFromFile(kSuite + "/" + F.Path);
    Image.SetPixelFormat(kvPf24Bit);
    expect_matches(Image, Ref, precision_of(kSuite + "/" + F.Path));
  }
}

// Palette images checked straight from their rows and colour table, independent of the
// conversions: index -> colour through the loaded table.
TEST(BmpSuite, PaletteFilesIndexTheirReferenceColours) {
  KVDIB_REQUIRE_BMPSUITE();
  int Checked = 0;
  for (const SuiteFile& F : kGood) {
    if (F.Expect != Outcome::Loads) continue;
    TKvDIB Image;
    Image.LoadFromFile(kSuite + "/" + F.Path);
    const TKvPixelFormat Format = Image.GetPixelFormat();
    if (Format != kvPf1Bit && Format != kvPf4Bit && Format != kvPf8Bit) continue;
    SCOPED_TRACE(F.Path);
    test::TPngImage Ref;
    ASSERT_TRUE(test::ReadPng(kSuite + "/reference/" + F.Detail, Ref));
    ASSERT_EQ(Image.GetWidth(), Ref.Width);
    ASSERT_EQ(Image.GetHeight(), Ref.Height);
    const int Bits = Image.GetBitCount();
    int Mismatches = 0;
    for (int Y = 0; Y < Ref.Height; ++Y) {
      const uint8_t* Row = Image.GetScanLine(Y);
      for (int X = 0; X < Ref.Width; ++X) {
        const int Bit = X * Bits;
        const int Index = (Row[Bit / 8] >> (8 - Bits - Bit % 8)) & ((1 << Bits) - 1);
        const TColor C = Image.GetColors(Index);
        const uint8_t* R = &Ref.Rgb[(static_cast<size_t>(Y) * Ref.Width + X) * 3];
        Mismatches += (C & 0xFF) != R[0] || ((C >> 8) & 0xFF) != R[1] || ((C >> 16) & 0xFF) != R[2];
      }
    }
    EXPECT_EQ(Mismatches, 0);
    ++Checked;
  }
  EXPECT_EQ(Checked, 14);
}

#endif  // KVDIB_HAVE_PNG

}  // namespace
}  // namespace kv
