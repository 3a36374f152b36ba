// The larger BMP headers share their first 40 bytes with BITMAPINFOHEADER; behind them:
//   52  BITMAPV2INFOHEADER   + red, green, blue masks
//   56  BITMAPV3INFOHEADER   + alpha mask
//   64  OS/2 BITMAPINFOHEADER2 (compression 3 and 4 mean Huffman 1D and RLE24 there)
//   108 BITMAPV4HEADER       + colour space, end points, gamma
//   124 BITMAPV5HEADER       + intent, profile (ignored)
// Their masks are taken from the header, the colour table from behind it (at most as many
// entries as fit before bfOffBits) and the pixels from bfOffBits, as other readers take
// them; the library is given a 40-byte header, the masks when the image has bit fields, the
// table and the pixels.
#include "frontend/KvBmpFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/KvByteStream.h"
#include "frontend/KvRleRepair.h"
#include "image/KvPixels.h"
#include "image/convert/KvRLE.h"
#include "image/interchange/KvDIBHeader.h"
#include "platform/core/ByteOrder.h"

namespace kv::frontend {

namespace {

constexpr uint32_t kFileHeader = kFileHeaderSize;
constexpr uint32_t kCoreHeader = kCoreHeaderSize;
constexpr uint32_t kInfoHeader = kInfoHeaderSize;
constexpr uint32_t kV2Header = 52;
constexpr uint32_t kV3Header = 56;
constexpr uint32_t kOs2Header = 64;
constexpr uint32_t kV4Header = 108;
constexpr uint32_t kV5Header = 124;

constexpr uint32_t kBiJpeg = 4;  // also OS/2 RLE24 in a 64-byte header
constexpr uint32_t kBiPng = 5;
constexpr uint32_t kBiAlphaBitFields = 6;
constexpr uint32_t kOs2Huffman = 3;

// Offsets in the file.
constexpr size_t kOffBfSize = file_header::kSize, kOffBfOffBits = file_header::kOffBits,
                 kOffBiSize = kFileHeader + info_header::kSize, kOffWidth = kFileHeader + info_header::kWidth,
                 kOffHeight = kFileHeader + info_header::kHeight,
                 kOffBitCount = kFileHeader + info_header::kBitCount,
                 kOffCompression = kFileHeader + info_header::kCompression,
                 kOffSizeImage = kFileHeader + info_header::kSizeImage,
                 kOffClrUsed = kFileHeader + info_header::kClrUsed,
                 kOffMasks = kFileHeader + kInfoHeader;  // red, green, blue, alpha

uint32_t get16(std::span<const uint8_t> B, size_t At) { return LoadLE16(B.data() + At); }
uint32_t get32(std::span<const uint8_t> B, size_t At) { return LoadLE32(B.data() + At); }
void put32(std::vector<uint8_t>& B, size_t At, uint32_t V) { StoreLE32(B.data() + At, V); }
void append32(std::vector<uint8_t>& B, uint32_t V) {
  B.resize(B.size() + 4);
  put32(B, B.size() - 4, V);
}

bool is_larger_header(uint32_t Size) {
  return Size == kV2Header || Size == kV3Header || Size == kOs2Header || Size == kV4Header ||
         Size == kV5Header;
}

bool has_masks(uint32_t HeaderSize, uint32_t Compression) {
  return HeaderSize != kOs2Header && (Compression == kBiBitFields || Compression == kBiAlphaBitFields);
}

// The facts of a header, 12- to 124-byte forms, as far as the bytes reach.
struct THeader {
  uint32_t Size = 0;
  int64_t Width = 0, Height = 0;
  uint32_t BitCount = 0, Compression = 0, ClrUsed = 0, SizeImage = 0;
  uint32_t OffBits = 0;
  uint32_t Masks[4] = {};  // red, green, blue, alpha
  bool Known = false;      // a header form read here
};

THeader parse_header(std::span<const uint8_t> B) {
  THeader H;
  if (B.size() < kFileHeader + 4) return H;
  H.Size = get32(B, kOffBiSize);
  H.OffBits = get32(B, kOffBfOffBits);
  if (H.Size == kCoreHeader && B.size() >= kFileHeader + kCoreHeader) {
    H.Width = get16(B, 18);
    H.Height = get16(B, 20);
    H.BitCount = get16(B, 24);
    H.Known = true;
  } else if ((H.Size == kInfoHeader || is_larger_header(H.Size)) && B.size() >= kFileHeader + H.Size) {
    H.Width = static_cast<int32_t>(get32(B, kOffWidth));
    H.Height = static_cast<int32_t>(get32(B, kOffHeight));
    H.BitCount = get16(B, kOffBitCount);
    H.Compression = get32(B, kOffCompression);
    H.SizeImage = get32(B, kOffSizeImage);
    H.ClrUsed = get32(B, kOffClrUsed);
    if (H.Size >= kV2Header)
      for (int I = 0; I < (H.Size >= kV3Header && H.Size != kOs2Header ? 4 : 3); ++I)
        H.Masks[I] = get32(B, kOffMasks + 4 * I);
    if (H.Size == kOs2Header) std::fill(std::begin(H.Masks), std::end(H.Masks), 0);
    H.Known = true;
  }
  return H;
}

// Colour-table entries stored behind a larger header: biClrUsed (0: the default for the
// depth), no more than fit before the pixels, at most 256 read.
uint32_t table_entries(const THeader& H, size_t FileSize) {
  uint32_t N = H.ClrUsed != 0 ? H.ClrUsed : (H.BitCount <= 8 ? 1u << H.BitCount : 0);
  const uint64_t TableStart = kFileHeader + H.Size;
  if (H.OffBits >= TableStart && H.OffBits <= FileSize)
    N = std::min<uint64_t>(N, (H.OffBits - TableStart) / 4);
  return std::min<uint32_t>(N, 256);
}

// Where the pixels start: bfOffBits when it points behind the table into the file,
// otherwise right behind the table.
uint64_t pixel_offset(const THeader& H, uint32_t Entries, size_t FileSize) {
  const uint64_t AfterTable = kFileHeader + H.Size + 4ull * Entries;
  return H.OffBits >= AfterTable && H.OffBits <= FileSize ? H.OffBits : AfterTable;
}

int64_t row_stride(int64_t Width, uint32_t BitCount) { return (Width * BitCount + 31) / 32 * 4; }

// A 40-byte-header BMP of the same image, as a prefix (headers, masks, table) and the
// pixel bytes of the file behind it.
struct TInfoForm {
  std::vector<uint8_t> Prefix;
  std::span<const uint8_t> Pixels;
};

TInfoForm info_form(std::span<const uint8_t> B, const THeader& H) {
  if (H.Size == kOs2Header && (H.Compression == kOs2Huffman || H.Compression == kBiJpeg))
    throw TFileError(std::string("OS/2 BMP with ") + (H.Compression == kOs2Huffman ? "Huffman 1D" : "RLE24") +
                     " compression is not supported");
  if (H.Compression == kBiJpeg || H.Compression == kBiPng)
    throw TFileError(std::string("BMP holding ") + (H.Compression == kBiJpeg ? "JPEG" : "PNG") +
                     " data is not supported");
  const bool Masks = has_masks(H.Size, H.Compression);
  const uint32_t Entries = table_entries(H, B.size());
  const uint64_t Offset = pixel_offset(H, Entries, B.size());
  const uint64_t TableStart = kFileHeader + H.Size;

  // Uncompressed rows: exactly the image (what follows may be a profile); compressed: the
  // stated image size when it fits, else the rest of the file.
  uint64_t PixelBytes = Offset < B.size() ? B.size() - Offset : 0;
  const bool Rle = H.Compression == kBiRLE8 || H.Compression == kBiRLE4;
  if (!Rle && H.Width > 0)
    PixelBytes = std::min<uint64_t>(PixelBytes, row_stride(H.Width, H.BitCount) * std::llabs(H.Height));
  else if (Rle && H.SizeImage != 0)
    PixelBytes = std::min<uint64_t>(PixelBytes, H.SizeImage);

  TInfoForm F;
  std::vector<uint8_t>& P = F.Prefix;
  P.assign(B.begin(), B.begin() + kFileHeader + kInfoHeader);
  put32(P, kOffBfSize,
        static_cast<uint32_t>(
            std::min<uint64_t>(kFileHeader + kInfoHeader + 4ull * Entries + PixelBytes, UINT32_MAX)));
  put32(P, kOffBiSize, kInfoHeader);
  put32(P, kOffCompression, Masks ? kBiBitFields : H.Compression);
  put32(P, kOffClrUsed, Entries);
  if (Masks)
    for (int I = 0; I < 3; ++I) append32(P, H.Masks[I]);
  // Table entries missing from a short file are left out: the library then reports the
  // short stream.
  const uint64_t TableEnd = std::min<uint64_t>(TableStart + 4ull * Entries, B.size());
  P.insert(P.end(), B.begin() + static_cast<ptrdiff_t>(TableStart),
           B.begin() + static_cast<ptrdiff_t>(TableEnd));
  if (TableEnd == TableStart + 4ull * Entries && Offset < B.size()) F.Pixels = B.subspan(Offset, PixelBytes);
  return F;
}

// The opacity of each pixel of a masked 16- or 32-bit image, composited onto the
// background in the library's 24-bit rows. Alpha that is 0 everywhere is taken as "no
// alpha" (files that leave the mask's bits unused), as other readers do.
void composite_alpha(std::span<const uint8_t> Pixels, const THeader& H, TKvDIB& Image,
                     const TLoadOptions& Options) {
  const uint32_t Mask = H.Masks[3];
  if (Mask == 0 || (H.BitCount != 16 && H.BitCount != 32)) return;
  const int32_t Width = Image.GetWidth(), Height = Image.GetHeight();
  const int64_t Stride = row_stride(Width, H.BitCount);
  if (static_cast<int64_t>(Pixels.size()) < Stride * Height) return;
  int Shift = 0;
  while (((Mask >> Shift) & 1) == 0) ++Shift;
  const uint32_t Max = Mask >> Shift;
  auto alpha_of = [&](const uint8_t* Row, int32_t X) {
    const uint32_t P = H.BitCount == 16 ? (Row[2 * X] | (Row[2 * X + 1] << 8))
                                        : (Row[4 * X] | (Row[4 * X + 1] << 8) | (Row[4 * X + 2] << 16) |
                                           (static_cast<uint32_t>(Row[4 * X + 3]) << 24));
    return static_cast<unsigned>((static_cast<uint64_t>((P & Mask) >> Shift) * 255 + Max / 2) / Max);
  };
  bool AnyAlpha = false;
  for (int32_t R = 0; R < Height && !AnyAlpha; ++R)
    for (int32_t X = 0; X < Width; ++X) {
      const unsigned A = alpha_of(Pixels.data() + R * Stride, X);
      AnyAlpha |= A != 0;
    }
  if (!AnyAlpha) return;
  const TKvRGB Bg{static_cast<uint8_t>(Options.Background), static_cast<uint8_t>(Options.Background >> 8),
                  static_cast<uint8_t>(Options.Background >> 16)};
  for (int32_t R = 0; R < Height; ++R) {
    const uint8_t* Src = Pixels.data() + R * Stride;
    uint8_t* Row = Image.GetScanLine(H.Height > 0 ? Height - 1 - R : R);
    for (int32_t X = 0; X < Width; ++X) {
      const unsigned A = alpha_of(Src, X);
      const TKvRGB C = GetPixel24(Row, X);
      SetPixel24(Row, X,
                 TKvRGB{Composite(C.Red, A, Bg.Red), Composite(C.Green, A, Bg.Green),
                        Composite(C.Blue, A, Bg.Blue)});
    }
  }
  if (Options.Notes) Options.Notes("alpha composited onto the background colour");
}

bool is_rle(const BITMAPINFOHEADER& H) {
  return (H.biBitCount == 8 && H.biCompression == kBiRLE8) ||
         (H.biBitCount == 4 && H.biCompression == kBiRLE4);
}

// Runs the library's exact decoder over a loaded RLE image; when it refuses the stream,
// loads the stream with its runs clipped to the row instead.
void repair_rle(TKvDIB& Image, const TLoadOptions& Options) {
  const TKvDIBInfo& Info = Image.DIBInfo();
  if (!is_rle(Info.Header)) return;
  TKvDIBInfo Plain{};
  try {
    if (Info.Header.biBitCount == 8)
      Convert8BitRLETo8BitRGB(Info, Plain);
    else
      Convert4BitRLETo4BitRGB(Info, Plain);
    TKvOwnedInfo::Adopt(Plain).Reset();
    return;
  } catch (const EKvDIBInvalidDIB& E) {
    const std::vector<uint8_t> Stream =
        ClipRleRuns({Info.Bits, static_cast<size_t>(Info.BitsSize)}, Info.Header.biWidth,
                    std::abs(Info.Header.biHeight), Info.Header.biBitCount);
    std::vector<uint8_t> File(kFileHeader + kInfoHeader + 4 * Info.Header.biClrUsed);
    WriteFileHeader(std::span<uint8_t, kFileHeaderSize>(File.data(), kFileHeaderSize),
                    static_cast<uint32_t>(File.size() + Stream.size()), static_cast<uint32_t>(File.size()));
    std::memcpy(File.data() + kFileHeader, &Info.Header, kInfoHeader);
    put32(File, kOffSizeImage, static_cast<uint32_t>(Stream.size()));
    std::memcpy(File.data() + kFileHeader + kInfoHeader, Info.Colors, 4 * Info.Header.biClrUsed);
    const std::string Refusal = E.Message();
    TByteStream Repaired(Stream, std::move(File));
    Image.LoadFromStream(Repaired);
    if (Options.Notes)
      Options.Notes("RLE runs past the row end clipped to the row (the exact decoder said: " + Refusal + ")");
  }
}

}  // namespace

void ReadBmp(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options) {
  const THeader H = parse_header(Bytes);
  if (H.Known && H.Width > 0 && H.Height != 0) CheckPixelLimit(H.Width, std::llabs(H.Height), Options);
  if (!H.Known || !is_larger_header(H.Size)) {
    TByteStream Stream(Bytes);
    Image.LoadFromStream(Stream);
  } else {
    TInfoForm Form = info_form(Bytes, H);
    const std::span<const uint8_t> Pixels = Form.Pixels;
    TByteStream Stream(Pixels, std::move(Form.Prefix));
    Image.LoadFromStream(Stream);
    composite_alpha(Pixels, H, Image, Options);
  }
  repair_rle(Image, Options);
}

TFileDescription DescribeBmp(std::span<const uint8_t> Bytes) {
  const THeader H = parse_header(Bytes);
  if (!H.Known) {
    if (Bytes.size() >= kFileHeader + 4)
      throw TFileError("BMP header of " + std::to_string(H.Size) + " bytes is not a known form");
    throw TFileError("BMP file is too short for its headers");
  }
  TFileDescription D;
  D.Kind = TFileKind::Bmp;
  D.FileSize = Bytes.size();
  D.HeaderSize = H.Size;
  D.Width = H.Width;
  D.Height = static_cast<uint64_t>(std::llabs(H.Height));
  D.BitsPerPixel = static_cast<int>(H.BitCount);
  D.TopDown = H.Height < 0;
  D.Alpha = (H.BitCount == 16 || H.BitCount == 32) && H.Masks[3] != 0;
  const bool Masks =
      has_masks(H.Size, H.Compression) || (H.Size == kInfoHeader && H.Compression == kBiBitFields);
  if (H.Size == kCoreHeader) {
    D.ColorTableSize = H.BitCount <= 8 ? 1u << H.BitCount : 0;
  } else {
    uint32_t N = H.ClrUsed != 0 ? H.ClrUsed : (H.BitCount <= 8 ? 1u << H.BitCount : 0);
    if (is_larger_header(H.Size)) N = table_entries(H, Bytes.size());
    D.ColorTableSize = N;
  }
  D.Color = H.BitCount <= 8 ? "palette" : Masks ? "bit fields" : D.Alpha ? "RGBA" : "RGB";
  switch (H.Size == kOs2Header && H.Compression >= 3 ? 100 + H.Compression : H.Compression) {
    case kBiRGB: D.Compression = "none"; break;
    case kBiRLE8: D.Compression = "RLE8"; break;
    case kBiRLE4: D.Compression = "RLE4"; break;
    case kBiBitFields: D.Compression = "bit fields"; break;
    case kBiJpeg: D.Compression = "JPEG"; break;
    case kBiPng: D.Compression = "PNG"; break;
    case kBiAlphaBitFields: D.Compression = "alpha bit fields"; break;
    case 100 + kOs2Huffman: D.Compression = "Huffman 1D"; break;
    case 100 + kBiJpeg: D.Compression = "RLE24"; break;
    default: D.Compression = "unknown (" + std::to_string(H.Compression) + ")"; break;
  }
  return D;
}

}  // namespace kv::frontend
