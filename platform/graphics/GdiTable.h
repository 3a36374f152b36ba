// The objects behind the graphics layer's handles and the table that names them. Only the
// layer's own sources include this.
//
// Rules, as the platform keeps them:
//   1. A handle is a number handed out once; the table maps it to its object. A handle
//      that is not in the table (deleted, never made, of another kind) finds nothing.
//   2. Objects are shared_ptr-owned: a call that found an object keeps it alive while it
//      draws, even if another thread deletes the handle meanwhile.
//   3. The table's lock guards the table and every object's selection state (which
//      objects a device context holds). Pixels are written without it: a surface is
//      drawn on by the thread that uses its device context.
//   4. An object selected into a device context cannot be deleted; a bitmap can be
//      selected into one device context at a time. Stock objects are never deleted.
//   5. At most a limited number of objects live at once (the platform's per-process
//      quota); creation beyond it fails like any other creation failure.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>  // std::lock_guard
#include <vector>

#include "platform/core/SpinLock.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/GdiTypes.h"
#include "platform/graphics/Surface.h"

namespace kv::gdi_detail {

enum class TObjectKind : uint8_t { DC = 1, Bitmap, Palette, Pen, Brush };

struct TGdiObject {
  explicit TGdiObject(TObjectKind K) : Kind(K) {}
  virtual ~TGdiObject() = default;
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;

  const TObjectKind Kind;
  bool Stock = false;
  int32_t Selections = 0;  // device contexts holding this object
};

struct TPaletteObject final : TGdiObject {
  static constexpr TObjectKind kKind = TObjectKind::Palette;
  TPaletteObject() : TGdiObject(kKind) {}
  std::vector<PALETTEENTRY> Entries;
};

struct TBitmapObject final : TGdiObject {
  static constexpr TObjectKind kKind = TObjectKind::Bitmap;
  TBitmapObject() : TGdiObject(kKind) {}
  std::shared_ptr<TPixelSurface> Surface;  // shared with the calls drawing on it
  bool DIBSection = false;                 // GetObjectA reports its bits
};

struct TPenState {
  uint32_t Style = kPsSolid;
  int32_t Width = 1;
  COLORREF Color = 0;
};

struct TBrushState {
  uint32_t Style = kBsSolid;
  COLORREF Color = 0;
};

struct TPenObject final : TGdiObject {
  static constexpr TObjectKind kKind = TObjectKind::Pen;
  TPenObject() : TGdiObject(kKind) {}
  TPenState State;
};

struct TBrushObject final : TGdiObject {
  static constexpr TObjectKind kKind = TObjectKind::Brush;
  TBrushObject() : TGdiObject(kKind) {}
  TBrushState State;
};

struct TDCObject final : TGdiObject {
  static constexpr TObjectKind kKind = TObjectKind::DC;
  TDCObject() : TGdiObject(kKind) {}
  bool Screen = false;  // from GetDC: draws on the screen, holds no other bitmap
  HBITMAP Bitmap = nullptr;
  HPALETTE Palette = nullptr;
  HPEN Pen = nullptr;
  HBRUSH Brush = nullptr;
  int32_t StretchMode = kBlackOnWhite;
  int32_t PenX = 0;
  int32_t PenY = 0;
  TDCPaletteHistory History;
};

// The table's lock. It is not recursive: a function holding it calls only the functions
// below and the objects' own members, never another public call of the layer.
TSpinLock& GdiMutex();

// With GdiMutex held. AddObject returns the new handle, or nullptr at the quota (stock
// objects do not count against it).
void* AddObject(std::shared_ptr<TGdiObject> Object);
std::shared_ptr<TGdiObject> FindObject(const void* Handle);
void RemoveObject(const void* Handle);

template <class T>
std::shared_ptr<T> Find(const void* Handle) {
  std::shared_ptr<TGdiObject> O = FindObject(Handle);
  if (!O || O->Kind != T::kKind) return nullptr;
  return std::static_pointer_cast<T>(O);
}

// What a drawing call needs of a device context, found under GdiMutex and then used
// without it: the surface and copies of the selected objects' state.
struct TDrawTarget {
  std::shared_ptr<TDCObject> DC;
  std::shared_ptr<TPixelSurface> Surface;
  std::vector<PALETTEENTRY> Palette;  // entries of the selected palette
  TPenState Pen;
  TBrushState Brush;
};
// False for an invalid device context.
bool ResolveTarget(HDC Dc, TDrawTarget& Target);

// The stock objects, made on first use: the default palette, the 1 x 1 monochrome bitmap
// of a new memory device context, pens and brushes.
HGDIOBJ StockObject(int32_t Index);
HBITMAP StockBitmap();

}  // namespace kv::gdi_detail
