// The packed-DIB parse and its writer. The parse follows the BMP stream reader: the same
// header parser (with rules that leave the depth to the last step, where it gets its own
// message), the same masked 16- and 32-bit conversion, the same install; the pixel size is
// what the block holds behind the header, and surplus colour entries are skipped by offset.
#include "image/interchange/KvPackedDIB.h"

#include <cstring>

#include "image/KvGeometry.h"
#include "image/interchange/KvDIBHeader.h"
#include "image/interchange/KvMaskedDIB.h"
#include "platform/core/ByteOrder.h"

namespace kv {

namespace {

constexpr char kInvalidBitCount[] = "TKvInternalDIB.LoadFromClipboardFormat: Invalid biBitCount";

// A packed DIB names its depth only in the last step, and a core header may carry 16 or
// 32 bits.
constexpr TKvHeaderRules kPackedHeaderRules = {kMsgInvalidClipboardData, nullptr, nullptr};

[[noreturn]] void invalid_data() { throw EKvDIBInvalidDIB(kMsgInvalidClipboardData); }

}  // namespace

TKvOwnedInfo ParsePackedDIB(std::span<const uint8_t> Block) {
  const auto Size = static_cast<int64_t>(Block.size());
  if (Size < 4) invalid_data();
  const TKvHeaderForm Form = HeaderFormOf(LoadLE32(Block.data()), kPackedHeaderRules);
  const int64_t HeaderSize = HeaderBytesOf(Form);
  if (Size < HeaderSize) invalid_data();

  TKvOwnedInfo Local;
  TKvDIBInfo& Info = Local.Info();
  const TKvColorTable Table =
      ParseHeader(Form, Block.first(static_cast<size_t>(HeaderSize)), kPackedHeaderRules, Info);
  // HeaderBytes counts every entry of the table, kept or not.
  const int64_t HeaderBytes = HeaderSize + Table.Bytes();
  if (Size < HeaderBytes) invalid_data();
  ParseColorTable(
      Table, Block.subspan(static_cast<size_t>(HeaderSize), static_cast<size_t>(Table.KeptBytes())), Info);
  const std::span<const uint8_t> Pixels = Block.subspan(static_cast<size_t>(HeaderBytes));

  const BITMAPINFOHEADER& H = Info.Header;
  if (H.biWidth <= 0 || H.biHeight == 0) throw EKvDIBInvalidDIB(kMsgInvalidWidthOrHeight);
  const uint16_t Bits = H.biBitCount;
  if (Bits != 1 && Bits != 4 && Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32)
    throw EKvDIBInvalidDIB(kInvalidBitCount);
  CheckHeaderGeometry(H);
  const int64_t Rows = RowCount(H.biHeight);

  if (Bits == 16 || Bits == 32) {
    const int64_t Stride = MaskedRowStride(H.biWidth, Bits);
    if (static_cast<int64_t>(Pixels.size()) / Rows < Stride) invalid_data();
    ConvertMaskedToTrueColor(Info, [Pixels](int32_t Row, int32_t Bytes) {
      return Pixels.data() + static_cast<ptrdiff_t>(Row) * Bytes;
    });
    return Local;
  }

  // Uncompressed rows must all be there; an RLE stream is bounded by its decoder.
  if (!IsRleHeader(H) && static_cast<int64_t>(Pixels.size()) / Rows < RowStride(H.biWidth, Bits))
    invalid_data();
  if (static_cast<int64_t>(Pixels.size()) > kMaxBlockBytes) throw EKvDIBInvalidDIB(kMsgImageTooLarge);
  // A block with no pixel bytes at all fails in the pixel memory, as a zero size does.
  TFileMapBlock PixelBlock(static_cast<int32_t>(Pixels.size()));
  std::memcpy(PixelBlock.Bits(), Pixels.data(), Pixels.size());
  HandOver(PixelBlock, Info);
  return Local;
}

int64_t PackedDIBSize(const TKvDIBInfo& Info) {
  return kInfoHeaderSize + int64_t{4} * WrittenColorEntries(Info.Header) + Info.BitsSize;
}

void WritePackedDIB(const TKvDIBInfo& Info, std::span<uint8_t> Out) {
  AssertDIB(static_cast<int64_t>(Out.size()) >= PackedDIBSize(Info), "WritePackedDIB: Block Too Small");
  // Header and colour table are contiguous: one piece, as for any BITMAPINFO consumer.
  const size_t HeaderBytes = kInfoHeaderSize + size_t{4} * WrittenColorEntries(Info.Header);
  std::memcpy(Out.data(), Info.BitmapInfo(), HeaderBytes);
  if (Info.BitsSize > 0) std::memcpy(Out.data() + HeaderBytes, Info.Bits, static_cast<size_t>(Info.BitsSize));
}

}  // namespace kv
