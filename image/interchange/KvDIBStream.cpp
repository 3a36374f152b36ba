// BMP streams: reading a BMP image (40-byte info header or 12-byte core header, 1 to 32
// bits, bit fields, RLE data kept as read) into TKvInternalDIB, writing it back in the
// 40-byte form, and the TKvDIB stream and file operations built on them.
//
// The reader validates, then allocates, then commits: the new descriptor is built in a
// local TKvDIBInfo, its pixel block is owned by a TFileMapBlock until the read is complete,
// and only then does the storage give up its old image.
#include <algorithm>
#include <array>
#include <vector>

#include "image/KvDIB.h"
#include "image/KvGeometry.h"
#include "image/interchange/KvDIBHeader.h"
#include "image/interchange/KvMaskedDIB.h"
#include "platform/core/ByteOrder.h"
#include "platform/streams/Stream.h"

namespace kv {

namespace {

constexpr char kInvalidFileType[] = "TKvInternalDIB.LoadFromFile: File type is invalid";
constexpr char kShortBits[] = "TKvInternalDIB.LoadFromStream: Bits Size is Smaller than the Image";

constexpr uint32_t kMaskEntries = 3;  // BI_BITFIELDS: red, green, blue

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
  if (Size > kMaxBlockBytes) throw EKvDIBInvalidDIB(kMsgImageTooLarge);
  return static_cast<int32_t>(Size);
}

// Reads the header whose size field is already in SizeField, and the colour table behind
// it, into Info; returns BitsSize as given by bfSize.
int32_t read_header(TStream& Stream, uint32_t FileSize, const uint8_t (&SizeField)[4], TKvDIBInfo& Info) {
  const TKvHeaderForm Form = HeaderFormOf(LoadLE32(SizeField), kStreamHeaderRules);
  std::array<uint8_t, kInfoHeaderSize> Header{};
  std::copy(std::begin(SizeField), std::end(SizeField), Header.begin());
  const uint32_t HeaderBytes = HeaderBytesOf(Form);
  Stream.ReadBuffer(Header.data() + 4, HeaderBytes - 4);
  const TKvColorTable Table =
      ParseHeader(Form, std::span(Header.data(), HeaderBytes), kStreamHeaderRules, Info);

  // The part of the table the descriptor keeps; the rest of a larger table is skipped.
  std::array<uint8_t, (kMaskEntries + 256) * sizeof(RGBQUAD)> Colors{};
  const auto Kept = static_cast<size_t>(Table.KeptBytes());
  Stream.ReadBuffer(Colors.data(), static_cast<int64_t>(Kept));
  if (Table.Bytes() > Table.KeptBytes()) Stream.Seek(Table.Bytes() - Table.KeptBytes());
  ParseColorTable(Table, std::span(Colors.data(), Kept), Info);

  // The masks are not subtracted: that is how the pixel size has always been taken.
  const int64_t Entries = int64_t{Table.Entries} * Table.EntryBytes();
  return bits_size_from_file_size(FileSize, kFileHeaderSize + HeaderBytes + Entries);
}

// The geometry must fit the library's signed 32-bit sizes, and an image addressed by rows
// must have a pixel block that holds all of them.
void check_geometry(const BITMAPINFOHEADER& H, int32_t BitsSize) {
  CheckHeaderGeometry(H);
  if (H.biBitCount == 16 || H.biBitCount == 32) return;
  // RLE streams are shorter than their rows by design; the decoders bound them.
  const int64_t Rows = RowStride(H.biWidth, H.biBitCount) * RowCount(H.biHeight);
  if (!IsRleHeader(H) && BitsSize > 0 && BitsSize < Rows) throw EKvDIBInvalidDIB(kShortBits);
}

}  // namespace

void TKvInternalDIB::LoadFromStream(TStream& Stream) {
  TKvOwnedInfo Local;  // nothing allocated yet

  uint8_t FileHeader[kFileHeaderSize];
  Stream.ReadBuffer(FileHeader, sizeof(FileHeader));
  if (LoadLE16(FileHeader + file_header::kType) != kBitmapFileType)
    throw EKvDIBInvalidDIBFile(kInvalidFileType);
  const uint32_t FileSize = LoadLE32(FileHeader + file_header::kSize);  // bfOffBits is not used

  uint8_t SizeField[4];
  Stream.ReadBuffer(SizeField, 4);
  const int32_t BitsSize = read_header(Stream, FileSize, SizeField, Local.Info());

  const BITMAPINFOHEADER& H = Local.Info().Header;
  if (H.biWidth <= 0 || H.biHeight == 0) throw EKvDIBInvalidDIB(kMsgInvalidWidthOrHeight);
  check_geometry(H, BitsSize);

  if (H.biBitCount == 16 || H.biBitCount == 32) {
    const int64_t Stride = MaskedRowStride(H.biWidth, H.biBitCount);
    require_remaining(Stream, Stride * RowCount(H.biHeight));
    std::vector<uint8_t> Row(static_cast<size_t>(Stride));
    ConvertMaskedToTrueColor(Local.Info(), [&Stream, &Row](int32_t, int32_t Bytes) {
      Stream.ReadBuffer(Row.data(), Bytes);
      return Row.data();
    });
  } else {
    // A zero size makes the allocation fail with the pixel-memory error, as it always has.
    if (BitsSize > 0) require_remaining(Stream, BitsSize);
    TFileMapBlock Block(BitsSize);
    Stream.ReadBuffer(Block.Bits(), BitsSize);
    HandOver(Block, Local.Info());
  }

  // Commit: from here on nothing can fail but the release of the old block.
  InstallInfo(std::move(Local));
}

void TKvInternalDIB::SaveToStream(TStream& Stream) const {
  const BITMAPINFOHEADER& H = Info.Header;
  const uint32_t Entries = WrittenColorEntries(H);
  const uint32_t OffBits = kFileHeaderSize + kInfoHeaderSize + 4 * Entries;
  // Everything in front of the pixels goes out in one request, the pixels in another,
  // straight from their block.
  std::array<uint8_t, kFileHeaderSize + kInfoHeaderSize + 4 * kDIBColorSlots> Front;
  WriteFileHeader(std::span<uint8_t, kFileHeaderSize>(Front.data(), kFileHeaderSize),
                  OffBits + static_cast<uint32_t>(Info.BitsSize), OffBits);
  // Header and colour table are contiguous: one piece, as for any BITMAPINFO consumer.
  const auto* Bitmap = reinterpret_cast<const uint8_t*>(Info.BitmapInfo());
  std::copy(Bitmap, Bitmap + kInfoHeaderSize + 4 * Entries, Front.begin() + kFileHeaderSize);
  Stream.WriteBuffer(Front.data(), OffBits);
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
  InstallStorage(TKvStorageRef::New());
  m_Storage->LoadFromStream(Stream);
  UpdatePaletteModified();
  NotifyChange(this);
}

void TKvDIB::SaveToStream(TStream& Stream) const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SaveToStream: InternalDIB Should not be Nil");
  m_Storage->SaveToStream(Stream);
}

}  // namespace kv
