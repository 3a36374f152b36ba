// Packed DIBs: the clipboard's CF_DIB layout (a header, its colour table and the pixel
// data in one block, no file header), parsed from and written to bytes. The clipboard
// operations of TKvInternalDIB and TKvDIB lock a global-memory block and hand its bytes
// here.
//
// Layout as read, offsets from the start of the block:
//   0            4 bytes: header size, 40 (BITMAPINFOHEADER) or 12 (BITMAPCOREHEADER)
//   0            the header
//   40           only for a 40-byte header with BI_BITFIELDS: red, green and blue masks
//   40 or 52     40-byte header: e RGBQUAD entries, e = biClrUsed or the default count
//   12           12-byte header: e RGBTRIPLE entries, e = the default count
//   HeaderBytes  the pixel data, to the end of the block as its size says (slack included)
//
// The parse trusts nothing it reads: a block shorter than the header, colour table or
// pixel rows it announces is refused with "TKvDIB.LoadFromClipboardFormat: Invalid
// Clipboard Data" and never read beyond its size, and a geometry whose sizes do not fit
// the library's signed 32-bit arithmetic is refused before anything is allocated.
#pragma once

#include <cstdint>
#include <span>

#include "image/KvDIBInfo.h"

namespace kv {

inline constexpr char kMsgInvalidClipboardData[] = "TKvDIB.LoadFromClipboardFormat: Invalid Clipboard Data";

// The image of a packed-DIB block, complete with a pixel block of its own. Raises
// EKvDIBInvalidDIB (header size, geometry, depth, masks, a block too short), the pixel
// memory's EOutOfResources, and nothing else; nothing stays allocated on failure.
TKvOwnedInfo ParsePackedDIB(std::span<const uint8_t> Block);

// Bytes of the packed DIB of Info: the 40-byte header, its colour table (the full default
// table for a palette image whose biClrUsed is 0, so that a reader finds the entries the
// header implies; bit-field masks in front when the header says BI_BITFIELDS) and BitsSize
// bytes of pixel data.
int64_t PackedDIBSize(const TKvDIBInfo& Info);
// Writes that packed DIB into Out, which holds at least PackedDIBSize(Info) bytes.
void WritePackedDIB(const TKvDIBInfo& Info, std::span<uint8_t> Out);

}  // namespace kv
