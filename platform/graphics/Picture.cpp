#include "platform/graphics/Picture.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/SpinLock.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Clipboard.h"

namespace kv {

namespace {

struct TFileFormat {
  std::string Extension;  // lower case, no dot
  std::string Description;
  TGraphicClass Class;
};

struct TClipboardFormat {
  uint16_t Format;
  TGraphicClass Class;
};

struct TRegistry {
  TSpinLock Mutex;
  std::vector<TFileFormat> Files;
  std::vector<TClipboardFormat> Formats;

  TRegistry() {
    Files.push_back({"bmp", "Bitmaps", GraphicClass<TBitmap>()});
    Formats.push_back({kCF_Bitmap, GraphicClass<TBitmap>()});
  }
};

TRegistry& registry() {
  static TRegistry Registry;
  return Registry;
}

std::string lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

// The extension of a file name: after the last dot of its last path component.
std::string extension_of(const std::string& FileName) {
  const size_t Slash = FileName.find_last_of("/\\");
  const size_t Dot = FileName.rfind('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return {};
  return lower(FileName.substr(Dot + 1));
}

}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(const TGraphic* Value) {
  if (Value == nullptr) {
    m_Graphic.reset();
    return;
  }
  const TGraphicClass Class = GraphicClassOf(*Value);
  if (Class == nullptr) throw EConvertError("Cannot assign a " + Value->ClassName() + " to a " + ClassName());
  std::unique_ptr<TGraphic> Copy = Class->Create();
  Copy->Assign(Value);
  m_Graphic = std::move(Copy);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string Ext = extension_of(FileName);
  const TGraphicClass Class = FileFormatClass(Ext);
  if (Class == nullptr) throw EInvalidGraphic("Unknown picture file extension (." + Ext + ")");
  std::unique_ptr<TGraphic> G = Class->Create();
  G->LoadFromFile(FileName);
  m_Graphic = std::move(G);
}

void TPicture::SaveToFile(const std::string& FileName) const {
  if (m_Graphic) m_Graphic->WriteToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE Palette) {
  const TGraphicClass Class = ClipboardFormatClass(Format);
  if (Class == nullptr) throw EInvalidGraphic("Unsupported clipboard format");
  std::unique_ptr<TGraphic> G = Class->Create();
  G->LoadFromClipboardFormat(Format, Data, Palette);
  m_Graphic = std::move(G);
}

void TPicture::SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const {
  if (m_Graphic) m_Graphic->SaveToClipboardFormat(Format, Data, Palette);
}

void TPicture::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    m_Graphic.reset();
  } else if (const auto* Picture = dynamic_cast<const TPicture*>(Source)) {
    if (Picture != this) SetGraphic(Picture->Graphic());
  } else if (const auto* Graphic = dynamic_cast<const TGraphic*>(Source)) {
    SetGraphic(Graphic);
  } else if (const auto* Clip = dynamic_cast<const TClipboard*>(Source)) {
    Clip->Open();
    try {
      uint16_t Found = 0;
      for (int32_t I = 0; I < Clip->FormatCount() && Found == 0; ++I)
        if (SupportsClipboardFormat(Clip->Formats(I))) Found = Clip->Formats(I);
      if (Found == 0) throw EInvalidGraphic("Unsupported clipboard format");
      LoadFromClipboardFormat(Found, Clip->GetAsHandle(Found),
                              static_cast<HPALETTE>(Clip->GetAsHandle(kCF_Palette)));
    } catch (...) {
      Clip->Close();
      throw;
    }
    Clip->Close();
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  TGraphicClass Class) {
  std::string Ext = lower(Extension);
  if (!Ext.empty() && Ext.front() == '.') Ext.erase(0, 1);
  TRegistry& R = registry();
  TSpinGuard Lock(R.Mutex);
  R.Files.push_back({Ext, Description, Class});
}

void TPicture::RegisterClipboardFormat(uint16_t Format, TGraphicClass Class) {
  TRegistry& R = registry();
  TSpinGuard Lock(R.Mutex);
  R.Formats.push_back({Format, Class});
}

void TPicture::UnregisterGraphicClass(TGraphicClass Class) {
  TRegistry& R = registry();
  TSpinGuard Lock(R.Mutex);
  std::erase_if(R.Files, [&](const TFileFormat& F) { return F.Class == Class; });
  std::erase_if(R.Formats, [&](const TClipboardFormat& F) { return F.Class == Class; });
}

bool TPicture::SupportsClipboardFormat(uint16_t Format) { return ClipboardFormatClass(Format) != nullptr; }

TGraphicClass TPicture::FileFormatClass(const std::string& Extension) {
  const std::string Ext = lower(Extension);
  TRegistry& R = registry();
  TSpinGuard Lock(R.Mutex);
  for (auto It = R.Files.rbegin(); It != R.Files.rend(); ++It)
    if (It->Extension == Ext) return It->Class;
  return nullptr;
}

TGraphicClass TPicture::ClipboardFormatClass(uint16_t Format) {
  TRegistry& R = registry();
  TSpinGuard Lock(R.Mutex);
  for (auto It = R.Formats.rbegin(); It != R.Formats.rend(); ++It)
    if (It->Format == Format) return It->Class;
  return nullptr;
}

std::string GraphicFileMask(TGraphicClass Class) {
  TRegistry& R = registry();
  TSpinGuard Lock(R.Mutex);
  std::string Mask;
  for (const TFileFormat& F : R.Files)
    if (Class == nullptr || F.Class == Class) Mask += (Mask.empty() ? "*." : ";*.") + F.Extension;
  return Mask;
}

std::string GraphicFilter(TGraphicClass Class) {
  std::string Filters;
  int Count = 0;
  {
    TRegistry& R = registry();
    TSpinGuard Lock(R.Mutex);
    for (const TFileFormat& F : R.Files) {
      if (Class != nullptr && F.Class != Class) continue;
      if (Count++ > 0) Filters += '|';
      Filters += F.Description + " (*." + F.Extension + ")|*." + F.Extension;
    }
  }
  if (Count > 1) {
    const std::string Mask = GraphicFileMask(Class);
    Filters = "All (" + Mask + ")|" + Mask + "|" + Filters;
  }
  return Filters;
}

std::string GraphicExtension(TGraphicClass Class) {
  TRegistry& R = registry();
  TSpinGuard Lock(R.Mutex);
  for (const TFileFormat& F : R.Files)
    if (F.Class == Class) return F.Extension;
  return {};
}

}  // namespace kv
