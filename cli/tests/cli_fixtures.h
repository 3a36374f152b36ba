// The inputs of the tool's end-to-end tests, made by the tests themselves: one 127 x 64
// picture (an odd width, so rows are padded) as BMP, PNG and JPEG; palette images as plain,
// top-down, RLE8 and RLE4 BMP files and as a palette PNG; a grey PNG; and broken files.
// The BMP, PNG and JPEG bytes are written here directly (libpng, libjpeg), not by the
// library or the tool under test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kv::test {

constexpr int kFixtureWidth = 127;
constexpr int kFixtureHeight = 64;
// Colours in the palette images and in pal8.png.
constexpr int kFixturePaletteSize = 252;

// The picture of rgb24.bmp, rgb24.png and rgb24.jpg as RGB rows top to bottom: smooth
// gradients with flat white, black and red patches for the key colours.
std::vector<uint8_t> FixturePictureRgb();

// Writes into Dir (which must exist):
//   rgb24.bmp rgb24.png rgb24.jpg       the picture: 24-bit BMP, RGB PNG, JPEG
//   pal8.bmp pal8topdown.bmp pal8rle.bmp  kFixturePaletteSize colours: bottom-up, top-down, RLE8
//   pal4rle.bmp                          16 colours, RLE4
//   pal8.png                             palette PNG of pal8.bmp's pixels and colours
//   grey.png                             8-bit grey PNG with horizontal runs
//   badbitcount.bmp badwidth.bmp v5header.bmp shortfile.bmp notes.html   broken or foreign
// Throws std::runtime_error when a file cannot be written.
void WriteCliFixtures(const std::filesystem::path& Dir);

}  // namespace kv::test
