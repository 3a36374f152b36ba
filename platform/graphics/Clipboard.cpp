#include "platform/graphics/Clipboard.h"

#include <utility>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/SpinLock.h"
#include "platform/framework/Graphic.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/graphics/GlobalMemory.h"
#include "platform/graphics/Picture.h"

namespace kv {

namespace {

struct TData {
  uint16_t Format;
  HANDLE Handle;
};

struct TStore {
  TSpinLock Mutex;
  std::vector<TData> Data;
  const TClipboard* Holder = nullptr;  // the object that has the clipboard open

  // The blocks are freed when the store goes at exit, so the tables they live in must be
  // made first (and so go later).
  TStore() {
    GlobalBlocksInUse();
    GdiObjectsInUse();
  }
  ~TStore() { FreeAll(); }

  static void Free(const TData& D) {
    if (D.Format == kCF_Bitmap || D.Format == kCF_Palette)
      DeleteObject(D.Handle);
    else
      GlobalFree(D.Handle);
  }
  void FreeAll() {
    for (const TData& D : Data) Free(D);
    Data.clear();
  }
};

TStore& store() {
  static TStore Store;
  return Store;
}

using TLock = TSpinGuard;

// Opens for the span of one operation.
class TOpened {
 public:
  explicit TOpened(const TClipboard& C) : m_C(C) { m_C.Open(); }
  ~TOpened() { m_C.Close(); }
  TOpened(const TOpened&) = delete;
  TOpened& operator=(const TOpened&) = delete;

 private:
  const TClipboard& m_C;
};

}  // namespace

TClipboard::TClipboard() { store(); }

TClipboard::~TClipboard() {
  TStore& S = store();
  TLock Lock(S.Mutex);
  if (S.Holder == this) S.Holder = nullptr;
}

void TClipboard::Open() const {
  TStore& S = store();
  TLock Lock(S.Mutex);
  if (m_OpenCount == 0) {
    if (S.Holder != nullptr && S.Holder != this) throw EClipboardException("Cannot open clipboard");
    S.Holder = this;
    m_Emptied = false;
  }
  ++m_OpenCount;
}

void TClipboard::Close() const {
  if (m_OpenCount == 0) return;
  TStore& S = store();
  TLock Lock(S.Mutex);
  if (--m_OpenCount == 0) S.Holder = nullptr;
}

void TClipboard::Clear() {
  const TOpened Opened(*this);
  TStore& S = store();
  TLock Lock(S.Mutex);
  S.FreeAll();
  m_Emptied = true;
}

void TClipboard::adding() {
  if (!m_Emptied) Clear();
}

bool TClipboard::HasFormat(uint16_t Format) const { return GetAsHandle(Format) != nullptr; }

int32_t TClipboard::FormatCount() const {
  TStore& S = store();
  TLock Lock(S.Mutex);
  return static_cast<int32_t>(S.Data.size());
}

uint16_t TClipboard::Formats(int32_t Index) const {
  TStore& S = store();
  TLock Lock(S.Mutex);
  return Index >= 0 && Index < static_cast<int32_t>(S.Data.size()) ? S.Data[static_cast<size_t>(Index)].Format
                                                                   : 0;
}

HANDLE TClipboard::GetAsHandle(uint16_t Format) const {
  const TOpened Opened(*this);
  TStore& S = store();
  TLock Lock(S.Mutex);
  for (const TData& D : S.Data)
    if (D.Format == Format) return D.Handle;
  return nullptr;
}

void TClipboard::SetAsHandle(uint16_t Format, HANDLE Value) {
  const TOpened Opened(*this);
  adding();
  TStore& S = store();
  TLock Lock(S.Mutex);
  for (TData& D : S.Data)
    if (D.Format == Format) {
      TStore::Free(std::exchange(D, TData{Format, Value}));
      return;
    }
  S.Data.push_back(TData{Format, Value});
}

void TClipboard::Assign(const TPersistent* Source) {
  const TGraphic* Graphic = dynamic_cast<const TGraphic*>(Source);
  if (const auto* Picture = dynamic_cast<const TPicture*>(Source)) Graphic = Picture->Graphic();
  if (Graphic == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  const TOpened Opened(*this);
  uint16_t Format = 0;
  HANDLE Data = nullptr;
  HPALETTE Palette = nullptr;
  Graphic->SaveToClipboardFormat(Format, Data, Palette);
  SetAsHandle(Format, Data);
  if (Palette != nullptr) SetAsHandle(kCF_Palette, Palette);
}

TClipboard& Clipboard() {
  static TClipboard Instance;
  return Instance;
}

}  // namespace kv
