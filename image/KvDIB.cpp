// TKvDIB: construction, geometry, colours, scan lines and storage sharing.
#include "image/KvDIB.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace kv {

TKvDIB::TKvDIB() {
  m_InternalDIB = new TKvInternalDIB;  // owned through RefCount, released in ReleaseInternalDIB
  UpdatePaletteModified();
}

TKvDIB::~TKvDIB() {
  if (m_InternalDIB) ReleaseInternalDIB();
}

void TKvDIB::ReleaseInternalDIB() {
  AssertDIB(m_InternalDIB != nullptr, "TKVDIB.ReleaseInternalDIB: InternalDIB should not be Nil");
  if (--m_InternalDIB->RefCount == 0) delete m_InternalDIB;
  m_InternalDIB = nullptr;
}

bool TKvDIB::GetEmpty() const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetEmpty: InternalDIB Should not be Nil");
  return false;
}

int32_t TKvDIB::GetWidth() const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetWidth: InternalDIB Should not be Nil");
  return m_InternalDIB->Width;
}

int32_t TKvDIB::GetHeight() const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetHeight: InternalDIB Should not be Nil");
  return m_InternalDIB->Height;
}

void TKvDIB::Recreate(int32_t Width, int32_t Height, int32_t BitCount, int32_t ColorCount) {
  auto Fresh = std::make_unique<TKvInternalDIB>();
  Fresh->FreeStorage();
  Fresh->CreateDIB(Width, Height, BitCount, ColorCount);
  ReleaseInternalDIB();
  m_InternalDIB = Fresh.release();
  UpdatePaletteModified();
  NotifyChange(this);
}

void TKvDIB::SetWidth(int32_t Value) {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.SetWidth: InternalDIB Should not be Nil");
  if (Value <= 0) throw EKvDIBInvalidDIBPara("TKvDIB.SetWidth: Invalid Width");
  if (Value == m_InternalDIB->Width) return;
  const TKvDIBInfo& Info = m_InternalDIB->Info;
  Recreate(Value, m_InternalDIB->Height, Info.Header.biBitCount, static_cast<int32_t>(Info.Header.biClrUsed));
}

void TKvDIB::SetHeight(int32_t Value) {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.SetHeight: InternalDIB Should not be Nil");
  if (Value == 0) throw EKvDIBInvalidDIBPara("TKvDIB.SetHeight: Invalid Height");
  if (Value == m_InternalDIB->Height) return;
  const TKvDIBInfo& Info = m_InternalDIB->Info;
  Recreate(m_InternalDIB->Width, Value, Info.Header.biBitCount, static_cast<int32_t>(Info.Header.biClrUsed));
}

uint16_t TKvDIB::GetBitCount() const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetBitCount: InternalDIB Should not be Nil");
  return m_InternalDIB->Info.Header.biBitCount;
}

void TKvDIB::SetBitCount(int32_t Value) {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.SetBitCount: InternalDIB Should not be Nil");
  if (Value != 1 && Value != 4 && Value != 8 && Value != 24)
    throw EKvDIBInvalidDIBPara("TKvDIB.SetBitCount: Invalid BitCount");
  if (Value == m_InternalDIB->Info.Header.biBitCount) return;
  Recreate(m_InternalDIB->Width, m_InternalDIB->Height, Value, DefaultColorCount(Value));
}

int32_t TKvDIB::GetColorCount() const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetColorCount: InternalDIB Should not be Nil");
  return static_cast<int32_t>(m_InternalDIB->Info.Header.biClrUsed);
}

TColor TKvDIB::GetColors(int32_t Index) const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetColors: InternalDIB Should not be Nil");
  if (Index < 0 || Index > 255)
    throw EKvDIBPaletteIndexRange("TKvDIB.GetColors: Palette Index is Out of Range");
  const RGBQUAD& Q = m_InternalDIB->Info.Colors[Index];
  return static_cast<TColor>(MakeRGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue));
}

uint8_t* TKvDIB::GetScanLine(int32_t Y) {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetScanLine: InternalDIB Should not be Nil");
  if (m_InternalDIB->RefCount != 1) {
    UniqueDIB();
    UpdatePaletteModified();
  }
  const BITMAPINFOHEADER& H = m_InternalDIB->Info.Header;
  if (Y < 0 || Y >= m_InternalDIB->Height)
    throw EKvDIBPixelPositionRange("TKvDIB.GetScanLine: y is Out of Range");
  if (H.biCompression != kBiRGB) throw EKvDIBBadDIBType("TKvDIB.GetScanLine: Bad DIB Type");
  const size_t Stride = static_cast<size_t>(DIBStride(H));
  const size_t Row = H.biHeight > 0 ? static_cast<size_t>(H.biHeight - 1 - Y) : static_cast<size_t>(Y);
  return m_InternalDIB->Info.Bits + Stride * Row;
}

const uint8_t* TKvDIB::ReadScanLine(int32_t Y) const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.ReadScanLine: InternalDIB Should not be Nil");
  const BITMAPINFOHEADER& H = m_InternalDIB->Info.Header;
  if (Y < 0 || Y >= m_InternalDIB->Height)
    throw EKvDIBPixelPositionRange("TKvDIB.ReadScanLine: y is Out of Range");
  if (H.biCompression != kBiRGB) throw EKvDIBBadDIBType("TKvDIB.ReadScanLine: Bad DIB Type");
  const size_t Stride = static_cast<size_t>(DIBStride(H));
  const size_t Row = H.biHeight > 0 ? static_cast<size_t>(H.biHeight - 1 - Y) : static_cast<size_t>(Y);
  return m_InternalDIB->Info.Bits + Stride * Row;
}

const TKvDIBInfo& TKvDIB::DIBInfo() const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.DIBInfo: InternalDIB Should not be Nil");
  return m_InternalDIB->Info;
}

void TKvDIB::SetColorTable(const RGBQUAD* Colors, int32_t Count) {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.SetColorTable: InternalDIB Should not be Nil");
  if (Count < 0 || Count > 256 || (Count > 0 && Colors == nullptr))
    throw EKvDIBPaletteIndexRange("TKvDIB.SetColorTable: Palette Index is Out of Range");
  UniqueDIB();
  TKvDIBInfo& Info = m_InternalDIB->Info;
  if (Count > 0) std::memcpy(Info.Colors, Colors, static_cast<size_t>(Count) * sizeof(RGBQUAD));
  Info.Header.biClrUsed = static_cast<uint32_t>(Count);
  m_InternalDIB->UpdatePalette();
  UpdatePaletteModified();
  NotifyChange(this);
}

TKvPixelFormat TKvDIB::GetPixelFormat() const {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.GetPixelFormat: InternalDIB Should not be Nil");
  return m_InternalDIB->GetPixelFormat();
}

void TKvDIB::Assign(const TKvDIB* Source) {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.Assign: InternalDIB Should not be Nil");
  if (Source == nullptr) {
    auto Fresh = std::make_unique<TKvInternalDIB>();
    ReleaseInternalDIB();
    m_InternalDIB = Fresh.release();
    UpdatePaletteModified();
    return;
  }
  if (Source == this) return;
  AssertDIB(Source->m_InternalDIB != nullptr, "TKvDIB.Assign: InternalDIB Should not be Nil");
  TKvInternalDIB* Shared = Source->m_InternalDIB;
  if (Shared != m_InternalDIB) {
    ReleaseInternalDIB();
    ++Shared->RefCount;
    m_InternalDIB = Shared;
  }
  BackgroundColor = Source->BackgroundColor;
  FineMethod = Source->FineMethod;
  HalftoneMode = Source->HalftoneMode;
  SetPaletteDirty(true);
}

void TKvDIB::UniqueDIB() {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.UniqueDIB: InternalDIB Should not be Nil");
  if (m_InternalDIB->RefCount == 1) return;
  auto Copy = std::make_unique<TKvInternalDIB>();
  Copy->FreeStorage();
  const TKvInternalDIB& Shared = *m_InternalDIB;
  Copy->Height = Shared.Height;
  Copy->Width = Shared.Width;
  Copy->Info = Shared.Info;
  Copy->Info.Bits = nullptr;
  Copy->Info.MapHandle = kNoMapHandle;
  TFileMapBlock Block(Shared.Info.BitsSize);
  std::memcpy(Block.Bits(), Shared.Info.Bits, static_cast<size_t>(Shared.Info.BitsSize));
  Copy->Info.MapHandle = Block.Handle();
  Copy->Info.Bits = Block.Bits();
  Block.Detach();
  ReleaseInternalDIB();
  m_InternalDIB = Copy.release();
  UpdatePaletteModified();
}

void TKvDIB::UpdatePaletteModified() {
  AssertDIB(m_InternalDIB != nullptr && m_InternalDIB->RefCount == 1,
            "TKvDIB.UpdatePaletteModified RefCount Must be 1");
  if (m_InternalDIB->PaletteChanged == 1) {
    m_InternalDIB->PaletteChanged = 0;
    SetPaletteDirty(true);
  }
}

}  // namespace kv
