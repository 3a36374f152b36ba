#include "image/interchange/KvDIBHeader.h"

#include <cstring>

#include "image/KvGeometry.h"
#include "platform/core/ByteOrder.h"

namespace kv {

namespace {

constexpr uint32_t kMaskEntries = 3;  // BI_BITFIELDS: red, green, blue

bool valid_info_bit_count(uint16_t Bits) {
  return Bits == 1 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32;
}
bool valid_core_bit_count(uint16_t Bits) { return Bits == 1 || Bits == 4 || Bits == 8 || Bits == 24; }

}  // namespace

TKvHeaderForm HeaderFormOf(uint32_t HeaderSize, const TKvHeaderRules& Rules) {
  if (HeaderSize == kInfoHeaderSize) return TKvHeaderForm::Info;
  if (HeaderSize == kCoreHeaderSize) return TKvHeaderForm::Core;
  throw EKvDIBInvalidDIB(Rules.InvalidHeaderSize);
}

TKvColorTable ParseHeader(TKvHeaderForm Form, std::span<const uint8_t> Bytes, const TKvHeaderRules& Rules,
                          TKvDIBInfo& Info) {
  AssertDIB(Bytes.size() >= HeaderBytesOf(Form), "ParseHeader: Header Cut Short");
  const uint8_t* B = Bytes.data();
  TKvColorTable Table;
  Table.Form = Form;
  if (Form == TKvHeaderForm::Core) {
    // The raw core header stays in the Header area: ConvertCoreInfo rewrites it there.
    std::memcpy(&Info.Header, B, kCoreHeaderSize);
    const uint16_t BitCount = LoadLE16(B + core_header::kBitCount);
    if (Rules.CoreBitCount && !valid_core_bit_count(BitCount)) throw EKvDIBInvalidDIB(Rules.CoreBitCount);
    Table.Entries = static_cast<uint32_t>(DefaultColorCount(BitCount));
    return Table;
  }

  BITMAPINFOHEADER& H = Info.Header;
  H.biSize = LoadLE32(B + info_header::kSize);
  H.biWidth = static_cast<int32_t>(LoadLE32(B + info_header::kWidth));
  H.biHeight = static_cast<int32_t>(LoadLE32(B + info_header::kHeight));
  H.biPlanes = LoadLE16(B + info_header::kPlanes);
  H.biBitCount = LoadLE16(B + info_header::kBitCount);
  H.biCompression = LoadLE32(B + info_header::kCompression);
  H.biSizeImage = LoadLE32(B + info_header::kSizeImage);
  H.biXPelsPerMeter = static_cast<int32_t>(LoadLE32(B + info_header::kXPelsPerMeter));
  H.biYPelsPerMeter = static_cast<int32_t>(LoadLE32(B + info_header::kYPelsPerMeter));
  H.biClrUsed = LoadLE32(B + info_header::kClrUsed);
  H.biClrImportant = LoadLE32(B + info_header::kClrImportant);
  if (Rules.InfoBitCount && !valid_info_bit_count(H.biBitCount)) throw EKvDIBInvalidDIB(Rules.InfoBitCount);
  if (H.biClrUsed == 0) H.biClrUsed = static_cast<uint32_t>(DefaultColorCount(H.biBitCount));
  Table.Entries = H.biClrUsed;
  Table.Masks = H.biCompression == kBiBitFields ? kMaskEntries : 0;
  return Table;
}

void ParseColorTable(const TKvColorTable& Table, std::span<const uint8_t> Bytes, TKvDIBInfo& Info) {
  const auto Kept = static_cast<size_t>(Table.KeptBytes());
  AssertDIB(Bytes.size() >= Kept, "ParseColorTable: Colour Table Cut Short");
  if (Table.Form == TKvHeaderForm::Core) {
    // The triples go right behind the core header, where ConvertCoreInfo expects them;
    // 12 + 3 x 256 bytes fit the Header and Colors areas.
    static_assert(kCoreHeaderSize + 3 * 256 <= sizeof(BITMAPINFOHEADER) + sizeof(Info.Colors));
    if (Kept > 0) std::memcpy(reinterpret_cast<uint8_t*>(&Info.Header) + kCoreHeaderSize, Bytes.data(), Kept);
    ConvertCoreInfo(Info);
    return;
  }
  // The masks plus a full table (1036 bytes) fit the 260 entries of Colors.
  static_assert((kMaskEntries + 256) * sizeof(RGBQUAD) <= sizeof(Info.Colors));
  if (Kept > 0) std::memcpy(Info.Colors, Bytes.data(), Kept);
  Info.Header.biClrUsed = Table.Kept();
}

void CheckHeaderGeometry(const BITMAPINFOHEADER& H) {
  const int64_t Rows = RowCount(H.biHeight);
  bool Fits = false;
  if (H.biBitCount == 16 || H.biBitCount == 32) {
    // Masked rows are read one at a time: only one source row has to fit, and the 24-bit
    // image they become.
    Fits = MaskedRowStride(H.biWidth, H.biBitCount) <= kMaxBlockBytes &&
           FitsBlock(RowStride(H.biWidth, 24), Rows);
  } else {
    Fits = FitsBlock(RowStride(H.biWidth, H.biBitCount), Rows);
  }
  if (!Fits) throw EKvDIBInvalidDIB(kMsgImageTooLarge);
}

uint32_t WrittenColorEntries(const BITMAPINFOHEADER& H) {
  uint32_t Entries = H.biClrUsed;
  if (Entries == 0) Entries = static_cast<uint32_t>(DefaultColorCount(H.biBitCount));
  if (H.biCompression == kBiBitFields) Entries += kMaskEntries;
  return Entries < kDIBColorSlots ? Entries : kDIBColorSlots;
}

void WriteFileHeader(std::span<uint8_t, kFileHeaderSize> Out, uint32_t FileSize, uint32_t OffBits) {
  std::memset(Out.data(), 0, Out.size());  // reserved fields 0
  StoreLE16(Out.data() + file_header::kType, kBitmapFileType);
  StoreLE32(Out.data() + file_header::kSize, FileSize);
  StoreLE32(Out.data() + file_header::kOffBits, OffBits);
}

}  // namespace kv
