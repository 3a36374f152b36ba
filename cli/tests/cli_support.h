// Shared by the tool's end-to-end tests: a private folder per test, runs of the built
// tool through the shell (exit status, terminating signal, output and the child's peak
// memory), and fixtures made in the test: BMP files of every header form, PNG files of
// every colour type through libpng, JPEG files through libjpeg, PGM/PPM files.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "image/KvDIB.h"
#include "tests/KvPngRead.h"

namespace kv::clitest {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

struct TRun {
  int Status = -1;  // exit status, -1 when a signal ended the tool
  int Signal = 0;   // the signal that ended it
  long MaxRssKb = 0;
  std::string Out;
  std::string Err;
};

inline std::string Slurp(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

inline void WriteFile(const fs::path& Path, const TBytes& Data) {
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

inline std::string Quote(const std::string& S) {
  std::string Out = "'";
  for (char C : S) Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

// Runs "Prefix kvdib Args" in /bin/sh; Prefix may set limits or traps ("ulimit -f 64;"),
// Args may redirect standard input. The child is waited for with wait4, so its own peak
// memory is known.
inline TRun RunTool(const fs::path& Dir, const std::string& Args, const std::string& Prefix = "",
                    bool NoStdin = true) {
  const fs::path OutFile = Dir / ".stdout", ErrFile = Dir / ".stderr";
  const std::string Command = Prefix + " exec " + Quote(KVDIB_TOOL) + " " + Args + " >" +
                              Quote(OutFile.string()) + " 2>" + Quote(ErrFile.string()) +
                              (NoStdin ? " </dev/null" : "");
  TRun R;
  const pid_t Child = fork();
  if (Child == 0) {
    execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int Raw = 0;
  struct rusage Usage {};
  wait4(Child, &Raw, 0, &Usage);
  R.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
  R.Signal = WIFSIGNALED(Raw) ? WTERMSIG(Raw) : 0;
  R.MaxRssKb = Usage.ru_maxrss;
  R.Out = Slurp(OutFile);
  R.Err = Slurp(ErrFile);
  fs::remove(OutFile);
  fs::remove(ErrFile);
  return R;
}

// A folder of its own for each test, removed afterwards.
class ToolTest : public testing::Test {
 protected:
  void SetUp() override {
    m_Dir = fs::temp_directory_path() / ("kvdib-" + std::to_string(getpid()) + "-" +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_Dir);
    fs::create_directories(m_Dir);
  }
  void TearDown() override {
    std::error_code Ec;
    fs::permissions(m_Dir, fs::perms::owner_all, fs::perm_options::add, Ec);
    fs::remove_all(m_Dir, Ec);
  }
  std::string Path(const std::string& Name) const { return (m_Dir / Name).string(); }
  std::string Q(const std::string& Name) const { return Quote(Path(Name)); }
  TRun Run(const std::string& Args, const std::string& Prefix = "") const {
    return RunTool(m_Dir, Args, Prefix);
  }
  // The names in the folder (hidden ones too: a temporary left behind shows here).
  std::vector<std::string> Files(const std::string& Sub = "") const {
    std::vector<std::string> Names;
    for (const auto& E : fs::directory_iterator(m_Dir / Sub)) Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }

  fs::path m_Dir;
};

// ---------------------------------------------------------------------------------------
// Pictures: RGB pixels, top row first.

struct TPicture {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;  // red, green, blue per pixel
  uint8_t* At(int X, int Y) { return &Rgb[3 * (static_cast<size_t>(Y) * Width + X)]; }
  const uint8_t* At(int X, int Y) const { return &Rgb[3 * (static_cast<size_t>(Y) * Width + X)]; }
  friend bool operator==(const TPicture&, const TPicture&) = default;
};

// A smooth picture with some texture, so that reductions and compression have work.
inline TPicture Gradient(int Width, int Height, unsigned Seed = 1) {
  TPicture P{Width, Height, std::vector<uint8_t>(3 * static_cast<size_t>(Width) * Height)};
  uint32_t State = Seed * 2654435761u + 1;
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X) {
      State = State * 1664525u + 1013904223u;
      uint8_t* C = P.At(X, Y);
      C[0] = static_cast<uint8_t>(X * 255 / std::max(Width - 1, 1));
      C[1] = static_cast<uint8_t>(Y * 255 / std::max(Height - 1, 1));
      C[2] = static_cast<uint8_t>((X + Y) * 4 + (State >> 29));
    }
  return P;
}

inline void Put16(TBytes& B, size_t At, uint32_t V) {
  B[At] = uint8_t(V);
  B[At + 1] = uint8_t(V >> 8);
}
inline void Put32(TBytes& B, size_t At, uint32_t V) {
  for (int I = 0; I < 4; ++I) B[At + I] = uint8_t(V >> (8 * I));
}
inline void Append(TBytes& B, const TBytes& More) { B.insert(B.end(), More.begin(), More.end()); }

// A BMP file: file header, info header of HeaderSize bytes (12, 40, 52, 56, 64, 108 or
// 124) whose first 40 bytes are the usual fields, masks in the header where the form has
// them (or behind a 40-byte header for bit fields), the colour table (4-byte entries, 3 for
// the 12-byte form), a gap of GapBytes, then Pixels; bfOffBits points at the pixels.
struct TBmpSpec {
  uint32_t HeaderSize = 40;
  int32_t Width = 1, Height = 1;  // negative height: top-down
  uint16_t BitCount = 24;
  uint32_t Compression = 0;
  std::vector<uint32_t> Palette;  // 0x00RRGGBB
  uint32_t ClrUsed = 0;
  uint32_t Masks[4] = {};  // red, green, blue, alpha
  uint32_t GapBytes = 0;
  TBytes Pixels;
};

inline TBytes MakeBmp(const TBmpSpec& S) {
  TBytes B(14 + S.HeaderSize, 0);
  B[0] = 'B';
  B[1] = 'M';
  Put32(B, 14, S.HeaderSize);
  if (S.HeaderSize == 12) {
    Put16(B, 18, static_cast<uint32_t>(S.Width));
    Put16(B, 20, static_cast<uint32_t>(S.Height));
    Put16(B, 22, 1);
    Put16(B, 24, S.BitCount);
  } else {
    Put32(B, 18, static_cast<uint32_t>(S.Width));
    Put32(B, 22, static_cast<uint32_t>(S.Height));
    Put16(B, 26, 1);
    Put16(B, 28, S.BitCount);
    Put32(B, 30, S.Compression);
    Put32(B, 34, static_cast<uint32_t>(S.Pixels.size()));
    Put32(B, 38, 2835);
    Put32(B, 42, 2835);
    Put32(B, 46, S.ClrUsed);
    if (S.HeaderSize >= 52 && S.HeaderSize != 64)
      for (int I = 0; I < (S.HeaderSize >= 56 ? 4 : 3); ++I) Put32(B, 54 + 4 * I, S.Masks[I]);
    if (S.HeaderSize >= 108) Put32(B, 70, 0x73524742);  // 'sRGB' colour space
  }
  if (S.HeaderSize == 40 && S.Compression == 3)
    for (int I = 0; I < 3; ++I) {
      B.resize(B.size() + 4);
      Put32(B, B.size() - 4, S.Masks[I]);
    }
  for (uint32_t C : S.Palette) {
    B.push_back(uint8_t(C));
    B.push_back(uint8_t(C >> 8));
    B.push_back(uint8_t(C >> 16));
    if (S.HeaderSize != 12) B.push_back(0);
  }
  B.resize(B.size() + S.GapBytes, 0xEE);
  Put32(B, 10, static_cast<uint32_t>(B.size()));
  Append(B, S.Pixels);
  Put32(B, 2, static_cast<uint32_t>(B.size()));
  return B;
}

// Rows of a picture in BMP order (bottom-up unless TopDown) at 24 or 32 bits (32: alpha
// byte Alpha(X, Y) in the top byte, blue, green, red below).
template <typename TAlpha>
TBytes BmpRows(const TPicture& P, int Bits, bool TopDown, TAlpha Alpha) {
  const size_t Stride = (static_cast<size_t>(P.Width) * Bits + 31) / 32 * 4;
  TBytes Out(Stride * P.Height, 0);
  for (int R = 0; R < P.Height; ++R) {
    const int Y = TopDown ? R : P.Height - 1 - R;
    for (int X = 0; X < P.Width; ++X) {
      uint8_t* D = &Out[R * Stride + static_cast<size_t>(X) * Bits / 8];
      const uint8_t* C = P.At(X, Y);
      D[0] = C[2];
      D[1] = C[1];
      D[2] = C[0];
      if (Bits == 32) D[3] = Alpha(X, Y);
    }
  }
  return Out;
}
inline TBytes BmpRows(const TPicture& P, int Bits, bool TopDown) {
  return BmpRows(P, Bits, TopDown, [](int, int) { return uint8_t(0); });
}

// A plain 24-bit BMP (40-byte header) of a picture.
inline TBytes Bmp24(const TPicture& P) {
  TBmpSpec S;
  S.Width = P.Width;
  S.Height = P.Height;
  S.Pixels = BmpRows(P, 24, false);
  return MakeBmp(S);
}

// Indexed rows (1, 4 or 8 bits) in BMP order from one index per pixel, top row first.
inline TBytes IndexRows(const std::vector<uint8_t>& Index, int Width, int Height, int Bits, bool TopDown) {
  const size_t Stride = (static_cast<size_t>(Width) * Bits + 31) / 32 * 4;
  TBytes Out(Stride * Height, 0);
  for (int R = 0; R < Height; ++R) {
    const int Y = TopDown ? R : Height - 1 - R;
    for (int X = 0; X < Width; ++X) {
      const uint8_t V = Index[static_cast<size_t>(Y) * Width + X];
      uint8_t& D = Out[R * Stride + static_cast<size_t>(X) * Bits / 8];
      const int Shift = 8 - Bits - (X * Bits) % 8;
      D = static_cast<uint8_t>(D | (V << Shift));
    }
  }
  return Out;
}

// ---------------------------------------------------------------------------------------
// PNG files through libpng.

struct TPngSpec {
  int Width = 1, Height = 1, Depth = 8, ColorType = PNG_COLOR_TYPE_RGB;
  bool Interlaced = false;
  std::vector<uint8_t> Samples;  // per row: Width * channels samples (16-bit: high, low byte pairs)
  std::vector<png_color> Palette;
  std::vector<uint8_t> TransAlpha;  // palette tRNS
  int TransGrey = -1;               // grey tRNS value
  int Level = 6;
};

inline int Channels(int ColorType) {
  switch (ColorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    default: return 4;
  }
}

inline TBytes MakePng(const TPngSpec& S) {
  TBytes Out;
  // Sized before the jump point: a longjmp skips destructors.
  std::vector<uint8_t> Copy = S.Samples;
  std::vector<png_bytep> Rows(S.Height);
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    ADD_FAILURE() << "libpng could not write the fixture";
    return {};
  }
  png_set_write_fn(
      Png, &Out,
      [](png_structp P, png_bytep D, size_t N) {
        auto* V = static_cast<TBytes*>(png_get_io_ptr(P));
        V->insert(V->end(), D, D + N);
      },
      nullptr);
  png_set_compression_level(Png, S.Level);
  png_set_check_for_invalid_index(Png, 0);  // fixtures with indices beyond a short palette
  png_set_IHDR(Png, Info, S.Width, S.Height, S.Depth, S.ColorType,
               S.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!S.Palette.empty()) png_set_PLTE(Png, Info, S.Palette.data(), static_cast<int>(S.Palette.size()));
  if (!S.TransAlpha.empty())
    png_set_tRNS(Png, Info, S.TransAlpha.data(), static_cast<int>(S.TransAlpha.size()), nullptr);
  if (S.TransGrey >= 0) {
    png_color_16 T{};
    T.gray = static_cast<png_uint_16>(S.TransGrey);
    png_set_tRNS(Png, Info, nullptr, 0, &T);
  }
  png_write_info(Png, Info);
  if (S.Depth < 8) png_set_packing(Png);
  const size_t RowSamples = static_cast<size_t>(S.Width) * Channels(S.ColorType) * (S.Depth == 16 ? 2 : 1);
  for (int Y = 0; Y < S.Height; ++Y) Rows[Y] = Copy.data() + Y * RowSamples;
  png_write_image(Png, Rows.data());
  png_write_end(Png, Info);
  png_destroy_write_struct(&Png, &Info);
  return Out;
}

inline TBytes PngOfPicture(const TPicture& P, bool Interlaced = false) {
  TPngSpec S;
  S.Width = P.Width;
  S.Height = P.Height;
  S.Samples = P.Rgb;
  S.Interlaced = Interlaced;
  return MakePng(S);
}

// A binary PGM (P5) or PPM (P6) file.
inline TBytes MakePnm(bool Colour, int Width, int Height, int MaxVal, const std::vector<uint16_t>& Samples) {
  const std::string Header = std::string(Colour ? "P6" : "P5") + "\n# made by a test\n" +
                             std::to_string(Width) + " " + std::to_string(Height) + "\n" +
                             std::to_string(MaxVal) + "\n";
  TBytes B(Header.begin(), Header.end());
  for (uint16_t V : Samples) {
    if (MaxVal > 255) B.push_back(uint8_t(V >> 8));
    B.push_back(uint8_t(V));
  }
  return B;
}

// A JPEG of a picture through libjpeg (grey when Grey), in memory.
inline TBytes MakeJpeg(const TPicture& P, int Quality = 90, bool Progressive = false, bool Grey = false) {
  jpeg_compress_struct J{};
  jpeg_error_mgr Err{};
  J.err = jpeg_std_error(&Err);
  jpeg_create_compress(&J);
  unsigned char* Mem = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&J, &Mem, &Size);
  J.image_width = static_cast<JDIMENSION>(P.Width);
  J.image_height = static_cast<JDIMENSION>(P.Height);
  J.input_components = 3;
  J.in_color_space = JCS_RGB;
  jpeg_set_defaults(&J);
  if (Grey) jpeg_set_colorspace(&J, JCS_GRAYSCALE);
  jpeg_set_quality(&J, Quality, TRUE);
  if (Progressive) jpeg_simple_progression(&J);
  jpeg_start_compress(&J, TRUE);
  std::vector<uint8_t> Row;
  while (J.next_scanline < J.image_height) {
    Row.assign(P.At(0, static_cast<int>(J.next_scanline)),
               P.At(0, static_cast<int>(J.next_scanline)) + 3 * P.Width);
    JSAMPROW R = Row.data();
    jpeg_write_scanlines(&J, &R, 1);
  }
  jpeg_finish_compress(&J);
  TBytes Out(Mem, Mem + Size);
  jpeg_destroy_compress(&J);
  std::free(Mem);
  return Out;
}

// The pixels of an image file the library reads (the tool's BMP output), as RGB.
inline TPicture PictureOfBmp(const std::string& Path) {
  TKvDIB Image;
  Image.LoadFromFile(Path);
  Image.SetPixelFormat(kvPf24Bit);
  TPicture P{Image.GetWidth(), Image.GetHeight(), {}};
  for (int Y = 0; Y < P.Height; ++Y) {
    const uint8_t* Row = Image.ReadScanLine(Y);
    for (int X = 0; X < P.Width; ++X) P.Rgb.insert(P.Rgb.end(), {Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]});
  }
  return P;
}

// The pixels of a PNG file (palette and grey expanded), as RGB; empty when unreadable.
inline TPicture PictureOfPng(const std::string& Path) {
  test::TPngImage Png;
  if (!test::ReadPng(Path, Png)) return {};
  return TPicture{Png.Width, Png.Height, Png.Rgb};
}

}  // namespace kv::clitest
