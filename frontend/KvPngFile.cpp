// PNG input and output through libpng. libpng reports errors by longjmp, so the code that
// runs under setjmp keeps only trivially destructible locals; the png structures and the
// FILE are owned by guards in the calling frame.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "frontend/KvPngFile.h"

#include "frontend/KvDecodedImage.h"
#include "frontend/KvImageFiles.h"

namespace kv::frontend {

namespace {

struct TPngMessage {
  char Text[256] = "PNG error";
};

extern "C" void png_error_to_message(png_structp Png, png_const_charp Message) {
  auto* Sink = static_cast<TPngMessage*>(png_get_error_ptr(Png));
  std::snprintf(Sink->Text, sizeof(Sink->Text), "%s", Message);
  png_longjmp(Png, 1);
}

extern "C" void png_ignore_warning(png_structp, png_const_charp) {}

struct TFileCloser {
  std::FILE* File;
  ~TFileCloser() {
    if (File) std::fclose(File);
  }
};

struct TPngReadGuard {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngReadGuard() { png_destroy_read_struct(&Png, &Info, nullptr); }
};

struct TPngWriteGuard {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngWriteGuard() { png_destroy_write_struct(&Png, &Info); }
};

// Palette images become 8-bit images with their palette, grey images 8-bit images with a
// grey ramp, colour images 24-bit images; 16-bit samples keep their high byte and alpha
// is dropped. Rows go straight into the scan lines (blue, green, red for colour).
bool decode_png(png_structp Png, png_infop Info, std::FILE* File, TKvDIB& Image) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_init_io(Png, File);
  png_read_info(Png, Info);
  const png_uint_32 Width = png_get_image_width(Png, Info);
  const png_uint_32 Height = png_get_image_height(Png, Info);
  const int ColorType = png_get_color_type(Png, Info);
  const bool Indexed = ColorType == PNG_COLOR_TYPE_PALETTE;
  const bool Grey = (ColorType & PNG_COLOR_MASK_COLOR) == 0;
  png_set_strip_16(Png);
  png_set_strip_alpha(Png);
  if (Indexed)
    png_set_packing(Png);
  else if (Grey)
    png_set_expand_gray_1_2_4_to_8(Png);
  else
    png_set_bgr(Png);
  const int Passes = png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);

  PrepareImage(Image, Width, Height, Indexed || Grey ? 8 : 24);
  if (Indexed) {
    png_colorp Palette = nullptr;
    int Count = 0;
    png_get_PLTE(Png, Info, &Palette, &Count);
    RGBQUAD Colors[256] = {};
    Count = std::clamp(Count, 0, 256);
    for (int I = 0; I < Count; ++I) Colors[I] = RGBQUAD{Palette[I].blue, Palette[I].green, Palette[I].red, 0};
    Image.SetColorTable(Colors, Count);
  } else if (Grey) {
    SetGreyRamp(Image);
  }
  for (int Pass = 0; Pass < Passes; ++Pass)
    for (png_uint_32 Y = 0; Y < Height; ++Y)
      png_read_row(Png, Image.GetScanLine(static_cast<int32_t>(Y)), nullptr);
  png_read_end(Png, nullptr);
  return true;
}

bool encode_png(png_structp Png, png_infop Info, std::FILE* File, const TKvDIB& Image,
                const png_color* Palette, int PaletteSize) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_init_io(Png, File);
  const int Bits = Image.GetBitCount();
  const auto Width = static_cast<png_uint_32>(Image.GetWidth());
  const auto Height = static_cast<png_uint_32>(Image.GetHeight());
  if (Bits == 24) {
    png_set_IHDR(Png, Info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  } else {
    png_set_IHDR(Png, Info, Width, Height, Bits, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(Png, Info, Palette, PaletteSize);
  }
  png_write_info(Png, Info);
  if (Bits == 24) png_set_bgr(Png);
  // DIB rows pack pixels as PNG does (leftmost in the high bits), so they go out as held.
  for (png_uint_32 Y = 0; Y < Height; ++Y) png_write_row(Png, Image.ReadScanLine(static_cast<int32_t>(Y)));
  png_write_end(Png, Info);
  return true;
}

// The highest colour index used in a 1-, 4- or 8-bit image.
int highest_index(const TKvDIB& Image) {
  const int Bits = Image.GetBitCount();
  const int Width = Image.GetWidth();
  int Highest = 0;
  for (int Y = 0; Y < Image.GetHeight(); ++Y) {
    const uint8_t* Row = Image.ReadScanLine(Y);
    for (int X = 0; X < Width; ++X) {
      const int Bit = X * Bits;
      Highest = std::max(Highest, (Row[Bit / 8] >> (8 - Bits - Bit % 8)) & ((1 << Bits) - 1));
    }
  }
  return Highest;
}

}  // namespace

void ReadPngFile(const std::string& Path, TKvDIB& Image) {
  TFileCloser File{std::fopen(Path.c_str(), "rb")};
  if (!File.File) throw TFileError("Cannot open file " + Path);
  TPngMessage Message;
  TPngReadGuard Guard;
  Guard.Png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &Message, png_error_to_message, png_ignore_warning);
  if (Guard.Png) Guard.Info = png_create_info_struct(Guard.Png);
  if (!Guard.Png || !Guard.Info) throw TFileError("out of memory for PNG reading");
  if (!decode_png(Guard.Png, Guard.Info, File.File, Image))
    throw TFileError(std::string("PNG: ") + Message.Text);
}

void WritePngFile(const TKvDIB& Image, const std::string& Path) {
  const int Bits = Image.GetBitCount();
  const TKvPixelFormat Format = Image.GetPixelFormat();
  if (Format == kvPf4BitRLE || Format == kvPf8BitRLE)
    throw TFileError("an RLE image cannot be written as PNG");

  // The palette covers the colour table and every index the pixels use.
  png_color Palette[256] = {};
  int PaletteSize = 0;
  if (Bits != 24) {
    PaletteSize = std::max<int>(Image.GetColorCount(), highest_index(Image) + 1);
    PaletteSize = std::min(PaletteSize, 1 << Bits);
    for (int I = 0; I < PaletteSize; ++I) {
      const TColor C = Image.GetColors(I);
      Palette[I] = png_color{uint8_t(C), uint8_t(C >> 8), uint8_t(C >> 16)};
    }
  }

  TFileCloser File{std::fopen(Path.c_str(), "wb")};
  if (!File.File) throw TFileError("Cannot create file " + Path);
  TPngMessage Message;
  TPngWriteGuard Guard;
  Guard.Png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &Message, png_error_to_message, png_ignore_warning);
  if (Guard.Png) Guard.Info = png_create_info_struct(Guard.Png);
  if (!Guard.Png || !Guard.Info) throw TFileError("out of memory for PNG writing");
  if (!encode_png(Guard.Png, Guard.Info, File.File, Image, Palette, PaletteSize))
    throw TFileError(std::string("PNG: ") + Message.Text);
  const bool Flushed = std::fflush(File.File) == 0 && !std::ferror(File.File);
  const bool Closed = std::fclose(File.File) == 0;
  File.File = nullptr;
  if (!Flushed || !Closed) throw TFileError("Stream write error");
}

}  // namespace kv::frontend
