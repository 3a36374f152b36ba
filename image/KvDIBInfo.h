// The DIB descriptor every conversion reads and writes, the pixel-format enumeration, and
// the small helpers around them: default colour counts, bit-field mask shifts, the
// old-style header rewrite, the filling of a conversion's destination and the owner of a
// descriptor's pixel block. Strides and sizes are in KvGeometry.h.
//
// Conversion routines share one shape, (const TKvDIBInfo& Src, TKvDIBInfo& Dst[, extra]):
// they never change Src, and on success Dst is a copy of Src with a pixel block of its own
// and its own bit count, compression, image size, colour count and colour table. On
// failure they release what they obtained and raise; Dst is then ignored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/core/Exceptions.h"
#include "platform/core/WinTypes.h"
#include "platform/memory/FileMap.h"

namespace kv {

enum TKvPixelFormat : uint8_t {
  kvPf1Bit = 0,
  kvPf4Bit = 1,
  kvPf4BitRLE = 2,
  kvPf8Bit = 3,
  kvPf8BitRLE = 4,
  kvPf24Bit = 5,
  kvPfHalfTone = 6,    // conversion target only
  kvPfHalfToneBW = 7,  // conversion target only
};

// Colour-table entries in a descriptor: 256 proper entries plus room for the three
// bit-field masks that the loaders read in front of a full table.
constexpr int kDIBColorSlots = 260;

struct TKvDIBInfo {
  int32_t BitsSize = 0;
  TMapHandle MapHandle = kNoMapHandle;
  uint8_t* Bits = nullptr;
  BITMAPINFOHEADER Header{};
  RGBQUAD Colors[kDIBColorSlots]{};

  // Header followed by Colors is a platform BITMAPINFO.
  const void* BitmapInfo() const { return &Header; }
};
static_assert(offsetof(TKvDIBInfo, Colors) - offsetof(TKvDIBInfo, Header) == sizeof(BITMAPINFOHEADER),
              "Header and Colors must be contiguous");

// Called once per step of a colour reduction.
using TKvProgressProc = std::function<void()>;

// 1 -> 2, 4 -> 16, 8 -> 256, anything else -> 0.
int32_t DefaultColorCount(int32_t BitCount);

// Number of single-bit shifts that bring a non-zero mask into 128..255 (positive: right).
int32_t MaskShift(uint32_t Value);

// Rewrites a descriptor whose Header area holds a 12-byte core header followed by
// three-byte colour entries into the normal 40-byte form.
void ConvertCoreInfo(TKvDIBInfo& Info);

// Gives the block to Dst: BitsSize, MapHandle and Bits. From here on Dst's owner releases it.
inline void HandOver(TFileMapBlock& Block, TKvDIBInfo& Dst) {
  Dst.BitsSize = Block.Size();
  Dst.MapHandle = Block.Handle();
  Dst.Bits = Block.Bits();
  Block.Detach();
}

// Info's header and colour table without its pixel block. A descriptor that holds a block
// is copied only through here (or moved through TKvOwnedInfo), so that no block is ever
// held by two descriptors.
inline TKvDIBInfo WithoutBlock(const TKvDIBInfo& Info) {
  TKvDIBInfo D = Info;
  D.BitsSize = 0;
  D.MapHandle = kNoMapHandle;
  D.Bits = nullptr;
  return D;
}

// Takes the block out of Info into an owner; Info is left without one.
inline TFileMapBlock TakeBlock(TKvDIBInfo& Info) {
  TFileMapBlock Block = TFileMapBlock::Adopt(Info.BitsSize, Info.MapHandle, Info.Bits);
  Info.BitsSize = 0;
  Info.MapHandle = kNoMapHandle;
  Info.Bits = nullptr;
  return Block;
}

// The last step of every conversion routine: Dst becomes a copy of Src (width, height with
// its sign, planes and resolution carry over) with the new pixel block and format fields,
// and, when a colour table is given, biClrUsed = its size and those entries (the entries
// beyond keep what Src held). The block is handed over last, after everything that could
// fail.
inline void FillDestination(const TKvDIBInfo& Src, TKvDIBInfo& Dst, TFileMapBlock& Block, uint16_t BitCount,
                            uint32_t Compression, uint32_t SizeImage, std::span<const RGBQUAD> Colors) {
  Dst = WithoutBlock(Src);
  Dst.Header.biBitCount = BitCount;
  Dst.Header.biCompression = Compression;
  Dst.Header.biSizeImage = SizeImage;
  Dst.Header.biClrUsed = static_cast<uint32_t>(Colors.size());
  std::copy(Colors.begin(), Colors.end(), Dst.Colors);
  HandOver(Block, Dst);
}
// The same keeping Src's colour table and colour count.
inline void FillDestination(const TKvDIBInfo& Src, TKvDIBInfo& Dst, TFileMapBlock& Block, uint16_t BitCount,
                            uint32_t Compression, uint32_t SizeImage) {
  Dst = WithoutBlock(Src);
  Dst.Header.biBitCount = BitCount;
  Dst.Header.biCompression = Compression;
  Dst.Header.biSizeImage = SizeImage;
  HandOver(Block, Dst);
}

// A descriptor together with the ownership of its pixel block. The block moves with the
// owner and is released when the owner goes, unless the descriptor has been handed over
// with Release(). Descriptors that hold a block change hands only through Adopt and
// Release (or a move of the owner): a plain struct copy never transfers a block.
class TKvOwnedInfo {
 public:
  TKvOwnedInfo() = default;
  // Takes over Info's block; whoever held Info gives it up.
  [[nodiscard]] static TKvOwnedInfo Adopt(const TKvDIBInfo& Info) {
    TKvOwnedInfo O;
    O.m_Info = Info;
    return O;
  }
  ~TKvOwnedInfo() { Reset(); }
  TKvOwnedInfo(TKvOwnedInfo&& Other) noexcept : m_Info(Other.m_Info) { Other.Forget(); }
  TKvOwnedInfo& operator=(TKvOwnedInfo&& Other) noexcept {
    if (this != &Other) {
      Reset();
      m_Info = Other.m_Info;
      Other.Forget();
    }
    return *this;
  }
  TKvOwnedInfo(const TKvOwnedInfo&) = delete;
  TKvOwnedInfo& operator=(const TKvOwnedInfo&) = delete;

  TKvDIBInfo& Info() { return m_Info; }
  const TKvDIBInfo& Info() const { return m_Info; }
  // Gives the descriptor, block included, to the caller, which now releases the block.
  [[nodiscard]] TKvDIBInfo Release() {
    const TKvDIBInfo Out = m_Info;
    Forget();
    return Out;
  }
  // Releases the block now, if there is one; the header and colour table stay.
  void Reset() noexcept { TakeBlock(m_Info).Reset(); }

 private:
  void Forget() { m_Info = WithoutBlock(m_Info); }
  TKvDIBInfo m_Info{};
};

}  // namespace kv
