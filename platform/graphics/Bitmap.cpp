#include "platform/graphics/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/core/Exceptions.h"
#include "platform/graphics/DIBFormat.h"
#include "platform/graphics/GdiBitmap.h"
#include "platform/graphics/GdiTable.h"
#include "platform/graphics/Screen.h"
#include "platform/graphics/StretchDIBits.h"
#include "platform/streams/Stream.h"

namespace kv {

namespace {

constexpr const char* kInvalidBitmap = "Bitmap image is not valid";
constexpr uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};

uint16_t depth_of(TPixelFormat F) {
  switch (F) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    case pfDevice: break;
  }
  BITMAP Screen{};
  GetObjectA(GetScreenBitmap(), sizeof(Screen), &Screen);
  return Screen.bmBitsPixel;
}

// A BITMAPINFO with room for 256 colours or three masks.
struct TInfo {
  uint32_t Words[10 + 256] = {};
  BITMAPINFO* get() { return reinterpret_cast<BITMAPINFO*>(Words); }
  BITMAPINFOHEADER& Header() { return get()->bmiHeader; }
  uint8_t* Table() { return reinterpret_cast<uint8_t*>(Words) + sizeof(BITMAPINFOHEADER); }
};

// Describes a bottom-up DIB of the bitmap's layout.
void describe(TInfo& I, int32_t Width, int32_t Height, uint16_t Depth, bool Green6,
              const std::vector<RGBQUAD>& Colors) {
  BITMAPINFOHEADER& H = I.Header();
  H = BITMAPINFOHEADER{};
  H.biSize = sizeof(BITMAPINFOHEADER);
  H.biWidth = Width;
  H.biHeight = Height;
  H.biPlanes = 1;
  H.biBitCount = Depth;
  H.biCompression = Green6 ? kBiBitFields : kBiRGB;
  if (Green6) std::memcpy(I.Table(), kMasks565, sizeof(kMasks565));
  if (Depth <= 8) {
    H.biClrUsed = static_cast<uint32_t>(Colors.size());
    if (!Colors.empty()) std::memcpy(I.Table(), Colors.data(), Colors.size() * sizeof(RGBQUAD));
  }
}

std::vector<RGBQUAD> palette_table(HPALETTE Palette, size_t Limit) {
  std::vector<PALETTEENTRY> E(Limit);
  E.resize(GetPaletteEntries(Palette, 0, static_cast<uint32_t>(Limit), E.data()));
  std::vector<RGBQUAD> T;
  for (const PALETTEENTRY& P : E) T.push_back(RGBQUAD{P.peBlue, P.peGreen, P.peRed, 0});
  return T;
}

// The pixel format that holds a DIB of this depth and these masks without loss.
TPixelFormat format_for(uint16_t BitCount, uint32_t Compression, const uint32_t* Masks) {
  switch (BitCount) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16:
      if (Compression != kBiBitFields) return pf15bit;
      if (Masks[0] == 0xF800 && Masks[1] == 0x07E0 && Masks[2] == 0x001F) return pf16bit;
      return Masks[0] == 0x7C00 && Masks[1] == 0x03E0 && Masks[2] == 0x001F ? pf15bit : pf24bit;
    case 32: return pf32bit;
    default: return pf24bit;
  }
}

// Selects Bitmap into a new memory context for reading; the selection is undone after.
class TSelected {
 public:
  explicit TSelected(HBITMAP Bitmap) : m_Dc(CreateCompatibleDC(nullptr)) {
    if (m_Dc) m_Old = SelectObject(m_Dc.get(), Bitmap);
  }
  ~TSelected() {
    if (m_Old != nullptr) SelectObject(m_Dc.get(), m_Old);
  }
  TSelected(const TSelected&) = delete;
  TSelected& operator=(const TSelected&) = delete;
  HDC get() const { return m_Old != nullptr ? m_Dc.get() : nullptr; }

 private:
  TMemoryDC m_Dc;
  HGDIOBJ m_Old = nullptr;
};

}  // namespace

TBitmap::~TBitmap() = default;

uint16_t TBitmap::BitCount() const { return m_Bitmap.IsEmpty() ? depth_of(m_PixelFormat) : m_Depth; }

HDC TBitmap::dc() const {
  if (!m_Dc) {
    m_Dc.reset(CreateCompatibleDC(nullptr));
    if (!m_Dc) throw EOutOfResources("Out of system resources");
    m_DcDefaultBitmap = GetCurrentObject(m_Dc.get(), kObjBitmap);
    if (m_Bitmap) SelectObject(m_Dc.get(), m_Bitmap.get());
  }
  return m_Dc.get();
}

TCanvas& TBitmap::Canvas() {
  m_Canvas.SetHandle(dc());
  return m_Canvas;
}

std::vector<RGBQUAD> TBitmap::color_table(uint16_t Depth) const {
  if (Depth > 8) return {};
  std::vector<RGBQUAD> T;
  if (m_Palette) T = palette_table(m_Palette.get(), size_t{1} << Depth);
  return T.empty() ? gdi_detail::DefaultColorTable(Depth) : T;
}

void TBitmap::rebuild(int32_t Width, int32_t Height, TPixelFormat Format, const std::vector<RGBQUAD>& Colors,
                      TPixels Pixels, HDC Source) {
  if (Width < 0 || Height < 0) throw EInvalidGraphic("Invalid bitmap size");
  const uint16_t Depth = depth_of(Format);
  TGdiObjectOwner<HBITMAP> New;
  void* Bits = nullptr;
  if (Width > 0 && Height > 0) {
    TInfo Info;
    describe(Info, Width, Height, Depth, Format == pf16bit, Colors.empty() ? color_table(Depth) : Colors);
    New.reset(CreateDIBSection(nullptr, Info.get(), kDibRgbColors, &Bits, kNoMapHandle, 0));
    if (!New) throw EOutOfResources("Out of system resources");
    if (Pixels == TPixels::Keep && m_Bitmap) Source = dc();
    if (Pixels != TPixels::None && Source != nullptr) {
      TSelected Target(New.get());
      BITMAP From{};
      GetObjectA(GetCurrentObject(Source, kObjBitmap), sizeof(From), &From);
      BitBlt(Target.get(), 0, 0, std::min(Width, From.bmWidth), std::min(Height, From.bmHeight), Source, 0, 0,
             kSrcCopy);
    }
  }
  SelectObject(dc(), New ? static_cast<HGDIOBJ>(New.get()) : m_DcDefaultBitmap);
  m_Bitmap = std::move(New);  // the old pixels are no longer selected: deleted
  // An empty bitmap keeps the size it was given, so that setting the height and then the
  // width of a new bitmap gives it both.
  m_Width = Width;
  m_Height = Height;
  m_PixelFormat = Format;
  m_Depth = Depth;
  m_Bits = static_cast<uint8_t*>(Bits);
  m_Stride = gdi_detail::SurfaceStride(Width, Depth);
  NotifyChange(this);
}

void TBitmap::SetSize(int32_t Width, int32_t Height) {
  if (Width != m_Width || Height != m_Height) rebuild(Width, Height, m_PixelFormat, {}, TPixels::Keep);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value != m_PixelFormat) rebuild(m_Width, m_Height, Value, {}, TPixels::Keep);
}

uint8_t* TBitmap::ScanLine(int32_t Y) {
  if (!m_Bitmap || Y < 0 || Y >= m_Height) throw EInvalidGraphic("Scan line index out of range");
  return m_Bits + static_cast<int64_t>(m_Stride) * (m_Height - 1 - Y);
}

void TBitmap::install_table(const std::vector<RGBQUAD>& Colors) {
  using namespace gdi_detail;
  TSpinGuard Lock(GdiMutex());
  if (const auto Bmp = Find<TBitmapObject>(m_Bitmap.get())) Bmp->Surface->Colors = Colors;
}

HPALETTE TBitmap::GetPalette() const {
  if (!m_Palette && m_Bitmap && m_Depth <= 8) {
    RGBQUAD Table[256];
    const uint32_t N = GetDIBColorTable(dc(), 0, 256, Table);
    TLogPalette Log(static_cast<uint16_t>(N));
    for (uint16_t I = 0; I < N; ++I)
      Log.Entry(I) = PALETTEENTRY{Table[I].rgbRed, Table[I].rgbGreen, Table[I].rgbBlue, 0};
    m_Palette.reset(CreatePalette(Log.get()));
  }
  return m_Palette.get();
}

void TBitmap::SetPalette(HPALETTE Value) {
  m_Palette.reset(Value);
  if (Value != nullptr && m_Bitmap && m_Depth <= 8) {
    const std::vector<RGBQUAD> Table = palette_table(Value, size_t{1} << m_Depth);
    if (!Table.empty()) install_table(Table);
  }
  SetPaletteDirty(true);
  NotifyChange(this);
}

void TBitmap::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    m_Palette.reset();
    rebuild(0, 0, m_PixelFormat, {}, TPixels::None);
    return;
  }
  const auto* Other = dynamic_cast<const TBitmap*>(Source);
  if (Other == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  if (Other == this) return;
  m_Palette.reset(Other->m_Palette ? CopyPalette(Other->m_Palette.get()) : nullptr);
  std::vector<RGBQUAD> Table;
  if (Other->m_Bitmap && Other->m_Depth <= 8) {
    Table.resize(256);
    Table.resize(GetDIBColorTable(Other->dc(), 0, 256, Table.data()));
  }
  // The pixel format of the copy: the depth the other's pixels really have.
  rebuild(Other->m_Width, Other->m_Height, Other->m_PixelFormat, Table, TPixels::From,
          Other->m_Bitmap ? Other->dc() : nullptr);
  SetPaletteDirty(true);
}

void TBitmap::PaintTo(TCanvas& Canvas, const TRect& Rect) {
  if (!m_Bitmap) return;
  const HDC Target = Canvas.Handle();
  const HPALETTE Palette = GetPalette();
  HPALETTE Previous = nullptr;
  if (Palette != nullptr) {
    Previous = SelectPalette(Target, Palette, true);
    RealizePalette(Target);
  }
  StretchBlt(Target, Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top, dc(), 0, 0, m_Width,
             m_Height, Canvas.CopyMode);
  if (Previous != nullptr) SelectPalette(Target, Previous, true);
}

void TBitmap::LoadFromStream(TStream& Stream) {
  const int64_t Start = Stream.Position();
  BITMAPFILEHEADER File{};
  BITMAPINFOHEADER Header{};
  if (Stream.Read(&File, sizeof(File)) != sizeof(File) || File.bfType != kBitmapFileType ||
      Stream.Read(&Header, sizeof(Header)) != sizeof(Header))
    throw EInvalidGraphic(kInvalidBitmap);
  // The header, its masks and its colour table, as one BITMAPINFO.
  const uint32_t HeaderSize = Header.biSize;
  if (HeaderSize != 40 && HeaderSize != 108 && HeaderSize != 124) throw EInvalidGraphic(kInvalidBitmap);
  const int64_t PixelsAt = Start + File.bfOffBits;
  const int64_t InfoBytes = PixelsAt - (Start + static_cast<int64_t>(sizeof(File)));
  const int64_t Masks = Header.biCompression == kBiBitFields && HeaderSize == 40 ? 12 : 0;
  const uint32_t Entries = Header.biClrUsed != 0 ? Header.biClrUsed : 1u << (Header.biBitCount & 15);
  const int64_t TableBytes = Header.biBitCount <= 8 ? 4 * int64_t{std::min(Entries, 256u)} : 0;
  if (InfoBytes < HeaderSize || PixelsAt > Stream.Size()) throw EInvalidGraphic(kInvalidBitmap);
  std::vector<uint32_t> InfoWords(static_cast<size_t>((HeaderSize + Masks + 4 * 256) / 4), 0);
  auto* Info = reinterpret_cast<BITMAPINFO*>(InfoWords.data());
  std::memcpy(Info, &Header, sizeof(Header));
  const int64_t Rest = std::min<int64_t>(InfoBytes, HeaderSize + Masks + TableBytes) - sizeof(Header);
  if (Rest > 0) Stream.ReadBuffer(reinterpret_cast<uint8_t*>(InfoWords.data()) + sizeof(Header), Rest);

  gdi_detail::TDIBFormat F;
  if (!gdi_detail::ParseDIBFormat(Info, kDibRgbColors, {}, F)) throw EInvalidGraphic(kInvalidBitmap);
  // The pixel data: the compressed stream up to the end of the stream, or the rows.
  Stream.SetPosition(PixelsAt);
  const int64_t Available = Stream.Size() - PixelsAt;
  const int64_t Needed = F.Compressed() ? std::min<int64_t>(Available, F.SizeImage ? F.SizeImage : Available)
                                        : static_cast<int64_t>(F.Stride) * F.Height;
  if (Needed <= 0 || Needed > Available || Needed > std::numeric_limits<int32_t>::max())
    throw EInvalidGraphic(kInvalidBitmap);
  std::vector<uint8_t> Pixels;
  try {
    Pixels.resize(static_cast<size_t>(Needed));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
  Stream.ReadBuffer(Pixels.data(), Needed);
  if (F.Compressed()) Info->bmiHeader.biSizeImage = static_cast<uint32_t>(Needed);

  // Draw the DIB 1:1 into new pixels of the matching format.
  const TPixelFormat Format = format_for(F.BitCount, F.Compression, F.Masks);
  std::vector<RGBQUAD> Table = F.Colors;
  if (Table.empty() && depth_of(Format) <= 8) Table = gdi_detail::DefaultColorTable(depth_of(Format));
  m_Palette.reset();
  rebuild(F.Width, F.Height, Format, Table, TPixels::None);
  StretchDIBits(dc(), 0, 0, F.Width, F.Height, 0, 0, F.Width, F.Height, Pixels.data(), Info, kDibRgbColors,
                kSrcCopy);
  SetPaletteDirty(true);
}

void TBitmap::SaveToStream(TStream& Stream) const {
  if (!m_Bitmap) return;
  TInfo Info;
  std::vector<RGBQUAD> Table;
  if (m_Depth <= 8) {
    Table.resize(256);
    Table.resize(GetDIBColorTable(dc(), 0, 256, Table.data()));
  }
  describe(Info, m_Width, m_Height, m_Depth, m_PixelFormat == pf16bit, Table);
  const uint32_t Extra = m_PixelFormat == pf16bit ? 12 : static_cast<uint32_t>(4 * Table.size());
  const uint32_t Rows = static_cast<uint32_t>(m_Stride) * static_cast<uint32_t>(m_Height);
  Info.Header().biSizeImage = Rows;
  BITMAPFILEHEADER File{};
  File.bfType = kBitmapFileType;
  File.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + Extra;
  File.bfSize = File.bfOffBits + Rows;
  Stream.WriteBuffer(&File, sizeof(File));
  Stream.WriteBuffer(Info.get(), sizeof(BITMAPINFOHEADER) + Extra);
  Stream.WriteBuffer(m_Bits, Rows);  // the pixels are bottom-up DIB rows already
}

void TBitmap::LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE Palette) {
  BITMAP From{};
  if (Format != kCF_Bitmap || GetObjectType(Data) != kObjBitmap || GetObjectA(Data, sizeof(From), &From) == 0)
    throw EInvalidGraphic("Unsupported clipboard format");
  const TSelected Source(static_cast<HBITMAP>(Data));
  if (Source.get() == nullptr) throw EInvalidGraphic("Unsupported clipboard format");
  TPixelFormat PixelFormat = format_for(From.bmBitsPixel, kBiRGB, nullptr);
  {
    TSpinGuard Lock(gdi_detail::GdiMutex());
    const auto Bmp = gdi_detail::Find<gdi_detail::TBitmapObject>(Data);
    if (Bmp && Bmp->Surface->Green6) PixelFormat = pf16bit;
  }
  std::vector<RGBQUAD> Table;
  if (From.bmBitsPixel <= 8) {
    Table.resize(256);
    Table.resize(GetDIBColorTable(Source.get(), 0, 256, Table.data()));
  }
  m_Palette.reset(Palette != nullptr ? CopyPalette(Palette) : nullptr);
  rebuild(From.bmWidth, From.bmHeight, PixelFormat, Table, TPixels::From, Source.get());
  SetPaletteDirty(true);
}

void TBitmap::SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const {
  TBitmap Copy;
  Copy.Assign(this);
  Format = kCF_Bitmap;
  Palette = GetPalette() != nullptr ? CopyPalette(GetPalette()) : nullptr;
  Data = Copy.m_Bitmap.release();  // deleting the copy's context lets go of it
}

}  // namespace kv
