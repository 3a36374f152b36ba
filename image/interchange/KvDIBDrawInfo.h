// The BITMAPINFO an image hands to the platform's drawing calls (StretchDIBits) for its
// pixel block. An uncompressed image's own header and colour table serve as they are. An
// RLE image's are copied with biSizeImage set to the size of its stream: the drawing call
// takes no buffer size and reads an RLE stream no further than biSizeImage, so a value
// taken from a file could otherwise send it past the block. The pixels are never copied.
#pragma once

#include <cstring>

#include "image/KvDIBInfo.h"
#include "image/interchange/KvDIBHeader.h"
#include "platform/graphics/GdiTypes.h"

namespace kv {

class TKvDrawInfo {
 public:
  explicit TKvDrawInfo(const TKvDIBInfo& Info) : m_Info(static_cast<const BITMAPINFO*>(Info.BitmapInfo())) {
    if (!IsRleHeader(Info.Header)) return;
    std::memcpy(&m_Copy, Info.BitmapInfo(), sizeof(m_Copy));
    m_Copy.Header.biSizeImage = static_cast<uint32_t>(Info.BitsSize);
    m_Info = reinterpret_cast<const BITMAPINFO*>(&m_Copy);
  }
  TKvDrawInfo(const TKvDrawInfo&) = delete;
  TKvDrawInfo& operator=(const TKvDrawInfo&) = delete;

  const BITMAPINFO* get() const { return m_Info; }

 private:
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[kDIBColorSlots];
  } m_Copy;  // filled only for an RLE image
  const BITMAPINFO* m_Info;
};

}  // namespace kv
