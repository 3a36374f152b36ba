// TKvInternalDIB: reference-counted storage of one DIB. Several TKvDIB graphics share one
// storage object until one of them writes (copy-on-write, see KvDIB.h). The storage owns
// its pixel block and its cached platform palette; it is only changed in place while
// RefCount is 1.
#pragma once

#include <cstdint>
#include <string>

#include "image/KvDIBInfo.h"
#include "platform/graphics/Palette.h"

namespace kv {

class TStream;

class TKvInternalDIB {
 public:
  // A 1 x 1, 8-bit image with 2 (black) colour entries and a zero pixel.
  TKvInternalDIB();
  ~TKvInternalDIB();
  TKvInternalDIB(const TKvInternalDIB&) = delete;
  TKvInternalDIB& operator=(const TKvInternalDIB&) = delete;

  // Replaces the storage (whose previous block must already be released) by a fresh,
  // zero-filled image. Raises EKvDIBInvalidDIBPara for invalid parameters and for a
  // geometry whose size does not fit a signed 32-bit BitsSize.
  void CreateDIB(int32_t Width, int32_t Height, int32_t BitCount, int32_t ColorCount);
  // Releases the pixel block and the palette; idempotent.
  void FreeStorage();
  // Drops the cached palette and marks the colour table changed. Requires RefCount 1.
  void UpdatePalette();
  TKvPixelFormat GetPixelFormat() const;

  // BMP streams (image/interchange/KvDIBStream.cpp). LoadFromStream replaces the image only
  // when the whole read succeeded; SaveToStream writes the 40-byte header form.
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void WriteToFile(const std::string& FileName) const;

  int32_t RefCount = 1;
  int32_t Width = 0;
  int32_t Height = 0;  // absolute value of biHeight
  TPaletteHandle PaletteHandle;
  TKvDIBInfo Info;
  uint8_t PaletteChanged = 0;
};

// The pixel format of a descriptor; raises EKvDIBInvalidDIB for other bit count /
// compression pairs.
TKvPixelFormat GetPixelFormat(const TKvDIBInfo& Info);

}  // namespace kv
