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

void decode(bool Four, const kv::TKvDIBInfo& Src, kv::TKvDIBInfo& Dst) {
  if (Four)
    kv::Convert4BitRLETo4BitRGB(Src, Dst);
  else
    kv::Convert8BitRLETo8BitRGB(Src, Dst);
}

// Pixel X of picture row Y of an uncompressed descriptor.
uint8_t pixel(const kv::TKvDIBInfo& I, int32_t X, int32_t Y) {
  return kv::GetPixelIndex(kv::PictureRow(I, Y), X, I.Header.biBitCount);
}

// Runs a conversion into a descriptor that owns its result from then on.
template <class TConvert>
kv::TKvOwnedInfo convert(TConvert&& Convert) {
  kv::TKvDIBInfo Out{};
  Convert(Out);
  return kv::TKvOwnedInfo::Adopt(Out);
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

  kv::TKvOwnedInfo Plain;
  try {
    Plain = convert([&](kv::TKvDIBInfo& Out) { decode(Four, Src, Out); });
  } catch (const kv::EKvDIBInvalidDIB&) {
    return 0;  // a refused element
  }

  kv::TKvOwnedInfo Packed;
  try {
    Packed = convert([&](kv::TKvDIBInfo& Out) {
      if (Four)
        kv::Convert4BitRGBTo4BitRLE(Plain.Info(), Out);
      else
        kv::Convert8BitRGBTo8BitRLE(Plain.Info(), Out);
    });
  } catch (const kv::EKvDIBCompressionFailed&) {
    return 0;  // not every picture fits its uncompressed size
  }

  // Our own stream must decode. The encoder writes bottom-up; compare in picture order.
  // The pad nibble of an odd 4-bit row is not a pixel and does not survive the round trip.
  const kv::TKvOwnedInfo Again = convert([&](kv::TKvDIBInfo& Out) { decode(Four, Packed.Info(), Out); });
  for (int32_t Y = 0; Y < Height; ++Y)
    for (int32_t X = 0; X < Width; ++X)
      if (pixel(Plain.Info(), X, Y) != pixel(Again.Info(), X, Y)) std::abort();
  return 0;
}
