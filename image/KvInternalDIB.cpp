#include "image/KvInternalDIB.h"

#include <cstring>

namespace kv {

TKvInternalDIB::TKvInternalDIB() { CreateDIB(1, 1, 8, 2); }

TKvInternalDIB::~TKvInternalDIB() {
  try {
    FreeStorage();
  } catch (...) {
    // A destructor must not throw; a failed unmap of our own block cannot be repaired here.
  }
}

void TKvInternalDIB::CreateDIB(int32_t NewWidth, int32_t NewHeight, int32_t BitCount, int32_t ColorCount) {
  int32_t Size = 0;
  const bool ValidBitCount = BitCount == 1 || BitCount == 4 || BitCount == 8 || BitCount == 24;
  if (NewWidth <= 0 || NewHeight == 0 || ColorCount < 0 || ColorCount > 256 || !ValidBitCount ||
      !DIBBlockSize(NewWidth, NewHeight, BitCount, Size))
    throw EKvDIBInvalidDIBPara("TKvInternalDIB.CreateDIB: Invalid Parameters");

  TFileMapBlock Block(Size);  // zero-filled
  HandOver(Block, Info);
  PaletteHandle.reset();
  Width = NewWidth;
  Height = static_cast<int32_t>(RowCount(NewHeight));

  BITMAPINFOHEADER& H = Info.Header;
  H.biSize = sizeof(BITMAPINFOHEADER);
  H.biWidth = NewWidth;
  H.biHeight = NewHeight;
  H.biPlanes = 1;
  H.biBitCount = static_cast<uint16_t>(BitCount);
  H.biCompression = kBiRGB;
  H.biXPelsPerMeter = 0;
  H.biYPelsPerMeter = 0;
  H.biClrUsed = static_cast<uint32_t>(ColorCount);
  H.biClrImportant = 0;
  std::memset(Info.Colors, 0, 256 * sizeof(RGBQUAD));
  PaletteChanged = 1;
}

void TKvInternalDIB::FreeStorage() {
  TakeBlock(Info).Release();
  PaletteHandle.reset();
}

void TKvInternalDIB::InstallInfo(TKvOwnedInfo New) {
  TFileMapBlock Old = TakeBlock(Info);
  Info = New.Release();
  Width = Info.Header.biWidth;
  Height = static_cast<int32_t>(RowCount(Info.Header.biHeight));
  try {
    Old.Release();
  } catch (...) {
    UpdatePalette();
    throw;
  }
  UpdatePalette();
}

TKvStorageRef TKvStorageRef::New() { return TKvStorageRef(new TKvInternalDIB); }

TKvStorageRef TKvStorageRef::Share(TKvInternalDIB& Storage) {
  ++Storage.RefCount;
  return TKvStorageRef(&Storage);
}

void TKvStorageRef::Reset() noexcept {
  TKvInternalDIB* const Storage = std::exchange(m_Storage, nullptr);
  if (Storage && --Storage->RefCount == 0) delete Storage;
}

void TKvInternalDIB::UpdatePalette() {
  AssertDIB(RefCount == 1, "TKvInternalDIB.UpdatePalette: RefCount Must be 1");
  PaletteHandle.reset();
  PaletteChanged = 1;
}

TKvPixelFormat TKvInternalDIB::GetPixelFormat() const { return kv::GetPixelFormat(Info); }

TKvPixelFormat GetPixelFormat(const TKvDIBInfo& Info) {
  const uint32_t C = Info.Header.biCompression;
  switch (Info.Header.biBitCount) {
    case 1:
      if (C == kBiRGB) return kvPf1Bit;
      throw EKvDIBInvalidDIB("TKvInternalDIB.GetPixelFormat: Invalid DIB(1Bit)");
    case 4:
      if (C == kBiRGB) return kvPf4Bit;
      if (C == kBiRLE4) return kvPf4BitRLE;
      throw EKvDIBInvalidDIB("TKvInternalDIB.GetPixelFormat: Invalid DIB(4Bit)");
    case 8:
      if (C == kBiRGB) return kvPf8Bit;
      if (C == kBiRLE8) return kvPf8BitRLE;
      throw EKvDIBInvalidDIB("TKvInternalDIB.GetPixelFormat: Invalid DIB(8Bit)");
    case 24:
      if (C == kBiRGB) return kvPf24Bit;
      throw EKvDIBInvalidDIB("TKvInternalDIB.GetPixelFormat: Invalid DIB(24Bit)");
    default: throw EKvDIBInvalidDIB("TKvInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)");
  }
}

}  // namespace kv
