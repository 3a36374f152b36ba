// Writes the reference file for the plug-in test hosts: a photograph and a few cut-outs of
// it (odd widths, a single pixel, single rows and columns) with what the library itself makes
// of each: TKvDIB converted from 24 to 8 bits by the Normal and the Fine method.
//
//   plugin-golden <photo.png> <golden file>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "image/KvDIB.h"
#include "plugin/tests/golden_file.h"

namespace {

struct TPhoto {
  uint32_t Width = 0;
  uint32_t Height = 0;
  std::vector<uint8_t> Pixels;  // blue, green, red, rows from the top
};

bool read_png(const char* Path, TPhoto& Photo) {
  png_image Image;
  std::memset(&Image, 0, sizeof Image);
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Image, Path)) return false;
  Image.format = PNG_FORMAT_BGR;
  Photo.Width = Image.width;
  Photo.Height = Image.height;
  Photo.Pixels.resize(PNG_IMAGE_SIZE(Image));
  if (!png_image_finish_read(&Image, nullptr, Photo.Pixels.data(), 0, nullptr)) {
    png_image_free(&Image);
    return false;
  }
  return true;
}

// The library's reduction of one image, read back the way the module reads it.
kvtest::TGoldenMethod reduce(const kvtest::TGoldenCase& C, bool Fine) {
  kv::TKvDIB DIB;
  DIB.SetWidth(C.Width);
  DIB.SetHeight(C.Height);
  DIB.SetBitCount(24);
  for (int32_t Y = 0; Y < C.Height; ++Y)
    std::memcpy(DIB.GetScanLine(Y), &C.Pixels[static_cast<size_t>(Y) * C.Width * 3], C.Width * 3u);
  DIB.FineMethod = Fine;
  DIB.SetPixelFormat(kv::kvPf8Bit);

  kvtest::TGoldenMethod M;
  for (int32_t I = 0; I < DIB.GetColorCount(); ++I) {
    const kv::TColor Color = DIB.GetColors(I);
    M.Palette.push_back(static_cast<uint8_t>(Color >> 16));
    M.Palette.push_back(static_cast<uint8_t>(Color >> 8));
    M.Palette.push_back(static_cast<uint8_t>(Color));
  }
  for (int32_t Y = 0; Y < C.Height; ++Y) {
    const uint8_t* Row = DIB.GetScanLine(Y);
    M.Indices.insert(M.Indices.end(), Row, Row + C.Width);
  }
  return M;
}

kvtest::TGoldenCase cut(const TPhoto& Photo, uint32_t X0, uint32_t Y0, uint32_t W, uint32_t H) {
  kvtest::TGoldenCase C;
  C.Width = static_cast<uint16_t>(W);
  C.Height = static_cast<uint16_t>(H);
  for (uint32_t Y = Y0; Y < Y0 + H; ++Y) {
    const uint8_t* Row = &Photo.Pixels[(static_cast<size_t>(Y) * Photo.Width + X0) * 3];
    C.Pixels.insert(C.Pixels.end(), Row, Row + W * 3);
  }
  return C;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 3) {
    std::fprintf(stderr, "usage: %s <photo.png> <golden file>\n", Argv[0]);
    return 2;
  }
  TPhoto Photo;
  if (!read_png(Argv[1], Photo) || Photo.Width < 64 || Photo.Height < 64 || Photo.Width > 0xFFFF ||
      Photo.Height > 0xFFFF) {
    std::fprintf(stderr, "cannot read %s as a photograph of at least 64 x 64 pixels\n", Argv[1]);
    return 1;
  }
  const uint32_t W = Photo.Width, H = Photo.Height;
  std::vector<kvtest::TGoldenCase> Cases = {
      cut(Photo, 0, 0, W, H),             // the whole photograph
      cut(Photo, W / 3, H / 3, 37, 23),   // odd width and height
      cut(Photo, W / 2, H / 2, 1, 1),     // a single pixel
      cut(Photo, 5, H / 4, 2, 3),         // fewer pixels than a row's padding
      cut(Photo, 0, H - 1, W, 1),         // one row
      cut(Photo, W - 1, 0, 1, H),         // one column
      cut(Photo, W / 4, H / 5, 255, 17),  // width one below a multiple of 4 and of 256
  };
  try {
    for (kvtest::TGoldenCase& C : Cases) {
      C.Methods[0] = reduce(C, false);
      C.Methods[1] = reduce(C, true);
    }
  } catch (const std::exception& E) {
    std::fprintf(stderr, "the library's reduction failed: %s\n", E.what());
    return 1;
  }
  if (!kvtest::WriteGolden(Argv[2], Cases)) {
    std::fprintf(stderr, "cannot write %s\n", Argv[2]);
    return 1;
  }
  std::printf("%zu images from %s (%u x %u)\n", Cases.size(), Argv[1], W, H);
  return 0;
}
