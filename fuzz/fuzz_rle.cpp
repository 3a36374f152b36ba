// libFuzzer target for the RLE8 and RLE4 decoders. The first three bytes choose the codec
// and a small geometry, the rest is the stream, decoded from a heap copy of exactly its
// size (so that any read past BitsSize is caught). A stream that decodes is encoded again
// and, when that succeeds, decoded once more: the pixels must come back unchanged.
//
// Input layout:
//   byte 0   bit 0: 0 = RLE8, 1 = RLE4; bit 1: top-down (negative height)
//   byte 1   width - 1 (1..64)
//   byte 2   height - 1 (1..64)
//   rest     the stream
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "image/KvDIBInfo.h"
#include "image/KvPixels.h"
#include "image/convert/KvRLE.h"

namespace {

constexpr size_t kHeaderBytes = 3;

// Releases a decoded or encoded block on every exit.
struct TOwned {
  kv::TKvDIBInfo Info{};
  ~TOwned() { kv::ReleaseDIBInfoBits(Info); }
};

void decode(bool Four, const kv::TKvDIBInfo& Src, kv::TKvDIBInfo& Dst) {
  if (Four)
    kv::Convert4BitRLETo4BitRGB(Src, Dst);
  else
    kv::Convert8BitRLETo8BitRGB(Src, Dst);
}

// Pixel X of stored row R of an uncompressed descriptor.
uint8_t pixel(const kv::TKvDIBInfo& I, int32_t X, int32_t R) {
  const uint8_t* Row = I.Bits + static_cast<size_t>(kv::DIBStride(I.Header)) * static_cast<size_t>(R);
  return kv::GetPixelIndex(Row, X, I.Header.biBitCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < kHeaderBytes) return 0;
  const bool Four = (Data[0] & 1) != 0;
  const bool TopDown = (Data[0] & 2) != 0;
  const int32_t Width = 1 + (Data[1] & 63);
  const int32_t Height = 1 + (Data[2] & 63);

  const size_t Length = Size - kHeaderBytes;
  auto Stream = std::make_unique<uint8_t[]>(Length + 1);  // never empty
  if (Length > 0) std::memcpy(Stream.get(), Data + kHeaderBytes, Length);

  kv::TKvDIBInfo Src{};
  Src.Header.biSize = sizeof(kv::BITMAPINFOHEADER);
  Src.Header.biWidth = Width;
  Src.Header.biHeight = TopDown ? -Height : Height;
  Src.Header.biPlanes = 1;
  Src.Header.biBitCount = Four ? 4 : 8;
  Src.Header.biCompression = Four ? kv::kBiRLE4 : kv::kBiRLE8;
  Src.Header.biClrUsed = Four ? 16 : 256;
  Src.Bits = Stream.get();
  Src.BitsSize = static_cast<int32_t>(Length);

  TOwned Plain;
  try {
    decode(Four, Src, Plain.Info);
  } catch (const kv::EKvDIBInvalidDIB&) {
    return 0;  // a refused element
  }

  TOwned Packed;
  try {
    if (Four)
      kv::Convert4BitRGBTo4BitRLE(Plain.Info, Packed.Info);
    else
      kv::Convert8BitRGBTo8BitRLE(Plain.Info, Packed.Info);
  } catch (const kv::EKvDIBCompressionFailed&) {
    return 0;  // not every picture fits its uncompressed size
  }

  TOwned Again;
  decode(Four, Packed.Info, Again.Info);  // our own stream must decode
  // The encoder writes bottom-up; compare in picture order. The pad nibble of an odd
  // 4-bit row is not a pixel and does not survive the round trip.
  for (int32_t Y = 0; Y < Height; ++Y) {
    const int32_t R1 = Plain.Info.Header.biHeight > 0 ? Height - 1 - Y : Y;
    const int32_t R2 = Height - 1 - Y;
    for (int32_t X = 0; X < Width; ++X)
      if (pixel(Plain.Info, X, R1) != pixel(Again.Info, X, R2)) std::abort();
  }
  return 0;
}
