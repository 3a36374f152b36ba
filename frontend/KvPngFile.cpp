// PNG input and output through libpng. libpng reports errors by longjmp, so every
// function that calls into it sets its own jump point and keeps only trivially
// destructible locals; buffers, the png structures and the image live in the calling
// frames, and nothing there can throw while libpng is on the stack.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "frontend/KvPngFile.h"

#include "frontend/KvDecodedImage.h"
#include "frontend/KvImageBytes.h"
#include "image/KvPixels.h"

namespace kv::frontend {

namespace {

// Deflate turns one input byte into at most about 1032 output bytes.
constexpr double kDeflateExpansion = 1032;
// Ancillary chunks (text, profiles) are refused beyond this size once decompressed.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

// Shared with libpng's callbacks: the message of the failure and where we are.
struct TPngState {
  char Text[256] = "PNG error";
  // While the image data is read, a warning is damaged data and fails the read; header and
  // trailing-chunk warnings (unknown or malformed ancillary chunks, profiles) stay quiet.
  enum { Header, Rows, End } Phase = Header;
  std::span<const uint8_t> In;
  size_t Pos = 0;
  std::vector<uint8_t>* Out = nullptr;
  std::FILE* File = nullptr;
  bool WriteFailed = false;
};

TPngState& state_of(png_structp Png) { return *static_cast<TPngState*>(png_get_error_ptr(Png)); }

extern "C" void png_error_to_message(png_structp Png, png_const_charp Message) {
  std::snprintf(state_of(Png).Text, sizeof(TPngState::Text), "%s", Message);
  png_longjmp(Png, 1);
}

extern "C" void png_warning_in_data(png_structp Png, png_const_charp Message) {
  const TPngState& S = state_of(Png);
  const bool DataWarning = std::strstr(Message, "data") != nullptr;
  if (S.Phase == TPngState::Rows || (S.Phase == TPngState::End && DataWarning))
    png_error_to_message(Png, Message);
}

extern "C" void png_read_bytes(png_structp Png, png_bytep Out, size_t Count) {
  TPngState& S = state_of(Png);
  if (Count > S.In.size() - S.Pos) png_error(Png, "Read Error: the file ends early");
  std::memcpy(Out, S.In.data() + S.Pos, Count);
  S.Pos += Count;
}

extern "C" void png_write_bytes(png_structp Png, png_bytep Data, size_t Count) {
  TPngState& S = state_of(Png);
  if (S.Out) {
    S.Out->insert(S.Out->end(), Data, Data + Count);
  } else if (std::fwrite(Data, 1, Count, S.File) != Count) {
    S.WriteFailed = true;
    png_error(Png, "Stream write error");
  }
}

extern "C" void png_flush_nothing(png_structp) {}

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

void create_reader(TPngReadGuard& G, TPngState& State) {
  G.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &State, png_error_to_message, png_warning_in_data);
  if (G.Png) G.Info = png_create_info_struct(G.Png);
  if (!G.Png || !G.Info) throw TFileError("out of memory for PNG reading");
}

bool read_header(png_structp Png, png_infop Info) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_read_fn(Png, nullptr, png_read_bytes);
  png_set_user_limits(Png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_chunk_malloc_max(Png, kMaxChunkBytes);
  png_set_chunk_cache_max(Png, 1000);
#ifdef PNG_IGNORE_ADLER32
  // Every IDAT chunk's CRC already covers the compressed bytes; zlib's second checksum over
  // the inflated rows finds nothing more and costs a pass over them.
  png_set_option(Png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_read_info(Png, Info);
  return true;
}

// How libpng's output rows become the image's rows.
enum class TRowMode {
  Direct,         // libpng's rows are the image's rows (palette and grey of 1, 4, 8 bits; RGB as BGR)
  Unpack2To4,     // 2-bit palette or grey, one byte per pixel, into 4-bit rows
  CompositeGrey,  // grey + alpha into 8-bit grey rows
  CompositeRgb,   // RGBA into 24-bit rows
};

struct TPngPlan {
  png_uint_32 Width = 0, Height = 0;
  int Depth = 0, ColorType = 0;
  bool Interlaced = false;
  TRowMode Mode = TRowMode::Direct;
  int BitCount = 8;  // of the image
  bool Paletted = false;
  RGBQUAD Colors[256] = {};
  int ColorCount = 0;
  bool Transparent = false;
  TKvRGB Background{};
};

// Picks the image depth, the transformations and the colour table for a header.
void plan_png(png_structp Png, png_infop Info, const TLoadOptions& Options, TPngPlan& P) {
  P.Width = png_get_image_width(Png, Info);
  P.Height = png_get_image_height(Png, Info);
  P.Depth = png_get_bit_depth(Png, Info);
  P.ColorType = png_get_color_type(Png, Info);
  P.Interlaced = png_get_interlace_type(Png, Info) != PNG_INTERLACE_NONE;
  P.Background = TKvRGB{uint8_t(Options.Background), uint8_t(Options.Background >> 8),
                        uint8_t(Options.Background >> 16)};
  const bool GreyBackground =
      P.Background.Red == P.Background.Green && P.Background.Green == P.Background.Blue;

  png_bytep TransAlpha = nullptr;
  int TransCount = 0;
  png_color_16p TransColor = nullptr;
  const bool Trns = png_get_tRNS(Png, Info, &TransAlpha, &TransCount, &TransColor) != 0;
  const RGBQUAD Bg = QuadOf(P.Background);

  if (P.ColorType == PNG_COLOR_TYPE_PALETTE) {
    P.Paletted = true;
    P.BitCount = P.Depth == 1 ? 1 : P.Depth <= 4 ? 4 : 8;
    P.Mode = P.Depth == 2 ? TRowMode::Unpack2To4 : TRowMode::Direct;
    png_colorp Palette = nullptr;
    int Count = 0;
    png_get_PLTE(Png, Info, &Palette, &Count);
    P.ColorCount = std::clamp(Count, 0, 1 << P.Depth);
    for (int I = 0; I < P.ColorCount; ++I) {
      const unsigned A = Trns && I < TransCount ? TransAlpha[I] : 255;
      P.Transparent |= A != 255;
      P.Colors[I] =
          RGBQUAD{Composite(Palette[I].blue, A, Bg.rgbBlue), Composite(Palette[I].green, A, Bg.rgbGreen),
                  Composite(Palette[I].red, A, Bg.rgbRed), 0};
    }
    if (P.Depth == 2) png_set_packing(Png);
    return;
  }
  const bool Grey = (P.ColorType & PNG_COLOR_MASK_COLOR) == 0;
  const bool Alpha = (P.ColorType & PNG_COLOR_MASK_ALPHA) != 0;
  if (Grey && !Alpha && P.Depth <= 8) {
    // Grey levels as a colour table; a tRNS grey value is one entry of it.
    P.Paletted = true;
    P.BitCount = P.Depth == 1 ? 1 : P.Depth <= 4 ? 4 : 8;
    P.Mode = P.Depth == 2 ? TRowMode::Unpack2To4 : TRowMode::Direct;
    P.ColorCount = 1 << P.Depth;
    for (int I = 0; I < P.ColorCount; ++I) {
      const auto L = static_cast<uint8_t>(I * 255 / (P.ColorCount - 1));
      P.Colors[I] = RGBQUAD{L, L, L, 0};
    }
    if (Trns && TransColor && TransColor->gray < P.ColorCount) {
      P.Colors[TransColor->gray] = Bg;
      P.Transparent = true;
    }
    if (P.Depth == 2) png_set_packing(Png);
    return;
  }
  png_set_strip_16(Png);
  if (Grey && !Alpha && !Trns) {  // 16-bit grey: its high bytes over a ramp
    P.Paletted = true;
    P.ColorCount = 256;
    for (int I = 0; I < 256; ++I) P.Colors[I] = RGBQUAD{uint8_t(I), uint8_t(I), uint8_t(I), 0};
    return;
  }
  if (!Grey && !Alpha && !Trns) {
    P.BitCount = 24;
    png_set_bgr(Png);
    return;
  }
  // Transparency in the pixels: composited per pixel.
  P.Transparent = true;
  if (Trns) png_set_tRNS_to_alpha(Png);
  if (Grey && GreyBackground) {
    P.Mode = TRowMode::CompositeGrey;
    P.Paletted = true;
    P.ColorCount = 256;
    for (int I = 0; I < 256; ++I) P.Colors[I] = RGBQUAD{uint8_t(I), uint8_t(I), uint8_t(I), 0};
    return;
  }
  if (Grey) png_set_gray_to_rgb(Png);
  P.Mode = TRowMode::CompositeRgb;
  P.BitCount = 24;
}

void convert_row(const TPngPlan& P, const uint8_t* Src, uint8_t* Dst) {
  const auto W = static_cast<int32_t>(P.Width);
  switch (P.Mode) {
    case TRowMode::Direct: break;
    case TRowMode::Unpack2To4:
      for (int32_t X = 0; X < W; ++X) SetPixel4(Dst, X, Src[X]);
      break;
    case TRowMode::CompositeGrey:
      for (int32_t X = 0; X < W; ++X) Dst[X] = Composite(Src[2 * X], Src[2 * X + 1], P.Background.Red);
      break;
    case TRowMode::CompositeRgb:
      for (int32_t X = 0; X < W; ++X, Src += 4)
        SetPixel24(
            Dst, X,
            TKvRGB{Composite(Src[0], Src[3], P.Background.Red), Composite(Src[1], Src[3], P.Background.Green),
                   Composite(Src[2], Src[3], P.Background.Blue)});
      break;
  }
}

// Reads the image data into Rows (the image's rows, top down). Rows that need converting
// go through Buffer: one row, or the whole image when it is interlaced (each pass adds
// pixels to rows read before).
bool read_rows(png_structp Png, png_infop Info, TPngState& State, const TPngPlan& P, uint8_t* const* Rows,
               std::vector<uint8_t>& Buffer, size_t& RowBytes) {
  if (setjmp(png_jmpbuf(Png))) return false;
  const int Passes = png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  RowBytes = png_get_rowbytes(Png, Info);
  State.Phase = TPngState::Rows;
  if (P.Mode == TRowMode::Direct) {
    for (int Pass = 0; Pass < Passes; ++Pass)
      for (png_uint_32 Y = 0; Y < P.Height; ++Y) png_read_row(Png, Rows[Y], nullptr);
  } else if (!P.Interlaced) {
    for (png_uint_32 Y = 0; Y < P.Height; ++Y) {
      png_read_row(Png, Buffer.data(), nullptr);
      convert_row(P, Buffer.data(), Rows[Y]);
    }
  } else {
    for (int Pass = 0; Pass < Passes; ++Pass)
      for (png_uint_32 Y = 0; Y < P.Height; ++Y) png_read_row(Png, Buffer.data() + Y * RowBytes, nullptr);
    for (png_uint_32 Y = 0; Y < P.Height; ++Y) convert_row(P, Buffer.data() + Y * RowBytes, Rows[Y]);
  }
  State.Phase = TPngState::End;
  png_read_end(Png, nullptr);
  return true;
}

// Output row bytes libpng will deliver for a plan, before png_read_update_info.
size_t transformed_row_bytes(const TPngPlan& P) {
  switch (P.Mode) {
    case TRowMode::Direct: return 0;
    case TRowMode::Unpack2To4: return P.Width;
    case TRowMode::CompositeGrey: return 2 * static_cast<size_t>(P.Width);
    case TRowMode::CompositeRgb: return 4 * static_cast<size_t>(P.Width);
  }
  return 0;
}

int bits_per_pixel(int Depth, int ColorType) {
  const int Channels = ColorType == PNG_COLOR_TYPE_PALETTE ? 1
                       : ColorType == PNG_COLOR_TYPE_GRAY  ? 1
                       : ColorType == PNG_COLOR_TYPE_GA    ? 2
                       : ColorType == PNG_COLOR_TYPE_RGB   ? 3
                                                           : 4;
  return Depth * Channels;
}

}  // namespace

void ReadPng(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options) {
  TPngState State;
  State.In = Bytes;
  TPngReadGuard Guard;
  create_reader(Guard, State);
  if (!read_header(Guard.Png, Guard.Info)) throw TFileError(std::string("PNG: ") + State.Text);

  TPngPlan Plan;
  plan_png(Guard.Png, Guard.Info, Options, Plan);
  CheckPixelLimit(Plan.Width, Plan.Height, Options);
  CheckPlausibleSize(Plan.Width, Plan.Height, Bytes.size(),
                     kDeflateExpansion * 8 / bits_per_pixel(Plan.Depth, Plan.ColorType), "PNG");

  TKvDIB Decoded;
  PrepareImage(Decoded, Plan.Width, Plan.Height, Plan.BitCount);
  std::vector<uint8_t*> Rows(Plan.Height);
  for (png_uint_32 Y = 0; Y < Plan.Height; ++Y) Rows[Y] = Decoded.GetScanLine(static_cast<int32_t>(Y));
  std::vector<uint8_t> Buffer(transformed_row_bytes(Plan) * (Plan.Interlaced ? Plan.Height : 1));
  size_t RowBytes = 0;
  if (!read_rows(Guard.Png, Guard.Info, State, Plan, Rows.data(), Buffer, RowBytes))
    throw TFileError(std::string("PNG: ") + State.Text);

  if (Plan.Paletted) {
    // Indices beyond a short palette still need colours: black, as the PNG writer pads.
    int Highest = 0;
    const TKvDIBInfo& Info = Decoded.DIBInfo();
    const int Bits = Info.Header.biBitCount;
    for (png_uint_32 Y = 0; Y < Plan.Height && Highest < 255; ++Y)
      for (int32_t X = 0; X < static_cast<int32_t>(Plan.Width); ++X)
        Highest = std::max<int>(Highest, GetPixelIndex(Rows[Y], X, Bits));
    Decoded.SetColorTable(Plan.Colors, std::max(Plan.ColorCount, Highest + 1));
  }
  if (Plan.Transparent && Options.Notes) Options.Notes("transparency composited onto the background colour");
  Image.Assign(&Decoded);
}

void ReadPngFile(const std::string& Path, TKvDIB& Image) {
  const TImageBytes Bytes = TImageBytes::FromFile(Path);
  ReadPng(Bytes.Bytes(), Image, TLoadOptions{});
}

TFileDescription DescribePng(std::span<const uint8_t> Bytes) {
  TPngState State;
  State.In = Bytes;
  TPngReadGuard Guard;
  create_reader(Guard, State);
  if (!read_header(Guard.Png, Guard.Info)) throw TFileError(std::string("PNG: ") + State.Text);
  png_structp Png = Guard.Png;
  png_infop Info = Guard.Info;
  TFileDescription D;
  D.Kind = TFileKind::Png;
  D.FileSize = Bytes.size();
  D.Width = png_get_image_width(Png, Info);
  D.Height = png_get_image_height(Png, Info);
  D.BitsPerSample = png_get_bit_depth(Png, Info);
  const int ColorType = png_get_color_type(Png, Info);
  D.BitsPerPixel = bits_per_pixel(D.BitsPerSample, ColorType);
  D.Interlaced = png_get_interlace_type(Png, Info) != PNG_INTERLACE_NONE;
  D.Compression = "deflate";
  D.Alpha = (ColorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(Png, Info, PNG_INFO_tRNS) != 0;
  switch (ColorType) {
    case PNG_COLOR_TYPE_PALETTE: D.Color = "palette"; break;
    case PNG_COLOR_TYPE_GRAY: D.Color = "grey"; break;
    case PNG_COLOR_TYPE_GA: D.Color = "grey+alpha"; break;
    case PNG_COLOR_TYPE_RGB: D.Color = "RGB"; break;
    default: D.Color = "RGBA"; break;
  }
  png_colorp Palette = nullptr;
  int Count = 0;
  if (png_get_PLTE(Png, Info, &Palette, &Count) != 0) D.ColorTableSize = static_cast<uint32_t>(Count);
  return D;
}

// ---------------------------------------------------------------------------------------
// Writing

namespace {

// zlib settings by what is written. By default one fixed filter per image kind (trying all
// five per row costs more than it saves) and deflate's run-length strategy, which finds
// the runs that the filtered rows are made of at a fraction of the cost of a full match
// search: Up for indexed rows (neighbouring rows of a picture share their indices), Paeth
// for RGB rows. On a 3840 x 2160 photograph this keeps 256-colour files well below the
// size of the common quantizers' fast output and RGB files within a tenth of a level-7
// adaptive encoder's, in a quarter of the time of level 6. An explicit level searches
// matches as zlib does at that level: indexed rows unfiltered (smallest there), RGB rows
// Paeth, or every filter per row at level 9.
struct TPngSettings {
  int Filters;
  int Level;
  int Strategy;
};

TPngSettings settings_for(int Bits, const TPngWriteOptions& Options) {
  const bool Rgb = Bits == 24;
  if (Options.Level < 0) return TPngSettings{Rgb ? PNG_FILTER_PAETH : PNG_FILTER_UP, 1, Z_RLE};
  const int Level = std::min(Options.Level, 9);
  if (Level == 0) return TPngSettings{PNG_FILTER_NONE, 0, Z_DEFAULT_STRATEGY};
  if (!Rgb) return TPngSettings{PNG_FILTER_NONE, Level, Z_DEFAULT_STRATEGY};
  return TPngSettings{Level == 9 ? PNG_ALL_FILTERS : PNG_FILTER_PAETH, Level, Z_DEFAULT_STRATEGY};
}

bool encode_png(png_structp Png, png_infop Info, const TKvDIB& Image, const png_color* Palette,
                int PaletteSize, const TPngSettings& S) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_write_fn(Png, nullptr, png_write_bytes, png_flush_nothing);
  png_set_filter(Png, PNG_FILTER_TYPE_BASE, S.Filters);
  png_set_compression_level(Png, S.Level);
  png_set_compression_strategy(Png, S.Strategy);
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
  for (int Y = 0; Y < Image.GetHeight() && Highest < (1 << Bits) - 1; ++Y) {
    const uint8_t* Row = Image.ReadScanLine(Y);
    for (int X = 0; X < Width; ++X) Highest = std::max<int>(Highest, GetPixelIndex(Row, X, Bits));
  }
  return Highest;
}

void write_png(const TKvDIB& Image, TPngState& State, const TPngWriteOptions& Options) {
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
  TPngWriteGuard Guard;
  Guard.Png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &State, png_error_to_message, png_warning_in_data);
  if (Guard.Png) Guard.Info = png_create_info_struct(Guard.Png);
  if (!Guard.Png || !Guard.Info) throw TFileError("out of memory for PNG writing");
  if (!encode_png(Guard.Png, Guard.Info, Image, Palette, PaletteSize, settings_for(Bits, Options)))
    throw TFileError(State.WriteFailed ? std::string("Stream write error")
                                       : std::string("PNG: ") + State.Text);
}

struct TFileCloser {
  std::FILE* File;
  ~TFileCloser() {
    if (File) std::fclose(File);
  }
};

}  // namespace

void WritePngFile(const TKvDIB& Image, const std::string& Path, const TPngWriteOptions& Options) {
  TFileCloser File{std::fopen(Path.c_str(), "wb")};
  if (!File.File) throw TFileError("Cannot create file " + Path);
  TPngState State;
  State.File = File.File;
  write_png(Image, State, Options);
  const bool Flushed = std::fflush(File.File) == 0 && !std::ferror(File.File);
  const bool Closed = std::fclose(File.File) == 0;
  File.File = nullptr;
  if (!Flushed || !Closed) throw TFileError("Stream write error");
}

void WritePng(const TKvDIB& Image, std::vector<uint8_t>& Out, const TPngWriteOptions& Options) {
  TPngState State;
  State.Out = &Out;
  write_png(Image, State, Options);
}

}  // namespace kv::frontend
