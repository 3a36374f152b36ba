// BMP headers as bytes, for every reader of them (the BMP stream reader, the packed-DIB
// clipboard reader): the header sizes and field offsets, the parse of the 40-byte info
// header and the 12-byte core header and of the colour table behind them into a
// descriptor, the geometry check made before any pixel memory is taken, and the messages
// the readers share.
//
// Fields are read at their named offsets from a byte buffer in the file's little-endian
// order, so a header in memory (a clipboard block) and one read from a stream go through
// the same code. Where the readers differ (which bit counts the header parse refuses, the
// message for an unknown header size), the difference is a rule passed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "image/KvDIBInfo.h"

namespace kv {

constexpr uint32_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr uint32_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER (read only)

// BITMAPFILEHEADER field offsets.
namespace file_header {
constexpr size_t kType = 0;      // 2 bytes, "BM"
constexpr size_t kSize = 2;      // 4 bytes, file size
constexpr size_t kOffBits = 10;  // 4 bytes, offset of the pixel data (bytes 6..9 are reserved)
}  // namespace file_header

// BITMAPINFOHEADER field offsets.
namespace info_header {
constexpr size_t kSize = 0;            // 4 bytes: 40
constexpr size_t kWidth = 4;           // 4 bytes, signed
constexpr size_t kHeight = 8;          // 4 bytes, signed; negative: top-down rows
constexpr size_t kPlanes = 12;         // 2 bytes
constexpr size_t kBitCount = 14;       // 2 bytes
constexpr size_t kCompression = 16;    // 4 bytes: BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS
constexpr size_t kSizeImage = 20;      // 4 bytes
constexpr size_t kXPelsPerMeter = 24;  // 4 bytes, signed
constexpr size_t kYPelsPerMeter = 28;  // 4 bytes, signed
constexpr size_t kClrUsed = 32;        // 4 bytes: 0 means the default count of the depth
constexpr size_t kClrImportant = 36;   // 4 bytes
}  // namespace info_header

// BITMAPCOREHEADER field offsets.
namespace core_header {
constexpr size_t kSize = 0;       // 4 bytes: 12
constexpr size_t kWidth = 4;      // 2 bytes, unsigned
constexpr size_t kHeight = 6;     // 2 bytes, unsigned; always bottom-up
constexpr size_t kPlanes = 8;     // 2 bytes
constexpr size_t kBitCount = 10;  // 2 bytes
}  // namespace core_header

// Messages shared by the readers.
inline constexpr char kMsgInvalidWidthOrHeight[] = "TKvInternalDIB.LoadFromStream: Invalid Width or Height";
inline constexpr char kMsgInvalidMasks[] = "TKvInternalDIB.LoadFromStream: Invalid Masks";
inline constexpr char kMsgImageTooLarge[] = "TKvInternalDIB.LoadFromStream: Image Too Large";

// How a reader treats a header.
struct TKvHeaderRules {
  const char* InvalidHeaderSize;  // message for a header size other than 40 and 12
  const char* InfoBitCount;       // 40-byte form: message for a bit count other than 1/4/8/16/24/32,
                                  // or nullptr when the reader tests the depth later
  const char* CoreBitCount;       // core form: message for a bit count other than 1/4/8/24, or nullptr
};

// The rules of the BMP stream reader.
inline constexpr TKvHeaderRules kStreamHeaderRules = {
    "TKvInternalDIB.LoadFromStream: Invalid Bitmap Header Size",
    "TKvInternalDIB.LoadFromStream: Invalid BitCout",
    "TKvInternalDIB.LoadFromStream: Invalid BitCount",
};

enum class TKvHeaderForm : uint8_t { Info, Core };

// The form a header size selects; raises EKvDIBInvalidDIB (Rules.InvalidHeaderSize) for any
// other size.
TKvHeaderForm HeaderFormOf(uint32_t HeaderSize, const TKvHeaderRules& Rules);
constexpr uint32_t HeaderBytesOf(TKvHeaderForm Form) {
  return Form == TKvHeaderForm::Info ? kInfoHeaderSize : kCoreHeaderSize;
}

// What lies between a header and its pixels.
struct TKvColorTable {
  TKvHeaderForm Form = TKvHeaderForm::Info;
  uint32_t Entries = 0;  // colour entries the data holds: biClrUsed, or the default count when 0
  uint32_t Masks = 0;    // bit-field masks in front of them (3 for BI_BITFIELDS in the 40-byte form)

  uint32_t EntryBytes() const { return Form == TKvHeaderForm::Info ? 4 : 3; }  // RGBQUAD / RGBTRIPLE
  // Entries a descriptor keeps: the table proper has room for 256.
  uint32_t Kept() const { return Entries < 256 ? Entries : 256; }
  // Bytes of all of it, and of the part a descriptor keeps. Entries < 2^32 and at most 4
  // bytes each: exact in 64 bits.
  int64_t Bytes() const { return (int64_t{Masks} + Entries) * EntryBytes(); }
  int64_t KeptBytes() const { return (int64_t{Masks} + Kept()) * EntryBytes(); }
};

// Parses a header of Form from its HeaderBytesOf(Form) bytes into Info, testing the bit
// count as Rules say (EKvDIBInvalidDIB). The 40-byte form lands in Info.Header with
// biClrUsed 0 replaced by the default count of its depth; the core form is copied raw into
// the Header area, where ParseColorTable finishes it. Returns the table that follows.
TKvColorTable ParseHeader(TKvHeaderForm Form, std::span<const uint8_t> Bytes, const TKvHeaderRules& Rules,
                          TKvDIBInfo& Info);

// Takes the kept part of the colour table (Table.KeptBytes() bytes) into Info and finishes
// the header: 40-byte form: masks then entries into Colors, biClrUsed = Table.Kept();
// core form: the triples behind the core header, then ConvertCoreInfo.
void ParseColorTable(const TKvColorTable& Table, std::span<const uint8_t> Bytes, TKvDIBInfo& Info);

// Before any pixel memory is taken: the geometry of a parsed 40-byte header must fit the
// library's signed 32-bit sizes: for 16- and 32-bit data both the source rows and the
// 24-bit image they become, otherwise the rows of its own depth. Raises EKvDIBInvalidDIB
// kMsgImageTooLarge. The width and height have been checked to be valid already.
void CheckHeaderGeometry(const BITMAPINFOHEADER& H);

// True for a depth / compression pair whose data is an RLE stream.
constexpr bool IsRleHeader(const BITMAPINFOHEADER& H) {
  return (H.biBitCount == 8 && H.biCompression == kBiRLE8) ||
         (H.biBitCount == 4 && H.biCompression == kBiRLE4);
}

// Colour-table entries the writers (BMP stream, packed DIB) put behind a held header: its
// biClrUsed entries, or the full default table of a palette image whose biClrUsed is 0 (a
// reader takes 0 to mean that table), with the three bit-field masks in front when the
// header says BI_BITFIELDS; never more than the descriptor holds.
uint32_t WrittenColorEntries(const BITMAPINFOHEADER& H);

// Writes a BITMAPFILEHEADER: "BM", the file size, reserved 0, the pixel-data offset.
void WriteFileHeader(std::span<uint8_t, kFileHeaderSize> Out, uint32_t FileSize, uint32_t OffBits);

}  // namespace kv
