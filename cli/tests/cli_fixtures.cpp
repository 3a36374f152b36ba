#include "cli/tests/cli_fixtures.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "tests/KvBmpBuild.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;

constexpr int W = kFixtureWidth;
constexpr int H = kFixtureHeight;

// A file handle closed on every exit path.
struct TFile {
  explicit TFile(const fs::path& Path) : F(std::fopen(Path.c_str(), "wb")) {
    if (!F) throw std::runtime_error("cannot create " + Path.string());
  }
  ~TFile() {
    if (F) std::fclose(F);
  }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  std::FILE* F;
};

void write_bytes(const fs::path& Path, const Bytes& Data) {
  std::ofstream Out(Path, std::ios::binary);
  Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  if (!Out) throw std::runtime_error("cannot write " + Path.string());
}

// Colour-table entry I of the palette images as red, green, blue; all distinct (blue is).
void palette_colour(int I, uint8_t Rgb[3]) {
  Rgb[0] = static_cast<uint8_t>(I * 37);
  Rgb[1] = static_cast<uint8_t>(I * 11 + 40);
  Rgb[2] = static_cast<uint8_t>(255 - I);
}

// Pixels of the palette images. The 8-bit one is busy, no two neighbours alike, so that it
// does not fit RLE8 (a refusal for the tool to report); the 4-bit one has runs of 8 with a
// busy row now and then; the grey one is runs only.
uint8_t pal8_index(int X, int Y) { return static_cast<uint8_t>((7 * X + 13 * Y) % kFixturePaletteSize); }
uint8_t pal4_index(int X, int Y) {
  return static_cast<uint8_t>(Y % 4 == 1 ? (5 * X + Y) % 16 : (X / 8 + Y / 4) % 16);
}
uint8_t grey_level(int X, int Y) { return static_cast<uint8_t>(4 * Y + X / 32); }

std::vector<uint32_t> bmp_palette(int Count) {
  std::vector<uint32_t> Table;
  for (int I = 0; I < Count; ++I) {
    uint8_t C[3];
    palette_colour(I, C);
    Table.push_back(C[2] | (C[1] << 8) | (uint32_t{C[0]} << 16));  // blue, green, red, 0
  }
  return Table;
}

int stride(int BitCount) { return ((W * BitCount + 31) / 32) * 4; }

// Uncompressed rows in file order: bottom-up unless TopDown.
template <typename Pixel>
Bytes bmp_rows(int BitCount, bool TopDown, Pixel At) {
  Bytes Rows(static_cast<size_t>(stride(BitCount)) * H, 0);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = Rows.data() + static_cast<size_t>(stride(BitCount)) * (TopDown ? Y : H - 1 - Y);
    for (int X = 0; X < W; ++X) At(Row, X, Y);
  }
  return Rows;
}

// An RLE stream, bottom-up, as an encoder writes one: a run of two or more equal pixels in
// encoded mode, a stretch of three or more unequal ones in absolute mode (padded to 16
// bits), a lone pixel as a run of one; an end of line after each row and an end of bitmap
// after the last.
template <typename Index>
Bytes rle_rows(int Bits, Index At) {
  Bytes Out;
  for (int Y = H - 1; Y >= 0; --Y) {
    auto run_length = [&](int X) {
      int N = 1;
      while (X + N < W && N < 255 && At(X + N, Y) == At(X, Y)) ++N;
      return N;
    };
    auto pair = [&](int N, uint8_t V) {
      Out.push_back(static_cast<uint8_t>(N));
      Out.push_back(Bits == 4 ? static_cast<uint8_t>(V << 4 | V) : V);
    };
    for (int X = 0; X < W;) {
      const int N = run_length(X);
      if (N >= 2) {
        pair(N, At(X, Y));
        X += N;
        continue;
      }
      int L = 1;
      while (X + L < W && L < 255 && run_length(X + L) < 2) ++L;
      if (L < 3) {
        for (int I = 0; I < L; ++I) pair(1, At(X + I, Y));
      } else {
        Out.push_back(0);
        Out.push_back(static_cast<uint8_t>(L));
        const size_t Start = Out.size();
        for (int I = 0; I < L; ++I) {
          const uint8_t V = At(X + I, Y);
          if (Bits == 8)
            Out.push_back(V);
          else if (I % 2 == 0)
            Out.push_back(static_cast<uint8_t>(V << 4));
          else
            Out.back() |= V;
        }
        if ((Out.size() - Start) % 2) Out.push_back(0);
      }
      X += L;
    }
    Out.push_back(0);
    Out.push_back(Y == 0 ? 1 : 0);
  }
  return Out;
}

TBmp pal8_bmp(bool TopDown) {
  TBmp B;
  B.Width = W;
  B.Height = TopDown ? -H : H;
  B.BitCount = 8;
  B.ClrUsed = kFixturePaletteSize;
  B.Colors = bmp_palette(kFixturePaletteSize);
  B.Pixels = bmp_rows(8, TopDown, [](uint8_t* Row, int X, int Y) { Row[X] = pal8_index(X, Y); });
  return B;
}

// Writes a PNG of the given colour type (RGB, palette or grey, 8 bits a sample) from rows
// of 3 (RGB) or 1 byte per pixel.
void write_png(const fs::path& Path, int ColorType, const std::vector<uint8_t>& Pixels,
               const std::vector<png_color>& Palette = {}) {
  TFile File(Path);
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  const size_t RowBytes = static_cast<size_t>(W) * (ColorType == PNG_COLOR_TYPE_RGB ? 3 : 1);
  std::vector<png_bytep> Rows(H);
  for (int Y = 0; Y < H; ++Y) Rows[Y] = const_cast<png_bytep>(Pixels.data() + RowBytes * Y);
  bool Ok = false;
  if (setjmp(png_jmpbuf(Png)) == 0) {
    png_init_io(Png, File.F);
    png_set_IHDR(Png, Info, W, H, 8, ColorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!Palette.empty()) png_set_PLTE(Png, Info, Palette.data(), static_cast<int>(Palette.size()));
    png_write_info(Png, Info);
    png_write_image(Png, Rows.data());
    png_write_end(Png, nullptr);
    Ok = true;
  }
  png_destroy_write_struct(&Png, &Info);
  if (!Ok) throw std::runtime_error("cannot write " + Path.string());
}

void write_jpeg(const fs::path& Path, const std::vector<uint8_t>& Rgb) {
  TFile File(Path);
  jpeg_compress_struct Info{};
  jpeg_error_mgr Error{};
  Info.err = jpeg_std_error(&Error);  // a libjpeg error ends the test program with its message
  jpeg_create_compress(&Info);
  jpeg_stdio_dest(&Info, File.F);
  Info.image_width = W;
  Info.image_height = H;
  Info.input_components = 3;
  Info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&Info);
  jpeg_set_quality(&Info, 95, TRUE);
  jpeg_start_compress(&Info, TRUE);
  while (Info.next_scanline < Info.image_height) {
    JSAMPROW Row = const_cast<JSAMPROW>(Rgb.data() + static_cast<size_t>(Info.next_scanline) * W * 3);
    jpeg_write_scanlines(&Info, &Row, 1);
  }
  jpeg_finish_compress(&Info);
  jpeg_destroy_compress(&Info);
}

}  // namespace

std::vector<uint8_t> FixturePictureRgb() {
  std::vector<uint8_t> Rgb;
  Rgb.reserve(static_cast<size_t>(W) * H * 3);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) {
      const int D = (X - 63) * (X - 63) + (Y - 32) * (Y - 32);  // at most 63 * 63 + 32 * 32
      uint8_t C[3] = {static_cast<uint8_t>(2 * X), static_cast<uint8_t>(4 * Y),
                      static_cast<uint8_t>(D * 255 / 4993)};
      if (Y >= 4 && Y < 16 && X >= 4 && X < 60) {
        const int Patch = (X - 4) / 20;  // white, black, red; 4-pixel gaps keep the gradient
        const uint8_t Patches[3][3] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}};
        if ((X - 4) % 20 < 16) std::copy(Patches[Patch], Patches[Patch] + 3, C);
      }
      Rgb.insert(Rgb.end(), C, C + 3);
    }
  }
  return Rgb;
}

void WriteCliFixtures(const fs::path& Dir) {
  const std::vector<uint8_t> Rgb = FixturePictureRgb();

  TBmp Rgb24;
  Rgb24.Width = W;
  Rgb24.Height = H;
  Rgb24.Pixels = bmp_rows(24, false, [&](uint8_t* Row, int X, int Y) {
    const uint8_t* P = &Rgb[(static_cast<size_t>(Y) * W + X) * 3];
    Row[3 * X] = P[2], Row[3 * X + 1] = P[1], Row[3 * X + 2] = P[0];
  });
  const Bytes Rgb24File = Rgb24.Build();
  write_bytes(Dir / "rgb24.bmp", Rgb24File);
  write_png(Dir / "rgb24.png", PNG_COLOR_TYPE_RGB, Rgb);
  write_jpeg(Dir / "rgb24.jpg", Rgb);

  write_bytes(Dir / "pal8.bmp", pal8_bmp(false).Build());
  write_bytes(Dir / "pal8topdown.bmp", pal8_bmp(true).Build());
  TBmp Rle8 = pal8_bmp(false);
  Rle8.Compression = kBiRLE8;
  Rle8.Pixels = rle_rows(8, pal8_index);
  write_bytes(Dir / "pal8rle.bmp", Rle8.Build());

  TBmp Rle4;
  Rle4.Width = W;
  Rle4.Height = H;
  Rle4.BitCount = 4;
  Rle4.Compression = kBiRLE4;
  Rle4.ClrUsed = 16;
  Rle4.Colors = bmp_palette(16);
  Rle4.Pixels = rle_rows(4, pal4_index);
  write_bytes(Dir / "pal4rle.bmp", Rle4.Build());

  std::vector<png_color> Palette;
  for (int I = 0; I < kFixturePaletteSize; ++I) {
    uint8_t C[3];
    palette_colour(I, C);
    Palette.push_back({C[0], C[1], C[2]});
  }
  std::vector<uint8_t> Indices, Grey;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      Indices.push_back(pal8_index(X, Y));
      Grey.push_back(grey_level(X, Y));
    }
  write_png(Dir / "pal8.png", PNG_COLOR_TYPE_PALETTE, Indices, Palette);
  write_png(Dir / "grey.png", PNG_COLOR_TYPE_GRAY, Grey);

  TBmp BadBitCount = pal8_bmp(false);
  BadBitCount.BitCount = 7;
  write_bytes(Dir / "badbitcount.bmp", BadBitCount.Build());
  TBmp BadWidth = pal8_bmp(false);
  BadWidth.Width = -W;
  write_bytes(Dir / "badwidth.bmp", BadWidth.Build());
  // bfSize still counts every row.
  write_bytes(Dir / "shortfile.bmp", Bytes(Rgb24File.begin(), Rgb24File.begin() + Rgb24File.size() / 2));
  std::ofstream(Dir / "notes.html") << "<!DOCTYPE html>\n<title>Notes</title>\n";
}

}  // namespace kv::test
