// TKvDIB's assignments: from nothing (the default image), from another TKvDIB (sharing its
// storage), from a TBitmap (its pixels read through GetDIBits into a new image) and,
// through TKvGraphic, from the clipboard; and to a TKvDIB or a TBitmap (drawn into the
// bitmap 1:1, which also decodes RLE data).
#include "image/KvDIB.h"
#include "image/interchange/KvDIBDrawInfo.h"
#include "image/interchange/KvDIBPalette.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/DIBits.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/StretchDIBits.h"

namespace kv {

namespace {

// The bitmap's pixel format that holds a storage format.
TPixelFormat bitmap_format_of(TKvPixelFormat Format) {
  switch (Format) {
    case kvPf1Bit: return pf1bit;
    case kvPf4Bit:
    case kvPf4BitRLE: return pf4bit;
    case kvPf8Bit:
    case kvPf8BitRLE: return pf8bit;
    default: return pf24bit;
  }
}

// Selects a palette into a device context for a scope (forced as background) and realises
// it; the palette selected before comes back on every exit path.
class TSelectedPalette {
 public:
  TSelectedPalette(HDC Dc, HPALETTE Palette) : m_Dc(Dc) {
    if (Palette == nullptr) return;
    m_Previous = SelectPalette(Dc, Palette, true);
    RealizePalette(Dc);
  }
  ~TSelectedPalette() {
    if (m_Previous != nullptr) SelectPalette(m_Dc, m_Previous, true);
  }
  TSelectedPalette(const TSelectedPalette&) = delete;
  TSelectedPalette& operator=(const TSelectedPalette&) = delete;

 private:
  HDC m_Dc;
  HPALETTE m_Previous = nullptr;
};

}  // namespace

void TKvDIB::Assign(const TPersistent* Source) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.Assign: InternalDIB Should not be Nil");
  if (Source == nullptr) {
    InstallStorage(TKvStorageRef::New());
    UpdatePaletteModified();
    return;
  }
  if (const auto* Other = dynamic_cast<const TKvDIB*>(Source)) {
    if (Other == this) return;
    AssertDIB(Other->m_Storage.get() != nullptr, "TKvDIB.Assign: InternalDIB Should not be Nil");
    if (Other->m_Storage.get() != m_Storage.get()) InstallStorage(TKvStorageRef::Share(*Other->m_Storage));
    BackgroundColor = Other->BackgroundColor;
    FineMethod = Other->FineMethod;
    HalftoneMode = Other->HalftoneMode;
    SetPaletteDirty(true);
    return;
  }
  if (const auto* Bitmap = dynamic_cast<const TBitmap*>(Source)) {
    AssignBitmap(*Bitmap);
    return;
  }
  TKvGraphic::Assign(Source);
}

void TKvDIB::AssignBitmap(const TBitmap& Source) {
  // An empty bitmap has no handle and describes a 0 x 0 image, which CreateDIB refuses.
  BITMAP Description{};
  if (Source.Handle() != nullptr) GetObjectA(Source.Handle(), sizeof(Description), &Description);
  int32_t BitCount = Description.bmPlanes * Description.bmBitsPixel;
  if (BitCount == 16 || BitCount == 32) BitCount = 24;

  TKvStorageRef Fresh = TKvStorageRef::New();
  Fresh->FreeStorage();
  Fresh->CreateDIB(Description.bmWidth, Description.bmHeight, BitCount, 0);
  TKvDIBInfo& Info = Fresh->Info;
  {
    const TScreenDC Screen;
    const TSelectedPalette Selected(Screen.get(), Source.GetPalette());
    // Rows bottom first into the block; up to 8 bits the colour table after the header.
    const int32_t Lines = GetDIBits(Screen.get(), Source.Handle(), 0, static_cast<uint32_t>(Fresh->Height),
                                    Info.Bits, reinterpret_cast<BITMAPINFO*>(&Info.Header), kDibRgbColors);
    // A bitmap whose pixels cannot be read would otherwise become a black image.
    if (Lines != Fresh->Height) throw EOutOfResources("TKvDIB.Assign: Cannot Read Bitmap");
  }
  if (Info.Header.biClrUsed == 0) Info.Header.biClrUsed = static_cast<uint32_t>(DefaultColorCount(BitCount));

  InstallStorage(std::move(Fresh));
  m_Storage->UpdatePalette();
  UpdatePaletteModified();
  NotifyChange(this);
}

void TKvDIB::AssignTo(TPersistent* Dest) const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.AssignTo: InternalDIB Should not be Nil");
  if (auto* Image = dynamic_cast<TKvDIB*>(Dest)) {
    Image->Assign(this);
    return;
  }
  auto* Bitmap = dynamic_cast<TBitmap*>(Dest);
  if (Bitmap == nullptr) {
    TKvGraphic::AssignTo(Dest);
    return;
  }
  const int32_t Width = m_Storage->Width, Height = m_Storage->Height;
  Bitmap->SetHeight(Height);
  Bitmap->SetWidth(Width);
  Bitmap->SetPixelFormat(bitmap_format_of(GetPixelFormat()));
  // The image's own colour table, whatever HalftoneMode says; the bitmap owns the copy.
  Bitmap->SetPalette(CopyOfPalette(GetDIBPalette(), "TKvDIB.AssignTo: Cannot Copy Palette").release());
  const TKvDIBInfo& Info = m_Storage->Info;
  const TKvDrawInfo DrawInfo(Info);
  // RLE data is decoded by the drawing.
  StretchDIBits(Bitmap->Canvas().Handle(), 0, 0, Width, Height, 0, 0, Width, Height, Info.Bits,
                DrawInfo.get(), kDibRgbColors, kSrcCopy);
}

}  // namespace kv
