// The engine works row by row: the source column of every destination column is computed
// once per call, then each destination row runs one small loop chosen once per call for
// the pair of formats. A 1:1 copy between equal formats is a memcpy per row, and a
// destination row that shows the same source row as the one above it (enlarging) is a copy
// of that row.
#include "platform/graphics/Stretch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "platform/graphics/ColorMatch.h"
#include "platform/graphics/RleExpand.h"

namespace kv::gdi_detail {

namespace {

// ---------------------------------------------------------------------------------------
// Axes

struct TAxisMap {
  int32_t First = 0;            // first destination pixel drawn
  std::vector<int32_t> Source;  // source pixel of each destination pixel from First on
};

bool valid_extent(int64_t Origin, int64_t Extent) {
  return Extent != 0 && Origin >= -kMaxCoordinate && Origin <= kMaxCoordinate && Extent >= -kMaxCoordinate &&
         Extent <= kMaxCoordinate;
}

// Maps the destination pixels [0, DestLimit) covered by (DO, DE) to source pixels of
// (SO, SE) that lie in [0, SrcLimit). False when no pixel is left.
bool map_axis(int64_t DO, int64_t DE, int64_t DestLimit, int64_t SO, int64_t SE, int64_t SrcLimit,
              TAxisMap& M) {
  if (!valid_extent(DO, DE) || !valid_extent(SO, SE)) return false;
  const int64_t AD = DE > 0 ? DE : -DE, AS = SE > 0 ? SE : -SE;
  const auto source_of = [&](int64_t P) {
    const int64_t K = DE > 0 ? P - DO : DO - 1 - P;
    const int64_t J = (2 * K + 1) * AS / (2 * AD);  // < 2^57: no overflow
    return SE > 0 ? SO + J : SO - 1 - J;
  };
  const auto inside = [&](int64_t P) {
    const int64_t S = source_of(P);
    return S >= 0 && S < SrcLimit;
  };
  int64_t Lo = std::max<int64_t>(DE > 0 ? DO : DO + DE, 0);
  int64_t Hi = std::min<int64_t>(DE > 0 ? DO + DE : DO, DestLimit);
  // source_of is monotonic, so the pixels with a source inside the image are one run.
  while (Lo < Hi && !inside(Lo)) ++Lo;
  while (Hi > Lo && !inside(Hi - 1)) --Hi;
  if (Lo >= Hi) return false;
  M.First = static_cast<int32_t>(Lo);
  M.Source.resize(static_cast<size_t>(Hi - Lo));
  for (int64_t P = Lo; P < Hi; ++P)
    M.Source[static_cast<size_t>(P - Lo)] = static_cast<int32_t>(source_of(P));
  return true;
}

// ---------------------------------------------------------------------------------------
// Pixel access

template <int Bits>
inline uint32_t read_index(const uint8_t* Row, int32_t X) {
  if constexpr (Bits == 8) return Row[X];
  if constexpr (Bits == 4) return (X & 1) ? Row[X >> 1] & 0x0Fu : uint32_t{Row[X >> 1]} >> 4;
  if constexpr (Bits == 1) return (Row[X >> 3] >> (7 - (X & 7))) & 1u;
  return 0;
}

// Writes a destination value: an index, a 16-bit value or blue-green-red(-0) bytes.
template <int Bits>
inline void write_value(uint8_t* Row, int32_t X, uint32_t V) {
  if constexpr (Bits == 1) {
    const auto Bit = static_cast<uint8_t>(0x80u >> (X & 7));
    Row[X >> 3] = static_cast<uint8_t>((V & 1) ? Row[X >> 3] | Bit : Row[X >> 3] & ~Bit);
  } else if constexpr (Bits == 4) {
    uint8_t& B = Row[X >> 1];
    B = (X & 1) ? static_cast<uint8_t>((B & 0xF0) | (V & 0x0F)) : static_cast<uint8_t>((B & 0x0F) | (V << 4));
  } else if constexpr (Bits == 8) {
    Row[X] = static_cast<uint8_t>(V);
  } else if constexpr (Bits == 16) {
    const auto W = static_cast<uint16_t>(V);
    std::memcpy(Row + 2 * X, &W, 2);
  } else if constexpr (Bits == 24) {
    uint8_t* P = Row + 3 * X;
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
    P[2] = static_cast<uint8_t>(V >> 16);
  } else {
    std::memcpy(Row + 4 * X, &V, 4);
  }
}

struct TRowJob {
  const int32_t* Cols = nullptr;  // per destination pixel: source pixel (indexed) or byte offset
  int32_t Count = 0;
  int32_t DstX = 0;
  const uint32_t* Lut = nullptr;          // indexed sources: destination value of each index
  TNearestColor* Matcher = nullptr;       // direct sources onto indexed destinations
  const TMaskField* Fields = nullptr;     // 16- and 32-bit sources
  const uint8_t (*Widen)[256] = nullptr;  // their fields widened to 8 bits
  bool Green6 = false;                    // 16-bit destination: 5-6-5
};

using TRowFn = void (*)(const TRowJob&, const uint8_t* Src, uint8_t* Dst);

template <int SrcBits, int DstBits>
void row_indexed(const TRowJob& J, const uint8_t* S, uint8_t* D) {
  for (int32_t I = 0; I < J.Count; ++I)
    write_value<DstBits>(D, J.DstX + I, J.Lut[read_index<SrcBits>(S, J.Cols[I])]);
}

// Direct sources: 16 and 32 bits through their mask fields, 24 bits as bytes.
template <int SrcBits>
inline void read_rgb(const TRowJob& J, const uint8_t* P, uint8_t& R, uint8_t& G, uint8_t& B) {
  if constexpr (SrcBits == 24) {
    B = P[0];
    G = P[1];
    R = P[2];
  } else {
    uint32_t V = 0;
    std::memcpy(&V, P, SrcBits / 8);
    const auto field = [&](int C) {
      const uint32_t F = V >> J.Fields[C].Shift;
      const uint32_t Bits = J.Fields[C].Bits;
      return Bits > 8 ? static_cast<uint8_t>(F >> (Bits - 8)) : J.Widen[C][F & ((1u << Bits) - 1)];
    };
    R = field(0);
    G = field(1);
    B = field(2);
  }
}

template <int SrcBits, int DstBits>
void row_direct(const TRowJob& J, const uint8_t* S, uint8_t* D) {
  for (int32_t I = 0; I < J.Count; ++I) {
    uint8_t R, G, B;
    read_rgb<SrcBits>(J, S + J.Cols[I], R, G, B);
    uint32_t V;
    if constexpr (DstBits <= 8) {
      V = J.Matcher->Nearest(R, G, B);
    } else if constexpr (DstBits == 16) {
      V = Pack16(R, G, B, J.Green6);
    } else {
      V = uint32_t{B} | uint32_t{G} << 8 | uint32_t{R} << 16;
    }
    write_value<DstBits>(D, J.DstX + I, V);
  }
}

// The common enlargement and reduction of true-colour images. Every pixel but the last is
// stored as four bytes, the fourth overwritten by the next pixel; a source pixel is read
// as its three bytes only, since any of them (mirroring) may be the last of the block.
void row_24_to_24(const TRowJob& J, const uint8_t* S, uint8_t* D) {
  uint8_t* P = D + 3 * static_cast<int64_t>(J.DstX);
  const int32_t Last = J.Count - 1;
  for (int32_t I = 0; I < Last; ++I, P += 3) {
    const uint8_t* Q = S + J.Cols[I];
    const uint32_t V = uint32_t{Q[0]} | uint32_t{Q[1]} << 8 | uint32_t{Q[2]} << 16;
    std::memcpy(P, &V, 4);
  }
  if (Last >= 0) std::memcpy(P, S + J.Cols[Last], 3);
}

// Palette images shown on true-colour surfaces: one table look-up per pixel.
// (Four bytes a pixel as in row_24_to_24.)
void row_8_to_24(const TRowJob& J, const uint8_t* S, uint8_t* D) {
  uint8_t* P = D + 3 * static_cast<int64_t>(J.DstX);
  const int32_t Last = J.Count - 1;
  for (int32_t I = 0; I < Last; ++I, P += 3) std::memcpy(P, &J.Lut[S[J.Cols[I]]], 4);
  if (Last >= 0) std::memcpy(P, &J.Lut[S[J.Cols[Last]]], 3);
}

template <int SrcBits>
TRowFn indexed_fn(int DstBits) {
  switch (DstBits) {
    case 1: return row_indexed<SrcBits, 1>;
    case 4: return row_indexed<SrcBits, 4>;
    case 8: return row_indexed<SrcBits, 8>;
    case 16: return row_indexed<SrcBits, 16>;
    case 24: return SrcBits == 8 ? row_8_to_24 : row_indexed<SrcBits, 24>;
    default: return row_indexed<SrcBits, 32>;
  }
}

template <int SrcBits>
TRowFn direct_fn(int DstBits) {
  switch (DstBits) {
    case 1: return row_direct<SrcBits, 1>;
    case 4: return row_direct<SrcBits, 4>;
    case 8: return row_direct<SrcBits, 8>;
    case 16: return row_direct<SrcBits, 16>;
    case 24: return SrcBits == 24 ? row_24_to_24 : row_direct<SrcBits, 24>;
    default: return row_direct<SrcBits, 32>;
  }
}

TRowFn row_fn(int SrcBits, int DstBits) {
  switch (SrcBits) {
    case 1: return indexed_fn<1>(DstBits);
    case 4: return indexed_fn<4>(DstBits);
    case 8: return indexed_fn<8>(DstBits);
    case 16: return direct_fn<16>(DstBits);
    case 24: return direct_fn<24>(DstBits);
    default: return direct_fn<32>(DstBits);
  }
}

uint32_t value_of_color(const TPixelSurface& Dst, const RGBQUAD& Q) {
  if (Dst.BitCount == 16) return Pack16(Q.rgbRed, Q.rgbGreen, Q.rgbBlue, Dst.Green6);
  return uint32_t{Q.rgbBlue} | uint32_t{Q.rgbGreen} << 8 | uint32_t{Q.rgbRed} << 16;
}

bool same_color(const RGBQUAD& A, const RGBQUAD& B) {
  return A.rgbRed == B.rgbRed && A.rgbGreen == B.rgbGreen && A.rgbBlue == B.rgbBlue;
}

// Destination value of each source index; indices beyond the source table show black.
void build_lut(const TDIBFormat& F, const TPixelSurface& Dst, std::array<uint32_t, 256>& Lut) {
  const size_t Entries = size_t{1} << F.BitCount;
  std::optional<TNearestColor> Matcher;
  if (Dst.Indexed()) Matcher.emplace(Dst.Colors);
  for (size_t I = 0; I < Entries; ++I) {
    const RGBQUAD C = I < F.Colors.size() ? F.Colors[I] : RGBQUAD{0, 0, 0, 0};
    if (!Dst.Indexed())
      Lut[I] = value_of_color(Dst, C);
    else if (I < Dst.Colors.size() && same_color(Dst.Colors[I], C))
      Lut[I] = static_cast<uint32_t>(I);
    else
      Lut[I] = Matcher->Nearest(C.rgbRed, C.rgbGreen, C.rgbBlue);
  }
}

// True when rows can be copied byte for byte: a 1:1 scale without mirroring, equal pixel
// layouts with no unused bits and, for indexed formats, indices that map to themselves.
bool copies_bytes(const TDIBFormat& F, const TPixelSurface& Dst, const std::array<uint32_t, 256>& Lut,
                  bool UnitScale) {
  if (!UnitScale || F.BitCount != Dst.BitCount || F.BitCount < 8) return false;
  if (F.BitCount == 8) {
    for (uint32_t I = 0; I < 256; ++I)
      if (Lut[I] != I) return false;
  } else if (F.BitCount == 16) {
    // 5-5-5 leaves the top bit unused, and a drawn pixel has it 0, so only 5-6-5 copies.
    if (!F.Green6() || !Dst.Green6 || F.Masks[0] != 0xF800 || F.Masks[2] != 0x001F) return false;
  } else if (F.BitCount == 32) {
    return false;  // the fourth byte of a drawn pixel is 0, whatever the source holds there
  }
  return true;
}

}  // namespace

bool SourceFromDIB(const BITMAPINFO* Info, const void* Bits, uint32_t Usage,
                   const std::vector<PALETTEENTRY>& DCPalette, TStretchSource& Src) {
  if (Bits == nullptr || !ParseDIBFormat(Info, Usage, DCPalette, Src.Format)) return false;
  TDIBFormat& F = Src.Format;
  if (!F.Compressed()) {
    Src.Bits = static_cast<const uint8_t*>(Bits);
    return true;
  }
  // The RLE data is only as long as biSizeImage says.
  const uint64_t Pixels = static_cast<uint64_t>(F.Width) * static_cast<uint64_t>(F.Height);
  if (F.SizeImage == 0 || Pixels > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;
  try {
    Src.Owned.assign(static_cast<size_t>(Pixels), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ExpandRle(static_cast<const uint8_t*>(Bits), F.SizeImage, F.Compression == kBiRLE4, F.Width, F.Height,
            Src.Owned.data());
  F.BitCount = 8;
  F.Compression = kBiRGB;
  F.Stride = F.Width;
  Src.Bits = Src.Owned.data();
  return true;
}

bool SourceFromSurface(const TPixelSurface& S, bool Snapshot, TStretchSource& Src) {
  if (S.Bits == nullptr) return false;
  TDIBFormat& F = Src.Format;
  F = TDIBFormat{};
  F.Width = S.Width;
  F.Height = S.Height;
  F.TopDown = S.TopDown;
  F.BitCount = S.BitCount;
  F.Stride = S.Stride;
  F.Colors = S.Colors;
  if (S.BitCount == 16 || S.BitCount == 32) {
    F.Compression = kBiBitFields;
    const bool Sixteen = S.BitCount == 16;
    F.Masks[0] = Sixteen ? (S.Green6 ? 0xF800 : 0x7C00) : 0x00FF0000;
    F.Masks[1] = Sixteen ? (S.Green6 ? 0x07E0 : 0x03E0) : 0x0000FF00;
    F.Masks[2] = Sixteen ? 0x001F : 0x000000FF;
    const uint32_t Shifts[2][3] = {{10, 5, 0}, {11, 5, 0}};
    if (Sixteen) {
      for (int C = 0; C < 3; ++C) F.Fields[C] = TMaskField{Shifts[S.Green6][C], C == 1 && S.Green6 ? 6u : 5u};
    } else {
      for (int C = 0; C < 3; ++C) F.Fields[C] = TMaskField{16u - 8u * C, 8};
    }
  }
  if (!Snapshot) {
    Src.Bits = S.Bits;
    return true;
  }
  try {
    Src.Owned.assign(S.Bits, S.Bits + S.Bytes());
  } catch (const std::bad_alloc&) {
    return false;
  }
  Src.Bits = Src.Owned.data();
  return true;
}

int32_t StretchToSurface(TPixelSurface& Dst, int32_t XDest, int32_t YDest, int32_t DestWidth,
                         int32_t DestHeight, const TStretchSource& Src, int32_t XSrc, int32_t YSrc,
                         int32_t SrcWidth, int32_t SrcHeight) {
  const TDIBFormat& F = Src.Format;
  if (Dst.Bits == nullptr || Src.Bits == nullptr || F.Compressed()) return 0;
  // The source rectangle in rows counted from the top: a bottom-up DIB's origin is its
  // bottom-left corner and its rectangle extends upwards.
  const int64_t SrcTop = F.TopDown ? YSrc : int64_t{F.Height} - YSrc - SrcHeight;
  TAxisMap Cols, Rows;
  if (!map_axis(XDest, DestWidth, Dst.Width, XSrc, SrcWidth, F.Width, Cols) ||
      !map_axis(YDest, DestHeight, Dst.Height, SrcTop, SrcHeight, F.Height, Rows))
    return 0;

  TRowJob Job;
  std::array<uint32_t, 256> Lut{};
  std::optional<TNearestColor> Matcher;
  uint8_t Widen[3][256] = {};
  if (F.BitCount <= 8) {
    build_lut(F, Dst, Lut);
    Job.Lut = Lut.data();
  } else {
    const int32_t Bytes = F.BitCount / 8;
    for (int32_t& C : Cols.Source) C *= Bytes;  // byte offsets within the row
    if (Dst.Indexed()) Matcher.emplace(Dst.Colors);
    Job.Matcher = Matcher ? &*Matcher : nullptr;
    for (int C = 0; C < 3; ++C) {
      const uint32_t Bits = F.Fields[C].Bits;
      if (Bits == 0 || Bits > 8) continue;
      for (uint32_t V = 0; V < (1u << Bits); ++V) {
        uint32_t W = V << (8 - Bits);
        for (uint32_t Filled = Bits; Filled < 8; Filled += Bits) W |= W >> Bits;
        Widen[C][V] = static_cast<uint8_t>(W);
      }
    }
    Job.Fields = F.Fields;
    Job.Widen = Widen;
  }
  Job.Cols = Cols.Source.data();
  Job.Count = static_cast<int32_t>(Cols.Source.size());
  Job.DstX = Cols.First;
  Job.Green6 = Dst.Green6;

  // Equal extents of one sign step through the source one pixel per pixel.
  const bool Bytewise = copies_bytes(F, Dst, Lut, SrcWidth == DestWidth);
  const TRowFn Fn = row_fn(F.BitCount, Dst.BitCount);
  const int32_t PixelBytes = Dst.BitCount / 8;
  const size_t SpanBytes = static_cast<size_t>(Job.Count) * static_cast<size_t>(PixelBytes);
  const int64_t SpanStart = static_cast<int64_t>(Job.DstX) * PixelBytes;
  const uint8_t* Previous = nullptr;
  int32_t PreviousSource = -1;
  for (size_t I = 0; I < Rows.Source.size(); ++I) {
    const int32_t SourceRow = Rows.Source[I];
    uint8_t* D = Dst.Row(Rows.First + static_cast<int32_t>(I));
    if (SourceRow == PreviousSource && PixelBytes > 0) {
      std::memcpy(D + SpanStart, Previous + SpanStart, SpanBytes);
    } else if (Bytewise) {
      std::memcpy(D + SpanStart, Src.Row(SourceRow) + Cols.Source.front(), SpanBytes);
    } else {
      Fn(Job, Src.Row(SourceRow), D);
    }
    Previous = D;
    PreviousSource = SourceRow;
  }
  return static_cast<int32_t>(Rows.Source.size());
}

}  // namespace kv::gdi_detail
