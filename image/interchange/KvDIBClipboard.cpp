// Clipboard interchange: CF_DIB data (a packed DIB in a movable global memory block) loaded
// into and saved from TKvInternalDIB and TKvDIB, the same packed DIB as plain bytes, and
// TKvGraphic's assignment from the clipboard object. The bytes themselves are parsed and
// written by KvPackedDIB, which never reads beyond the block's size.
#include <cstring>
#include <utility>

#include "image/KvDIB.h"
#include "image/interchange/KvPackedDIB.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/GlobalMemory.h"

namespace kv {

namespace {

constexpr char kInvalidFormatOrNoData[] =
    "TKvDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data";
constexpr char kSaveOutOfMemory[] = "TKvInternalDIB.SaveToClipboardFormat: Out Of Memory";

// Keeps the clipboard object open for a scope (its opening is counted, so the calls made
// inside do not close it early).
class TClipboardOpen {
 public:
  explicit TClipboardOpen(const TClipboard& Clipboard) : m_Clipboard(Clipboard) { m_Clipboard.Open(); }
  ~TClipboardOpen() { m_Clipboard.Close(); }
  TClipboardOpen(const TClipboardOpen&) = delete;
  TClipboardOpen& operator=(const TClipboardOpen&) = delete;

 private:
  const TClipboard& m_Clipboard;
};

}  // namespace

void TKvGraphic::Assign(const TPersistent* Source) {
  const auto* Clip = dynamic_cast<const TClipboard*>(Source);
  if (Clip == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  // Open for the whole load, so the block stays valid while it is parsed.
  const TClipboardOpen Opened(*Clip);
  const auto Format = static_cast<uint16_t>(ClipboardFormat());
  const HANDLE Data = Clip->GetAsHandle(Format);
  const auto Palette = static_cast<HPALETTE>(Clip->GetAsHandle(kCF_Palette));
  LoadFromClipboardFormat(Format, Data, Palette);
}

void TKvInternalDIB::LoadFromPackedDIB(std::span<const uint8_t> Block) { InstallInfo(ParsePackedDIB(Block)); }

void TKvInternalDIB::LoadFromClipboardFormat(HGLOBAL Block) {
  const TGlobalLock Locked(Block);  // unlocked on every exit path
  if (Locked.Data() == nullptr) throw EKvDIBInvalidDIB(kMsgInvalidClipboardData);
  // The usable size, slack included: that slack becomes part of the pixel memory.
  LoadFromPackedDIB(std::span<const uint8_t>(Locked.Data(), Locked.Size()));
}

HGLOBAL TKvInternalDIB::SaveToClipboardFormat() const {
  const auto Size = static_cast<size_t>(PackedDIBSize(Info));
  TGlobalBlock Block(GlobalAlloc(kGMemMoveable | kGMemZeroInit, Size));
  if (!Block) throw EOutOfMemory(kSaveOutOfMemory);
  {
    const TGlobalLock Locked(Block.get());
    if (Locked.Data() == nullptr) throw EOutOfMemory(kSaveOutOfMemory);
    WritePackedDIB(Info, std::span<uint8_t>(Locked.Data(), Size));
  }
  return Block.release();
}

void TKvDIB::LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE /*Palette: not used*/) {
  if (Format != kCF_DIB || Data == nullptr) throw EInvalidGraphic(kInvalidFormatOrNoData);
  // As a stream load: the graphic holds the default image until the parse has succeeded.
  InstallStorage(TKvStorageRef::New());
  m_Storage->LoadFromClipboardFormat(Data);
  UpdatePaletteModified();
  NotifyChange(this);
}

void TKvDIB::SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SaveToClipboardFormat: InternalDIB Should not be Nil");
  Data = m_Storage->SaveToClipboardFormat();
  Format = kCF_DIB;
  Palette = nullptr;
}

void TKvDIB::LoadFromPackedDIB(std::span<const uint8_t> Block) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.LoadFromPackedDIB: InternalDIB Should not be Nil");
  TKvStorageRef Fresh = TKvStorageRef::New();
  Fresh->LoadFromPackedDIB(Block);
  InstallStorage(std::move(Fresh));
  UpdatePaletteModified();
  NotifyChange(this);
}

std::vector<uint8_t> TKvDIB::SaveToPackedDIB() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SaveToPackedDIB: InternalDIB Should not be Nil");
  std::vector<uint8_t> Block(static_cast<size_t>(PackedDIBSize(m_Storage->Info)));
  WritePackedDIB(m_Storage->Info, Block);
  return Block;
}

}  // namespace kv
