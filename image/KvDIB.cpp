// TKvDIB: construction, geometry, colours, scan lines and storage sharing.
#include "image/KvDIB.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "image/KvPixels.h"

namespace kv {

TKvDIB::TKvDIB() : m_Storage(TKvStorageRef::New()) { UpdatePaletteModified(); }

TKvDIB::~TKvDIB() = default;  // the storage reference goes with the graphic

void TKvDIB::ReleaseInternalDIB() {
  AssertDIB(m_Storage.get() != nullptr, "TKVDIB.ReleaseInternalDIB: InternalDIB should not be Nil");
  m_Storage.Reset();
}

void TKvDIB::InstallStorage(TKvStorageRef Fresh) {
  ReleaseInternalDIB();
  m_Storage = std::move(Fresh);
}

bool TKvDIB::GetEmpty() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetEmpty: InternalDIB Should not be Nil");
  return false;
}

int32_t TKvDIB::GetWidth() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetWidth: InternalDIB Should not be Nil");
  return m_Storage->Width;
}

int32_t TKvDIB::GetHeight() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetHeight: InternalDIB Should not be Nil");
  return m_Storage->Height;
}

void TKvDIB::Recreate(int32_t Width, int32_t Height, int32_t BitCount, int32_t ColorCount) {
  TKvStorageRef Fresh = TKvStorageRef::New();
  Fresh->FreeStorage();
  Fresh->CreateDIB(Width, Height, BitCount, ColorCount);
  InstallStorage(std::move(Fresh));
  UpdatePaletteModified();
  NotifyChange(this);
}

void TKvDIB::SetWidth(int32_t Value) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SetWidth: InternalDIB Should not be Nil");
  if (Value <= 0) throw EKvDIBInvalidDIBPara("TKvDIB.SetWidth: Invalid Width");
  if (Value == m_Storage->Width) return;
  const TKvDIBInfo& Info = m_Storage->Info;
  Recreate(Value, m_Storage->Height, Info.Header.biBitCount, static_cast<int32_t>(Info.Header.biClrUsed));
}

void TKvDIB::SetHeight(int32_t Value) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SetHeight: InternalDIB Should not be Nil");
  if (Value == 0) throw EKvDIBInvalidDIBPara("TKvDIB.SetHeight: Invalid Height");
  if (Value == m_Storage->Height) return;
  const TKvDIBInfo& Info = m_Storage->Info;
  Recreate(m_Storage->Width, Value, Info.Header.biBitCount, static_cast<int32_t>(Info.Header.biClrUsed));
}

uint16_t TKvDIB::GetBitCount() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetBitCount: InternalDIB Should not be Nil");
  return m_Storage->Info.Header.biBitCount;
}

void TKvDIB::SetBitCount(int32_t Value) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SetBitCount: InternalDIB Should not be Nil");
  if (Value != 1 && Value != 4 && Value != 8 && Value != 24)
    throw EKvDIBInvalidDIBPara("TKvDIB.SetBitCount: Invalid BitCount");
  if (Value == m_Storage->Info.Header.biBitCount) return;
  Recreate(m_Storage->Width, m_Storage->Height, Value, DefaultColorCount(Value));
}

int32_t TKvDIB::GetColorCount() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetColorCount: InternalDIB Should not be Nil");
  return static_cast<int32_t>(m_Storage->Info.Header.biClrUsed);
}

TColor TKvDIB::GetColors(int32_t Index) const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetColors: InternalDIB Should not be Nil");
  if (Index < 0 || Index > 255)
    throw EKvDIBPaletteIndexRange("TKvDIB.GetColors: Palette Index is Out of Range");
  const RGBQUAD& Q = m_Storage->Info.Colors[Index];
  return static_cast<TColor>(MakeRGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue));
}

uint8_t* TKvDIB::GetScanLine(int32_t Y) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetScanLine: InternalDIB Should not be Nil");
  if (m_Storage->RefCount != 1) {
    UniqueDIB();
    UpdatePaletteModified();
  }
  if (Y < 0 || Y >= m_Storage->Height)
    throw EKvDIBPixelPositionRange("TKvDIB.GetScanLine: y is Out of Range");
  if (m_Storage->Info.Header.biCompression != kBiRGB)
    throw EKvDIBBadDIBType("TKvDIB.GetScanLine: Bad DIB Type");
  return PictureRow(m_Storage->Info, Y);
}

const uint8_t* TKvDIB::ReadScanLine(int32_t Y) const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.ReadScanLine: InternalDIB Should not be Nil");
  if (Y < 0 || Y >= m_Storage->Height)
    throw EKvDIBPixelPositionRange("TKvDIB.ReadScanLine: y is Out of Range");
  if (m_Storage->Info.Header.biCompression != kBiRGB)
    throw EKvDIBBadDIBType("TKvDIB.ReadScanLine: Bad DIB Type");
  return PictureRow(std::as_const(m_Storage->Info), Y);
}

const TKvDIBInfo& TKvDIB::DIBInfo() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.DIBInfo: InternalDIB Should not be Nil");
  return m_Storage->Info;
}

void TKvDIB::SetColorTable(const RGBQUAD* Colors, int32_t Count) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SetColorTable: InternalDIB Should not be Nil");
  if (Count < 0 || Count > 256 || (Count > 0 && Colors == nullptr))
    throw EKvDIBPaletteIndexRange("TKvDIB.SetColorTable: Palette Index is Out of Range");
  UniqueDIB();
  TKvDIBInfo& Info = m_Storage->Info;
  if (Count > 0) std::memcpy(Info.Colors, Colors, static_cast<size_t>(Count) * sizeof(RGBQUAD));
  Info.Header.biClrUsed = static_cast<uint32_t>(Count);
  m_Storage->UpdatePalette();
  UpdatePaletteModified();
  NotifyChange(this);
}

TKvPixelFormat TKvDIB::GetPixelFormat() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetPixelFormat: InternalDIB Should not be Nil");
  return m_Storage->GetPixelFormat();
}

void TKvDIB::UniqueDIB() {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.UniqueDIB: InternalDIB Should not be Nil");
  if (m_Storage->RefCount == 1) return;
  TKvStorageRef Copy = TKvStorageRef::New();
  Copy->FreeStorage();
  const TKvInternalDIB& Shared = *m_Storage;
  Copy->Height = Shared.Height;
  Copy->Width = Shared.Width;
  Copy->Info = WithoutBlock(Shared.Info);
  TFileMapBlock Block(Shared.Info.BitsSize);
  std::memcpy(Block.Bits(), Shared.Info.Bits, static_cast<size_t>(Shared.Info.BitsSize));
  HandOver(Block, Copy->Info);
  InstallStorage(std::move(Copy));
  UpdatePaletteModified();
}

void TKvDIB::UpdatePaletteModified() {
  AssertDIB(m_Storage && m_Storage->RefCount == 1, "TKvDIB.UpdatePaletteModified RefCount Must be 1");
  if (m_Storage->PaletteChanged == 1) {
    m_Storage->PaletteChanged = 0;
    SetPaletteDirty(true);
  }
}

}  // namespace kv
