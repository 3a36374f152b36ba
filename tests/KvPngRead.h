// Test-only PNG reading through libpng, shared by the library's and the tool's tests.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kv::test {

// A PNG as 8-bit RGB rows top to bottom, with the header facts of the file as stored.
struct TPngImage {
  int Width = 0, Height = 0, Depth = 0, ColorType = -1, PaletteSize = 0;
  std::vector<uint8_t> Rgb;  // red, green, blue per pixel
};

// Reads without any colour management: palette and grey expanded, 16-bit samples cut to
// their high byte, alpha dropped. False when the file cannot be opened or decoded.
inline bool ReadPng(const std::string& Path, TPngImage& Out) {
  std::FILE* File = std::fopen(Path.c_str(), "rb");
  if (!File) return false;
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  bool Ok = false;
  if (setjmp(png_jmpbuf(Png)) == 0) {
    png_init_io(Png, File);
    png_read_info(Png, Info);
    Out.Width = static_cast<int>(png_get_image_width(Png, Info));
    Out.Height = static_cast<int>(png_get_image_height(Png, Info));
    Out.Depth = png_get_bit_depth(Png, Info);
    Out.ColorType = png_get_color_type(Png, Info);
    png_colorp Palette = nullptr;
    if (png_get_PLTE(Png, Info, &Palette, &Out.PaletteSize) == 0) Out.PaletteSize = 0;
    png_set_expand(Png);
    png_set_strip_16(Png);
    png_set_strip_alpha(Png);
    png_set_gray_to_rgb(Png);
    png_set_interlace_handling(Png);
    png_read_update_info(Png, Info);
    Out.Rgb.assign(static_cast<size_t>(Out.Width) * Out.Height * 3, 0);
    std::vector<png_bytep> Rows(static_cast<size_t>(Out.Height));
    for (int Y = 0; Y < Out.Height; ++Y) Rows[Y] = Out.Rgb.data() + static_cast<size_t>(Y) * Out.Width * 3;
    png_read_image(Png, Rows.data());
    Ok = true;
  }
  png_destroy_read_struct(&Png, &Info, nullptr);
  std::fclose(File);
  return Ok;
}

}  // namespace kv::test
