#include "platform/graphics/GdiObjects.h"

#include <cstring>
#include <unordered_map>

#include "platform/graphics/GdiTable.h"

namespace kv {

namespace gdi_detail {

namespace {

uintptr_t value_of(const void* Handle) { return reinterpret_cast<uintptr_t>(Handle); }

std::shared_ptr<TPenObject> make_pen(uint32_t Style, COLORREF Color) {
  auto P = std::make_shared<TPenObject>();
  P->State.Style = Style;
  P->State.Color = Color;
  return P;
}

std::shared_ptr<TBrushObject> make_brush(uint32_t Style, COLORREF Color) {
  auto B = std::make_shared<TBrushObject>();
  B->State.Style = Style;
  B->State.Color = Color;
  return B;
}

// The table, with the stock objects made when it is (always under GdiMutex, so no other
// thread can meet it half made).
struct TTable {
  std::unordered_map<uintptr_t, std::shared_ptr<TGdiObject>> Objects;
  // Handle values: multiples of 8 from 0x1000 on (global memory handles are 4 more than a
  // multiple of 8, so neither kind is ever taken for the other).
  uintptr_t Next = 0x1000;
  int64_t InUse = 0;  // objects that are not stock
  int64_t Limit = 10000;
  HGDIOBJ Stock[16] = {};
  HBITMAP StockBitmap = nullptr;

  TTable() {
    Stock[kWhiteBrush] = AddStock(make_brush(kBsSolid, MakeRGB(255, 255, 255)));
    Stock[kBlackBrush] = AddStock(make_brush(kBsSolid, MakeRGB(0, 0, 0)));
    Stock[kNullBrush] = AddStock(make_brush(kBsNull, 0));
    Stock[kWhitePen] = AddStock(make_pen(kPsSolid, MakeRGB(255, 255, 255)));
    Stock[kBlackPen] = AddStock(make_pen(kPsSolid, MakeRGB(0, 0, 0)));
    Stock[kNullPen] = AddStock(make_pen(kPsNull, 0));
    // The default palette: the sixteen standard colours and four more, as a device
    // context holds before any palette is selected into it.
    auto Pal = std::make_shared<TPaletteObject>();
    for (const RGBQUAD& Q : DefaultColorTable(4))
      Pal->Entries.push_back({Q.rgbRed, Q.rgbGreen, Q.rgbBlue, 0});
    Pal->Entries.push_back({192, 220, 192, 0});
    Pal->Entries.push_back({166, 202, 240, 0});
    Pal->Entries.push_back({255, 251, 240, 0});
    Pal->Entries.push_back({160, 160, 164, 0});
    Stock[kDefaultPalette] = AddStock(std::move(Pal));
    // A new memory device context holds a 1 x 1 monochrome bitmap.
    auto Bmp = std::make_shared<TBitmapObject>();
    Bmp->Surface = std::make_shared<TPixelSurface>();
    ShapeSurface(*Bmp->Surface, 1, 1, 1, false, false);
    Bmp->Surface->AllocateOwned();
    StockBitmap = static_cast<HBITMAP>(AddStock(std::move(Bmp)));
  }

  void* Add(std::shared_ptr<TGdiObject> Object) {
    if (!Object->Stock && InUse >= Limit) return nullptr;
    while (Next == 0 || Objects.count(Next) != 0) Next += 8;  // a value is never in use twice
    const uintptr_t Handle = Next;
    Next += 8;
    if (!Object->Stock) ++InUse;
    Objects.emplace(Handle, std::move(Object));
    return reinterpret_cast<void*>(Handle);
  }

  void* AddStock(std::shared_ptr<TGdiObject> Object) {
    Object->Stock = true;
    return Add(std::move(Object));
  }
};

// Only ever called with GdiMutex held.
TTable& table() {
  static TTable Table;
  return Table;
}

}  // namespace

TSpinLock& GdiMutex() {
  static TSpinLock Mutex;
  return Mutex;
}

void* AddObject(std::shared_ptr<TGdiObject> Object) { return table().Add(std::move(Object)); }

std::shared_ptr<TGdiObject> FindObject(const void* Handle) {
  TTable& T = table();
  const auto It = T.Objects.find(value_of(Handle));
  return It == T.Objects.end() ? nullptr : It->second;
}

void RemoveObject(const void* Handle) {
  TTable& T = table();
  const auto It = T.Objects.find(value_of(Handle));
  if (It == T.Objects.end()) return;
  if (!It->second->Stock) --T.InUse;
  T.Objects.erase(It);
}

HGDIOBJ StockObject(int32_t Index) {
  TSpinGuard Lock(GdiMutex());
  return Index < 0 || Index >= 16 ? nullptr : table().Stock[Index];
}

HBITMAP StockBitmap() {
  TSpinGuard Lock(GdiMutex());
  return table().StockBitmap;
}

}  // namespace gdi_detail

using namespace gdi_detail;

bool DeleteObject(HGDIOBJ Object) {
  TSpinGuard Lock(GdiMutex());
  const std::shared_ptr<TGdiObject> O = FindObject(Object);
  if (!O || O->Kind == TObjectKind::DC) return false;
  if (O->Stock) return true;
  if (O->Selections > 0) return false;
  RemoveObject(Object);
  return true;
}

int32_t GetObjectA(HGDIOBJ Object, int32_t Size, void* Buffer) {
  TSpinGuard Lock(GdiMutex());
  if (const auto Bmp = Find<TBitmapObject>(Object)) {
    if (Buffer == nullptr) return sizeof(BITMAP);
    if (Size < static_cast<int32_t>(sizeof(BITMAP))) return 0;
    const TPixelSurface& S = *Bmp->Surface;
    BITMAP B{};
    B.bmType = 0;
    B.bmWidth = S.Width;
    B.bmHeight = S.Height;
    B.bmWidthBytes = S.Stride;
    B.bmPlanes = 1;
    B.bmBitsPixel = S.BitCount;
    B.bmBits = Bmp->DIBSection ? S.Bits : nullptr;
    std::memcpy(Buffer, &B, sizeof(B));
    return sizeof(BITMAP);
  }
  if (const auto Pal = Find<TPaletteObject>(Object)) {
    if (Buffer == nullptr) return sizeof(uint16_t);
    if (Size < static_cast<int32_t>(sizeof(uint16_t))) return 0;
    const auto Count = static_cast<uint16_t>(Pal->Entries.size());
    std::memcpy(Buffer, &Count, sizeof(Count));
    return sizeof(uint16_t);
  }
  return 0;
}

uint32_t GetObjectType(const void* Object) {
  TSpinGuard Lock(GdiMutex());
  const std::shared_ptr<TGdiObject> O = FindObject(Object);
  if (!O) return 0;
  switch (O->Kind) {
    case TObjectKind::DC: return static_cast<const TDCObject&>(*O).Screen ? kObjDC : kObjMemDC;
    case TObjectKind::Bitmap: return kObjBitmap;
    case TObjectKind::Palette: return kObjPal;
    case TObjectKind::Pen: return kObjPen;
    case TObjectKind::Brush: return kObjBrush;
  }
  return 0;
}

HGDIOBJ GetStockObject(int32_t Index) { return StockObject(Index); }

int64_t GdiObjectsInUse() {
  TSpinGuard Lock(GdiMutex());
  return table().InUse;
}

int64_t SetGdiObjectLimit(int64_t Limit) {
  TSpinGuard Lock(GdiMutex());
  return std::exchange(table().Limit, Limit);
}

}  // namespace kv
