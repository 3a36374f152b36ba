// BMP streams: reading a BMP image (40-byte info header or 12-byte core header, 1 to 32
// bits, bit fields, RLE data kept as read) into TKvInternalDIB, writing it back in the
// 40-byte form, and the TKvDIB stream and file operations built on them.
//
// The reader validates, then allocates, then commits: the new descriptor is built in a
// local TKvDIBInfo, its pixel block is owned by a TFileMapBlock until the read is complete,
// and only then does the storage give up its old image.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBStream.h"
#include "platform/streams/Stream.h"

namespace kv {

namespace {

constexpr char kInvalidFileType[] = "TKvInternalDIB.LoadFromFile: File type is invalid";
constexpr char kInvalidInfoBitCount[] = "TKvInternalDIB.LoadFromStream: Invalid BitCout";
constexpr char kInvalidCoreBitCount[] = "TKvInternalDIB.LoadFromStream: Invalid BitCount";
constexpr char kInvalidHeaderSize[] = "TKvInternalDIB.LoadFromStream: Invalid Bitmap Header Size";
constexpr char kInvalidGeometry[] = "TKvInternalDIB.LoadFromStream: Invalid Width or Height";
constexpr char kTooLarge[] = "TKvInternalDIB.LoadFromStream: Image Too Large";
constexpr char kShortBits[] = "TKvInternalDIB.LoadFromStream: Bits Size is Smaller than the Image";

// Colour-table entries read in front of the pixels at most; the rest of a larger table
// is skipped.
constexpr uint32_t kMaxColors = 256;
constexpr uint32_t kMaskEntries = 3;  // BI_BITFIELDS: red, green, blue

uint16_t get16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t get32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}
void put16(uint8_t* P, uint32_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}
void put32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}

// The stream's own read error, raised before committing memory to a size the stream
// cannot supply.
void require_remaining(TStream& Stream, int64_t Count) {
  if (Count > Stream.Remaining()) throw EStreamError("Stream read error");
}

// Pixel-data size from bfSize, as a signed 32-bit BitsSize. A size of zero or less is
// passed on as 0, for which the pixel-memory allocation fails.
int32_t bits_size_from_file_size(uint32_t FileSize, int64_t HeaderBytes) {
  const int64_t Size = static_cast<int64_t>(FileSize) - HeaderBytes;
  if (Size <= 0) return 0;
  if (Size > std::numeric_limits<int32_t>::max()) throw EKvDIBInvalidDIB(kTooLarge);
  return static_cast<int32_t>(Size);
}

bool is_rle(const BITMAPINFOHEADER& H) {
  return (H.biBitCount == 8 && H.biCompression == kBiRLE8) ||
         (H.biBitCount == 4 && H.biCompression == kBiRLE4);
}

// Reads a 40-byte info header (its size field already read) and the colour table behind
// it into Info; returns BitsSize as given by bfSize.
int32_t read_info_header(TStream& Stream, uint32_t FileSize, TKvDIBInfo& Info) {
  BITMAPINFOHEADER& H = Info.Header;
  Stream.ReadBuffer(reinterpret_cast<uint8_t*>(&H) + 4, kInfoHeaderSize - 4);
  switch (H.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: throw EKvDIBInvalidDIB(kInvalidInfoBitCount);
  }
  if (H.biClrUsed == 0) H.biClrUsed = static_cast<uint32_t>(DefaultColorCount(H.biBitCount));

  const uint32_t N = H.biClrUsed;
  const uint32_t Masks = H.biCompression == kBiBitFields ? kMaskEntries : 0;
  const uint32_t Kept = std::min(N, kMaxColors);
  Stream.ReadBuffer(Info.Colors, static_cast<int64_t>(Kept + Masks) * sizeof(RGBQUAD));
  if (N > kMaxColors) Stream.Seek(static_cast<int64_t>(N - kMaxColors) * sizeof(RGBQUAD));

  // The masks are not subtracted: that is how the pixel size has always been taken.
  const int32_t BitsSize =
      bits_size_from_file_size(FileSize, kFileHeaderSize + kInfoHeaderSize + 4 * static_cast<int64_t>(N));
  H.biClrUsed = Kept;
  return BitsSize;
}

// Reads a 12-byte core header (its size field already read) and its three-byte colour
// table, and rewrites Info into the 40-byte form; returns BitsSize as given by bfSize.
int32_t read_core_header(TStream& Stream, uint32_t FileSize, TKvDIBInfo& Info) {
  auto* Raw = reinterpret_cast<uint8_t*>(&Info.Header);
  Stream.ReadBuffer(Raw + 4, kCoreHeaderSize - 4);
  const uint16_t BitCount = get16(Raw + 10);  // bcBitCount
  if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 24)
    throw EKvDIBInvalidDIB(kInvalidCoreBitCount);
  const int32_t N = DefaultColorCount(BitCount);
  // The triples sit right behind the core header, inside the descriptor, as
  // ConvertCoreInfo expects them.
  Stream.ReadBuffer(Raw + kCoreHeaderSize, 3 * static_cast<int64_t>(N));
  const int32_t BitsSize =
      bits_size_from_file_size(FileSize, kFileHeaderSize + kCoreHeaderSize + 3 * static_cast<int64_t>(N));
  ConvertCoreInfo(Info);
  return BitsSize;
}

// The geometry must fit the library's signed 32-bit sizes, and an image addressed by rows
// must have a pixel block that holds all of them.
void check_geometry(const BITMAPINFOHEADER& H, int32_t BitsSize) {
  if (H.biBitCount == 16 || H.biBitCount == 32) {
    int32_t Stride = 0;
    int32_t Size = 0;
    if (!MaskedStride(H.biWidth, H.biBitCount, Stride) || !DIBBlockSize(H.biWidth, H.biHeight, 24, Size))
      throw EKvDIBInvalidDIB(kTooLarge);
    return;
  }
  int32_t Rows = 0;
  if (!DIBBlockSize(H.biWidth, H.biHeight, H.biBitCount, Rows)) throw EKvDIBInvalidDIB(kTooLarge);
  // RLE streams are shorter than their rows by design; the decoders bound them.
  if (!is_rle(H) && BitsSize > 0 && BitsSize < Rows) throw EKvDIBInvalidDIB(kShortBits);
}

}  // namespace

void TKvInternalDIB::LoadFromStream(TStream& Stream) {
  TKvDIBInfo Local;  // Bits nil: nothing allocated yet

  uint8_t FileHeader[kFileHeaderSize];
  Stream.ReadBuffer(FileHeader, sizeof(FileHeader));
  if (get16(FileHeader) != kBitmapFileType) throw EKvDIBInvalidDIBFile(kInvalidFileType);
  const uint32_t FileSize = get32(FileHeader + 2);  // bfSize; bfOffBits is not used

  Stream.ReadBuffer(&Local.Header.biSize, 4);
  int32_t BitsSize = 0;
  if (Local.Header.biSize == kInfoHeaderSize)
    BitsSize = read_info_header(Stream, FileSize, Local);
  else if (Local.Header.biSize == kCoreHeaderSize)
    BitsSize = read_core_header(Stream, FileSize, Local);
  else
    throw EKvDIBInvalidDIB(kInvalidHeaderSize);

  const BITMAPINFOHEADER& H = Local.Header;
  if (H.biWidth <= 0 || H.biHeight == 0) throw EKvDIBInvalidDIB(kInvalidGeometry);
  check_geometry(H, BitsSize);

  if (H.biBitCount == 16 || H.biBitCount == 32) {
    int32_t Stride = 0;
    MaskedStride(H.biWidth, H.biBitCount, Stride);
    require_remaining(Stream, static_cast<int64_t>(Stride) * std::abs(static_cast<int64_t>(H.biHeight)));
    std::vector<uint8_t> Row(static_cast<size_t>(Stride));
    ConvertMaskedToTrueColor(Local, [&Stream, &Row](int32_t, int32_t Bytes) {
      Stream.ReadBuffer(Row.data(), Bytes);
      return Row.data();
    });
  } else {
    // A zero size makes the allocation fail with the pixel-memory error, as it always has.
    if (BitsSize > 0) require_remaining(Stream, BitsSize);
    TFileMapBlock Block(BitsSize);
    Stream.ReadBuffer(Block.Bits(), BitsSize);
    HandOver(Block, Local);
  }

  // Commit: from here on nothing can fail but the release of the old block.
  try {
    FreeStorage();
  } catch (...) {
    ReleaseDIBInfoBits(Local);
    throw;
  }
  Info = Local;
  Width = Info.Header.biWidth;
  Height = Info.Header.biHeight < 0 ? -Info.Header.biHeight : Info.Header.biHeight;
  UpdatePalette();
}

void TKvInternalDIB::SaveToStream(TStream& Stream) const {
  const BITMAPINFOHEADER& H = Info.Header;
  // A palette image without a colour-count field value still needs its table: a reader
  // takes 0 to mean the full default table, so that is what is written.
  uint32_t Entries = H.biClrUsed;
  if (Entries == 0) Entries = static_cast<uint32_t>(DefaultColorCount(H.biBitCount));
  // Bit-field masks kept from a file stay in front of the table, where a reader looks.
  if (H.biCompression == kBiBitFields) Entries += kMaskEntries;
  Entries = std::min<uint32_t>(Entries, kDIBColorSlots);

  const uint32_t OffBits = kFileHeaderSize + kInfoHeaderSize + 4 * Entries;
  uint8_t FileHeader[kFileHeaderSize] = {};
  put16(FileHeader, kBitmapFileType);                                     // bfType
  put32(FileHeader + 2, OffBits + static_cast<uint32_t>(Info.BitsSize));  // bfSize
  put32(FileHeader + 10, OffBits);                                        // bfOffBits
  Stream.WriteBuffer(FileHeader, sizeof(FileHeader));
  // Header and colour table are contiguous: one piece, as for any BITMAPINFO consumer.
  Stream.WriteBuffer(Info.BitmapInfo(), kInfoHeaderSize + 4 * static_cast<int64_t>(Entries));
  Stream.WriteBuffer(Info.Bits, Info.BitsSize);
}

void TKvInternalDIB::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, TFileStream::OpenRead);
  LoadFromStream(Stream);
}

void TKvInternalDIB::WriteToFile(const std::string& FileName) const {
  TFileStream Stream(FileName, TFileStream::Create);
  SaveToStream(Stream);
  Stream.Flush();
}

void TKvDIB::LoadFromStream(TStream& Stream) {
  // The fresh storage is made before the old one is given up, so the graphic always
  // holds a storage object, even when the construction fails.
  auto Fresh = std::make_unique<TKvInternalDIB>();
  ReleaseInternalDIB();
  m_InternalDIB = Fresh.release();
  m_InternalDIB->LoadFromStream(Stream);
  UpdatePaletteModified();
  NotifyChange(this);
}

void TKvDIB::SaveToStream(TStream& Stream) const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.SaveToStream: InternalDIB Should not be Nil");
  m_InternalDIB->SaveToStream(Stream);
}

}  // namespace kv
