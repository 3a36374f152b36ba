#include "platform/graphics/Surface.h"

#include <cstring>
#include <limits>
#include <new>

#include "platform/graphics/ColorMatch.h"

namespace kv::gdi_detail {

namespace {

constexpr RGBQUAD quad(uint8_t R, uint8_t G, uint8_t B) { return RGBQUAD{B, G, R, 0}; }

// The sixteen standard colours in the order of a 4-bit DIB's default table.
constexpr RGBQUAD kStandard16[16] = {
    quad(0, 0, 0),       quad(128, 0, 0),   quad(0, 128, 0),   quad(128, 128, 0),
    quad(0, 0, 128),     quad(128, 0, 128), quad(0, 128, 128), quad(192, 192, 192),
    quad(128, 128, 128), quad(255, 0, 0),   quad(0, 255, 0),   quad(255, 255, 0),
    quad(0, 0, 255),     quad(255, 0, 255), quad(0, 255, 255), quad(255, 255, 255)};

// A field of Bits bits widened to 8 by repeating its top bits below it.
uint8_t widen(uint32_t Field, int Bits) {
  uint32_t V = Field << (8 - Bits);
  for (int Filled = Bits; Filled < 8; Filled += Bits) V |= V >> Bits;
  return static_cast<uint8_t>(V);
}

}  // namespace

int32_t SurfaceStride(int32_t Width, int32_t BitCount) {
  if (Width <= 0 || BitCount <= 0) return 0;
  const int64_t Stride = (static_cast<int64_t>(Width) * BitCount + 31) / 32 * 4;
  return Stride > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int32_t>(Stride);
}

bool ShapeSurface(TPixelSurface& S, int32_t Width, int32_t Height, uint16_t BitCount, bool Green6,
                  bool TopDown, std::vector<RGBQUAD> Colors) {
  const bool KnownDepth =
      BitCount == 1 || BitCount == 4 || BitCount == 8 || BitCount == 16 || BitCount == 24 || BitCount == 32;
  const int32_t Stride = KnownDepth ? SurfaceStride(Width, BitCount) : 0;
  // Every byte of a surface must be addressable by a signed 32-bit offset.
  if (Stride == 0 || Height <= 0 ||
      static_cast<int64_t>(Stride) * Height > std::numeric_limits<int32_t>::max())
    return false;
  S.Width = Width;
  S.Height = Height;
  S.BitCount = BitCount;
  S.Green6 = BitCount == 16 && Green6;
  S.TopDown = TopDown;
  S.Stride = Stride;
  if (BitCount <= 8) {
    const size_t Limit = size_t{1} << BitCount;
    if (Colors.empty()) Colors = DefaultColorTable(BitCount);
    if (Colors.size() > Limit) Colors.resize(Limit);
    S.Colors = std::move(Colors);
  } else {
    S.Colors.clear();
  }
  return true;
}

bool TPixelSurface::AllocateOwned() {
  try {
    m_Owned.assign(static_cast<size_t>(Bytes()), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Bits = m_Owned.data();
  return true;
}

void TPixelSurface::AdoptView(TFileMapView& View, int64_t Offset) {
  CloseFileMapView(m_View);
  m_View = View;
  View = TFileMapView{};
  Bits = m_View.Bits + Offset;
}

std::vector<RGBQUAD> DefaultColorTable(uint16_t BitCount) {
  std::vector<RGBQUAD> T;
  if (BitCount == 1) {
    T = {quad(0, 0, 0), quad(255, 255, 255)};
  } else if (BitCount == 4) {
    T.assign(std::begin(kStandard16), std::end(kStandard16));
  } else if (BitCount == 8) {
    T.assign(std::begin(kStandard16), std::end(kStandard16));
    for (int R = 0; R < 6; ++R)
      for (int G = 0; G < 6; ++G)
        for (int B = 0; B < 6; ++B)
          T.push_back(
              quad(static_cast<uint8_t>(51 * R), static_cast<uint8_t>(51 * G), static_cast<uint8_t>(51 * B)));
    for (int I = 0; I < 24; ++I) {
      const auto V = static_cast<uint8_t>(8 + 10 * I);
      T.push_back(quad(V, V, V));
    }
  }
  return T;
}

uint32_t GetPixelValue(const uint8_t* Row, int32_t X, uint16_t BitCount) {
  switch (BitCount) {
    case 1: return (Row[X >> 3] >> (7 - (X & 7))) & 1u;
    case 4: return (X & 1) ? Row[X >> 1] & 0x0Fu : Row[X >> 1] >> 4;
    case 8: return Row[X];
    case 16: {
      uint16_t V;
      std::memcpy(&V, Row + 2 * static_cast<int64_t>(X), 2);
      return V;
    }
    case 24: {
      const uint8_t* P = Row + 3 * static_cast<int64_t>(X);
      return uint32_t{P[0]} | uint32_t{P[1]} << 8 | uint32_t{P[2]} << 16;
    }
    default: {
      uint32_t V;
      std::memcpy(&V, Row + 4 * static_cast<int64_t>(X), 4);
      return V;
    }
  }
}

void PutPixelValue(uint8_t* Row, int32_t X, uint16_t BitCount, uint32_t Value) {
  switch (BitCount) {
    case 1: {
      const auto Bit = static_cast<uint8_t>(0x80u >> (X & 7));
      Row[X >> 3] = static_cast<uint8_t>((Value & 1) ? Row[X >> 3] | Bit : Row[X >> 3] & ~Bit);
      break;
    }
    case 4: {
      uint8_t& B = Row[X >> 1];
      B = (X & 1) ? static_cast<uint8_t>((B & 0xF0) | (Value & 0x0F))
                  : static_cast<uint8_t>((B & 0x0F) | (Value << 4));
      break;
    }
    case 8: Row[X] = static_cast<uint8_t>(Value); break;
    case 16: {
      const auto V = static_cast<uint16_t>(Value);
      std::memcpy(Row + 2 * static_cast<int64_t>(X), &V, 2);
      break;
    }
    case 24: {
      uint8_t* P = Row + 3 * static_cast<int64_t>(X);
      P[0] = static_cast<uint8_t>(Value);
      P[1] = static_cast<uint8_t>(Value >> 8);
      P[2] = static_cast<uint8_t>(Value >> 16);
      break;
    }
    default: std::memcpy(Row + 4 * static_cast<int64_t>(X), &Value, 4); break;
  }
}

void FillPixelValues(uint8_t* Row, int32_t X0, int32_t X1, uint16_t BitCount, uint32_t Value) {
  if (X0 >= X1) return;
  if (BitCount == 8) {
    std::memset(Row + X0, static_cast<int>(Value & 0xFF), static_cast<size_t>(X1 - X0));
    return;
  }
  if (BitCount == 24) {
    uint8_t* P = Row + 3 * static_cast<int64_t>(X0);
    for (int32_t X = X0; X < X1; ++X, P += 3) {
      P[0] = static_cast<uint8_t>(Value);
      P[1] = static_cast<uint8_t>(Value >> 8);
      P[2] = static_cast<uint8_t>(Value >> 16);
    }
    return;
  }
  for (int32_t X = X0; X < X1; ++X) PutPixelValue(Row, X, BitCount, Value);
}

COLORREF Color16(uint32_t Value, bool Green6) {
  const uint8_t B = widen(Value & 0x1F, 5);
  if (Green6) return MakeRGB(widen((Value >> 11) & 0x1F, 5), widen((Value >> 5) & 0x3F, 6), B);
  return MakeRGB(widen((Value >> 10) & 0x1F, 5), widen((Value >> 5) & 0x1F, 5), B);
}

uint32_t Pack16(uint8_t R, uint8_t G, uint8_t B, bool Green6) {
  const uint32_t R5 = R >> 3u, B5 = B >> 3u;
  if (Green6) return R5 << 11 | (uint32_t{G} >> 2) << 5 | B5;
  return R5 << 10 | (uint32_t{G} >> 3) << 5 | B5;
}

uint32_t SurfaceValueOf(const TPixelSurface& S, COLORREF Color) {
  const auto R = static_cast<uint8_t>(Color), G = static_cast<uint8_t>(Color >> 8),
             B = static_cast<uint8_t>(Color >> 16);
  switch (S.BitCount) {
    case 16: return Pack16(R, G, B, S.Green6);
    case 24:
    case 32: return uint32_t{B} | uint32_t{G} << 8 | uint32_t{R} << 16;
    default: return NearestEntry(S.Colors.data(), S.Colors.size(), R, G, B);
  }
}

COLORREF SurfaceColorOf(const TPixelSurface& S, uint32_t Value) {
  switch (S.BitCount) {
    case 16: return Color16(Value, S.Green6);
    case 24:
    case 32:
      return MakeRGB(static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 8),
                     static_cast<uint8_t>(Value));
    default:
      if (Value >= S.Colors.size()) return MakeRGB(0, 0, 0);  // an index beyond the table shows black
      return MakeRGB(S.Colors[Value].rgbRed, S.Colors[Value].rgbGreen, S.Colors[Value].rgbBlue);
  }
}

}  // namespace kv::gdi_detail
