// libFuzzer target for the conversions on small fuzzed images: the Normal and Fine
// reductions, 256 to 16 colours, the halftones, the key-colour masks, the widenings and
// the RLE encoders. Each result is checked against what must hold whatever the pixels:
// the Fine method gives the same palette and indices whichever way its tree is built and
// applied, every index lies inside the palette, widened pixels are the source's colours,
// and an RLE stream decodes back to its pixels.
//
// Input layout:
//   byte 0   bits 0-5: the route (taken modulo the routes of the source depth); bits 6
//            and 7 both set: the Fine tree is also built through the colour cube, whose
//            division sweeps the box of the image's colours; 24-bit pixel bytes then keep
//            only their low 6 bits, so that the box stays small and runs stay fast
//   byte 1   bits 0-1: source depth 1, 4, 8 or 24; bit 2: top-down; bits 3-7: how many
//            colour-table entries follow (the others repeat them)
//   byte 2   width - 1 (1..64)
//   byte 3   height - 1 (1..64)
//   then     the colour-table entries (blue, green, red), then the pixel bytes, repeated
//            to fill the rows (zero rows when there are none)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/KvDIBInfo.h"
#include "image/KvGeometry.h"
#include "image/KvPixels.h"
#include "image/convert/KvHalftone.h"
#include "image/convert/KvRLE.h"
#include "image/convert/KvTo1Bit.h"
#include "image/convert/KvUpConvert.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceStages.h"
#include "platform/memory/FileMap.h"

namespace {

using kv::TKvDIBInfo;
using kv::TKvOwnedInfo;

constexpr size_t kHeaderBytes = 4;

void check(bool Holds) {
  if (!Holds) std::abort();
}

// Runs a conversion into a descriptor that owns its result from then on.
template <class TConvert>
TKvOwnedInfo convert(TConvert&& Convert) {
  TKvDIBInfo Out{};
  Convert(Out);
  return TKvOwnedInfo::Adopt(Out);
}

TKvOwnedInfo make_source(const uint8_t* Data, size_t Size, bool Narrow) {
  static const int kDepths[4] = {1, 4, 8, 24};
  const int Bits = kDepths[Data[1] & 3];
  const bool TopDown = (Data[1] & 4) != 0;
  const int32_t W = 1 + (Data[2] & 63), H = 1 + (Data[3] & 63);
  Data += kHeaderBytes;
  Size -= kHeaderBytes;

  TKvDIBInfo Info{};
  Info.Header.biSize = sizeof(kv::BITMAPINFOHEADER);
  Info.Header.biWidth = W;
  Info.Header.biHeight = TopDown ? -H : H;
  Info.Header.biPlanes = 1;
  Info.Header.biBitCount = static_cast<uint16_t>(Bits);
  Info.Header.biCompression = kv::kBiRGB;
  if (Bits != 24) {
    const size_t Slots = size_t{1} << Bits;
    const size_t Given = std::min<size_t>({static_cast<size_t>(Data[-3] >> 3), Slots, Size / 3});
    for (size_t I = 0; I < Slots; ++I) {
      const uint8_t* C = Given > 0 ? Data + 3 * (I % Given) : nullptr;
      Info.Colors[I] = C ? kv::RGBQUAD{C[0], C[1], C[2], 0} : kv::RGBQUAD{0, 0, 0, 0};
    }
    Info.Header.biClrUsed = static_cast<uint32_t>(Slots);
    Data += 3 * Given;
    Size -= 3 * Given;
  }
  const uint8_t PixelMask = Narrow && Bits == 24 ? 0x3F : 0xFF;
  int32_t BlockSize = 0;
  check(kv::DIBBlockSize(W, H, Bits, BlockSize));
  kv::TFileMapBlock Block(BlockSize);
  if (Size > 0)
    for (int32_t I = 0; I < BlockSize; ++I) Block.Bits()[I] = Data[static_cast<size_t>(I) % Size] & PixelMask;
  kv::HandOver(Block, Info);
  return TKvOwnedInfo::Adopt(Info);
}

std::vector<uint8_t> bytes_of(const TKvDIBInfo& I) {
  return std::vector<uint8_t>(I.Bits, I.Bits + I.BitsSize);
}

uint8_t index_at(const TKvDIBInfo& I, int32_t X, int32_t Y) {
  return kv::GetPixelIndex(kv::PictureRow(I, Y), X, I.Header.biBitCount);
}

// Every pixel index of an uncompressed palette result lies below Limit.
void check_indices(const TKvDIBInfo& I, uint32_t Limit) {
  for (int32_t Y = 0; Y < kv::RowCount(I.Header.biHeight); ++Y)
    for (int32_t X = 0; X < I.Header.biWidth; ++X) check(index_at(I, X, Y) < Limit);
}

void check_reduction(const TKvDIBInfo& Out, int Bits) {
  check(Out.Header.biBitCount == Bits);
  check(Out.Header.biClrUsed >= 1 && Out.Header.biClrUsed <= (1u << Bits));
  check_indices(Out, Out.Header.biClrUsed);
}

// The Fine method built and applied every way gives one result.
void fine_every_way(const TKvDIBInfo& Src, int MaxDepth, bool WithCube) {
  const TKvOwnedInfo Want = convert([&](TKvDIBInfo& Out) {
    MaxDepth == 8 ? kv::ConvertTrueColorTo8BitRGBHigh(Src, Out, nullptr)
                  : kv::ConvertTrueColorTo4BitRGBHigh(Src, Out, nullptr);
  });
  check_reduction(Want.Info(), MaxDepth == 8 ? 8 : 4);
  std::vector<kv::TKvHighBuild> Builds = {kv::TKvHighBuild::Packed, kv::TKvHighBuild::Distinct};
  if (WithCube) Builds.push_back(kv::TKvHighBuild::Cube);
  for (const kv::TKvHighBuild B : Builds)
    for (const kv::TKvHighMapping M : {kv::TKvHighMapping::Walk, kv::TKvHighMapping::Grid}) {
      const TKvOwnedInfo Got =
          convert([&](TKvDIBInfo& Out) { kv::ConvertTrueColorHigh(Src, Out, nullptr, MaxDepth, B, M); });
      check(Got.Info().Header.biClrUsed == Want.Info().Header.biClrUsed);
      check(std::memcmp(Got.Info().Colors, Want.Info().Colors,
                        sizeof(kv::RGBQUAD) * Want.Info().Header.biClrUsed) == 0);
      check(bytes_of(Got.Info()) == bytes_of(Want.Info()));
    }
}

void halftones(const TKvDIBInfo& Src) {
  const TKvOwnedInfo Color = convert([&](TKvDIBInfo& Out) { kv::ConvertToHalfTone(Src, Out); });
  check(Color.Info().Header.biClrUsed == 215);
  check_indices(Color.Info(), 210);
  const TKvOwnedInfo Mono = convert([&](TKvDIBInfo& Out) { kv::ConvertToHalfToneBW(Src, Out); });
  check(Mono.Info().Header.biBitCount == 1 && Mono.Info().Header.biClrUsed == 2);
}

// The widened image shows the source's colours (24 bits) or keeps its indices.
void widen(const TKvDIBInfo& Src, void (*Convert)(const TKvDIBInfo&, TKvDIBInfo&)) {
  const TKvOwnedInfo Wide = convert([&](TKvDIBInfo& Out) { Convert(Src, Out); });
  const int Bits = Wide.Info().Header.biBitCount;
  for (int32_t Y = 0; Y < kv::RowCount(Src.Header.biHeight); ++Y)
    for (int32_t X = 0; X < Src.Header.biWidth; ++X) {
      const uint8_t I = index_at(Src, X, Y);
      if (Bits == 24) {
        const kv::TKvRGB C = kv::GetPixel24(kv::PictureRow(Wide.Info(), Y), X);
        check(C.Red == Src.Colors[I].rgbRed && C.Green == Src.Colors[I].rgbGreen &&
              C.Blue == Src.Colors[I].rgbBlue);
      } else {
        check(index_at(Wide.Info(), X, Y) == I);
      }
    }
}

// An RLE stream of ours decodes back to the pixels (the pad nibble of an odd 4-bit row is
// not a pixel).
void rle_round_trip(const TKvDIBInfo& Src) {
  const bool Four = Src.Header.biBitCount == 4;
  TKvOwnedInfo Packed;
  try {
    Packed = convert([&](TKvDIBInfo& Out) {
      Four ? kv::Convert4BitRGBTo4BitRLE(Src, Out) : kv::Convert8BitRGBTo8BitRLE(Src, Out);
    });
  } catch (const kv::EKvDIBCompressionFailed&) {
    return;  // not every picture fits its uncompressed size
  }
  const TKvOwnedInfo Again = convert([&](TKvDIBInfo& Out) {
    Four ? kv::Convert4BitRLETo4BitRGB(Packed.Info(), Out) : kv::Convert8BitRLETo8BitRGB(Packed.Info(), Out);
  });
  for (int32_t Y = 0; Y < kv::RowCount(Src.Header.biHeight); ++Y)
    for (int32_t X = 0; X < Src.Header.biWidth; ++X)
      check(index_at(Src, X, Y) == index_at(Again.Info(), X, Y));
}

void to_one_bit(const TKvDIBInfo& Src, kv::COLORREF Key) {
  const TKvOwnedInfo Mask = convert([&](TKvDIBInfo& Out) {
    switch (Src.Header.biBitCount) {
      case 24: kv::ConvertTrueColorTo1BitRGB(Src, Out, Key); break;
      case 8: kv::Convert8BitTo1BitRGB(Src, Out, Key); break;
      default: kv::Convert4BitRGBTo1BitRGB(Src, Out, Key); break;
    }
  });
  check(Mask.Info().Header.biBitCount == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < kHeaderBytes) return 0;
  const unsigned Route = Data[0] & 0x3F;
  const bool WithCube = (Data[0] & 0xC0) == 0xC0;
  const TKvOwnedInfo Source = make_source(Data, Size, WithCube);
  const TKvDIBInfo& Src = Source.Info();
  const std::vector<uint8_t> Before = bytes_of(Src);
  const kv::COLORREF Key = Size > kHeaderBytes + 2 ? kv::COLORREF{Data[Size - 1]} * 0x010101u : 0xFFFFFFu;

  switch (Src.Header.biBitCount) {
    case 24:
      switch (Route % 7) {
        case 0:
          check_reduction(
              convert([&](TKvDIBInfo& O) { kv::ConvertTrueColorTo8BitRGBLow(Src, O, nullptr); }).Info(), 8);
          break;
        case 1:
          check_reduction(
              convert([&](TKvDIBInfo& O) { kv::ConvertTrueColorTo4BitRGBLow(Src, O, nullptr); }).Info(), 4);
          break;
        case 2: fine_every_way(Src, 8, WithCube); break;
        case 3: fine_every_way(Src, 4, WithCube); break;
        case 4: halftones(Src); break;
        case 5: to_one_bit(Src, Key); break;
        default: {
          // A reduction widened again shows exactly the palette's colours.
          const TKvOwnedInfo Eight =
              convert([&](TKvDIBInfo& O) { kv::ConvertTrueColorTo8BitRGBLow(Src, O, nullptr); });
          widen(Eight.Info(), kv::Convert8BitRGBToTrueColor);
          rle_round_trip(Eight.Info());
          break;
        }
      }
      break;
    case 8:
      switch (Route % 5) {
        case 0:
          check_reduction(
              convert([&](TKvDIBInfo& O) { kv::Convert8BitRGBTo4BitRGB(Src, O, nullptr); }).Info(), 4);
          break;
        case 1: halftones(Src); break;
        case 2: rle_round_trip(Src); break;
        case 3: widen(Src, kv::Convert8BitRGBToTrueColor); break;
        default: to_one_bit(Src, Key); break;
      }
      break;
    case 4:
      switch (Route % 5) {
        case 0: rle_round_trip(Src); break;
        case 1: halftones(Src); break;
        case 2: widen(Src, kv::Convert4BitRGBTo8BitRGB); break;
        case 3: widen(Src, kv::Convert4BitRGBToTrueColor); break;
        default: to_one_bit(Src, Key); break;
      }
      break;
    default:
      switch (Route % 4) {
        case 0: halftones(Src); break;
        case 1: widen(Src, kv::Convert1BitRGBTo4BitRGB); break;
        case 2: widen(Src, kv::Convert1BitRGBTo8BitRGB); break;
        default: widen(Src, kv::Convert1BitRGBToTrueColor); break;
      }
      break;
  }
  check(bytes_of(Src) == Before);  // conversions never change their source
  return 0;
}
