// TKvDIB: the image object. It holds its pixels in a shared TKvInternalDIB.
//
// Sharing rules: Assign from another TKvDIB shares the other's storage (RefCount + 1) and
// copies no pixels. Every operation that writes pixels or the colour table (GetScanLine,
// SetPixelFormat, SetPalette, a TKvDIBCanvas) first calls UniqueDIB, which gives this
// graphic a private copy when the storage is shared. Geometry and bit-count changes never
// convert pixels: they replace the storage by a fresh, zero-filled image, installed only
// once it is complete, so a failed operation leaves the graphic as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "image/KvDIBRoutes.h"
#include "image/KvGraph.h"
#include "image/KvInternalDIB.h"
#include "image/reduce/KvQuantize.h"

namespace kv {

class TBitmap;

class TKvDIB : public TKvGraphic {
 public:
  TKvDIB();
  ~TKvDIB() override;

  bool GetEmpty() const override;
  int32_t GetWidth() const override;
  int32_t GetHeight() const override;
  void SetWidth(int32_t Value) override;
  // A negative height makes a top-down image.
  void SetHeight(int32_t Value) override;
  uint16_t GetBitCount() const;
  void SetBitCount(int32_t Value);
  int32_t GetColorCount() const;
  // Colour-table entry Index as red + green * 256 + blue * 65536.
  TColor GetColors(int32_t Index) const;
  // Row Y counted from the top; gives write access, so the storage is made private first.
  uint8_t* GetScanLine(int32_t Y);
  // Row Y counted from the top, for reading only: shared storage stays shared. The same
  // checks as GetScanLine.
  const uint8_t* ReadScanLine(int32_t Y) const;
  // The descriptor as held, for reading (header, colour table, pixel block).
  const TKvDIBInfo& DIBInfo() const;
  // Replaces the colour table by Colors (at most 256 entries; biClrUsed becomes their
  // number) without touching the pixels or the bit count.
  void SetColorTable(const RGBQUAD* Colors, int32_t Count);
  TKvPixelFormat GetPixelFormat() const;
  // Converts the pixels to Target (see KvDIBFormat.cpp for the routes and progress).
  void SetPixelFormat(TKvPixelFormat Target);
  // Reduces a 24-bit image with the library's own quantizer (image/reduce/KvQuantize.h):
  // any count of colours from 2 to 256, by the normal, fine, refine or best method, with
  // or without dithering. Progress, sharing and failures as for SetPixelFormat; the
  // progress message is "Quantize 24Bit -> 8Bit" (or "-> 4Bit" for 16 colours or fewer).
  void Quantize(const TKvQuantizeOptions& Options);

  // Assignment (image/interchange/KvDIBAssign.cpp). nullptr gives the default image;
  // another TKvDIB shares its storage; a TBitmap's pixels are read into a new image; the
  // clipboard object loads its CF_DIB data; anything else asks Source to assign itself.
  void Assign(const TPersistent* Source) override;
  // To a TKvDIB (it shares this storage) or a TBitmap (same size, depth, palette and
  // pixels, RLE data decoded); anything else raises the conversion error.
  void AssignTo(TPersistent* Dest) const override;

  // Draws the image stretched into Rect of Canvas: directly in HalftoneMode 0, through a
  // halftoned copy at the destination size in modes 1 (colour) and 2 (black and white)
  // (image/interchange/KvDIBDraw.cpp).
  void PaintTo(TCanvas& Canvas, const TRect& Rect) override;

  // Palettes (image/interchange/KvDIBPalette.cpp). GetPalette: the shared halftone palette
  // in HalftoneMode 1, the shared black-and-white one in mode 2, else GetDIBPalette. The
  // handle stays owned by the storage or the library: hand on copies only.
  HPALETTE GetPalette() const override;
  // The palette of the image's own colour table, whatever HalftoneMode says (made on first
  // request and cached in the storage, which all graphics sharing it share); nullptr for
  // an image without colour table.
  HPALETTE GetDIBPalette() const;
  // Replaces the colour table by the entries of Value (nullptr: no colour table); the
  // storage owns Value from the call on, also when the call fails. Pixels and bit count
  // stay. Raises EKvDIBInvalidPalette for a palette without readable entries.
  void SetPalette(HPALETTE Value) override;

  // Clipboard data (image/interchange/KvDIBClipboard.cpp): CF_DIB blocks, the packed DIB
  // in a global memory block. Loading from a block that is refused leaves the default
  // image; the block stays the caller's. Saving returns a new block, the caller's.
  void LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE Palette) override;
  void SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const override;
  // The same packed DIB as plain bytes. A refused block leaves the image as it was.
  void LoadFromPackedDIB(std::span<const uint8_t> Block);
  std::vector<uint8_t> SaveToPackedDIB() const;

  void UniqueDIB();
  void UpdatePaletteModified();
  uint32_t ClipboardFormat() const override { return kCF_DIB; }

  // Streams in the BMP file format.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) const override;

  TKvInternalDIB* InternalDIB() const { return m_Storage.get(); }

  bool FineMethod = false;
  TColor BackgroundColor = kClWhite;
  uint8_t HalftoneMode = 0;

  int32_t ProgressCount = 0;
  int32_t ProgressTotal = 0;
  std::string ProgressMessage;

  void PrepareProgress(int32_t Total, const std::string& Message);
  void ProgressBegin();
  void ProgressStep();
  void ProgressEnd();

 private:
  void ReleaseInternalDIB();
  // The one way this graphic's storage is replaced: Fresh is complete before it comes in,
  // and the reference to the old storage goes only after the switch.
  void InstallStorage(TKvStorageRef Fresh);
  // Replaces the storage by a fresh zero-filled image of the given geometry.
  void Recreate(int32_t Width, int32_t Height, int32_t BitCount, int32_t ColorCount);
  TRect ProgressRect() const;
  // Replaces the image by Convert's result from the current image (only read), with the
  // progress of Plan (none when null), the palette bookkeeping and the change notification.
  void ReplaceImage(const TKvProgressPlan* Plan,
                    const std::function<TKvOwnedInfo(const TKvDIBInfo&, const TKvProgressProc&)>& Convert);
  void AssignBitmap(const TBitmap& Source);
  void PaintHalftone(TCanvas& Canvas, const TRect& Rect);

  // The canvas draws into the storage's pixels and tells the image when it is done.
  friend class TKvDIBCanvas;

  TKvStorageRef m_Storage;
};

// The conversion driver: runs the route from the storage's format to Target and installs
// the result. Fine selects the "High" reductions (0 or 1); Background is the key colour
// of conversions to 1 bit.
void SetPixelsFormat(TKvInternalDIB& Storage, TKvPixelFormat Target, uint8_t Fine, COLORREF Background,
                     const TKvProgressProc& Progress);
// The route itself: converts Src (only read) to Target and returns the result, which owns
// its pixel block; every intermediate block is released, on failure the result's too.
TKvOwnedInfo ConvertPixelsFormat(const TKvDIBInfo& Src, TKvPixelFormat Target, uint8_t Fine,
                                 COLORREF Background, const TKvProgressProc& Progress);

}  // namespace kv
