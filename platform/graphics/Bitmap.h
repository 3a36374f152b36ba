// TBitmap: the runtime's bitmap graphic. Its pixels are a DIB section of its own (rows
// bottom-up) in one of the pixel formats below, with a colour table for the indexed ones,
// drawn on through Canvas(), read and written as BMP streams and exchanged with the
// clipboard as kCF_Bitmap. Changing the size or the pixel format keeps the pixels that
// still fit (converted to the new format); a bitmap of width or height 0 is empty and has
// no handle (but keeps the other extent it was given).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/framework/Graphic.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/graphics/Palette.h"

namespace kv {

// pfDevice: the depth of the screen when the pixels are made; pf15bit: 16 bits 5-5-5;
// pf16bit: 16 bits 5-6-5.
enum TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

class TBitmap : public TGraphic {
 public:
  TBitmap() = default;
  ~TBitmap() override;

  bool GetEmpty() const override { return m_Bitmap.IsEmpty(); }
  int32_t GetWidth() const override { return m_Width; }
  int32_t GetHeight() const override { return m_Height; }
  // Negative sizes raise EInvalidGraphic "Invalid bitmap size".
  void SetWidth(int32_t Value) override { SetSize(Value, m_Height); }
  void SetHeight(int32_t Value) override { SetSize(m_Width, Value); }
  void SetSize(int32_t Width, int32_t Height);

  TPixelFormat PixelFormat() const { return m_PixelFormat; }
  void SetPixelFormat(TPixelFormat Value);
  // Bits per pixel of the pixels (of the screen for pfDevice while empty).
  uint16_t BitCount() const;

  // The bitmap object; nullptr while empty. Owned by the bitmap.
  HBITMAP Handle() const { return m_Bitmap.get(); }
  // The canvas over the pixels; its handle is a memory context holding the bitmap.
  TCanvas& Canvas();
  // Row Y counted from the top. Raises EInvalidGraphic "Scan line index out of range".
  uint8_t* ScanLine(int32_t Y);

  // The palette (made from the colour table on first request for an indexed bitmap),
  // owned by the bitmap. SetPalette takes ownership of Value; for an indexed bitmap its
  // entries (up to 2^depth) become the colour table and the indices stay.
  HPALETTE GetPalette() const override;
  void SetPalette(HPALETTE Value) override;

  // Another TBitmap: an independent copy (pixels, format, palette); nullptr: empty.
  void Assign(const TPersistent* Source) override;

  void PaintTo(TCanvas& Canvas, const TRect& Rect) override;

  // BMP streams: uncompressed 1-, 4-, 8-, 16-, 24- and 32-bit and RLE data with 40-, 108-
  // or 124-byte headers are read (EInvalidGraphic "Bitmap image is not valid" otherwise);
  // the 40-byte form is written. An empty bitmap writes nothing.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) const override;

  // kCF_Bitmap: Data is a bitmap object, copied on loading; saving gives a new copy and a
  // copy of the palette (nullptr when there is none), both then the caller's.
  void LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE Palette) override;
  void SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const override;

 private:
  HDC dc() const;
  std::vector<RGBQUAD> color_table(uint16_t Depth) const;
  // Replaces the pixels by a new DIB section of Width x Height x Format with colour table
  // Colors (empty: the palette's entries or the default table), zero-filled or with the
  // current pixels or those of Source drawn into it 1:1, then notifies the change.
  enum class TPixels { None, Keep, From };
  void rebuild(int32_t Width, int32_t Height, TPixelFormat Format, const std::vector<RGBQUAD>& Colors,
               TPixels Pixels, HDC Source = nullptr);
  void install_table(const std::vector<RGBQUAD>& Colors);

  int32_t m_Width = 0;
  int32_t m_Height = 0;
  TPixelFormat m_PixelFormat = pfDevice;
  uint16_t m_Depth = 0;
  uint8_t* m_Bits = nullptr;
  int32_t m_Stride = 0;
  // Destroyed in reverse order: the canvas lets go of the context, the context of the
  // bitmap and palette, and only then are they deleted.
  TGdiObjectOwner<HBITMAP> m_Bitmap;
  mutable TPaletteHandle m_Palette;
  mutable TMemoryDC m_Dc;
  mutable HGDIOBJ m_DcDefaultBitmap = nullptr;
  TCanvas m_Canvas;
};

}  // namespace kv
