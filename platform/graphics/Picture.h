// TPicture: a holder of any graphic, and the registry of graphic classes by file extension
// and clipboard format. Loading a file picks the class registered for its extension (the
// latest registration wins; extensions compare without case); loading clipboard data picks
// the class registered for its format. TBitmap is registered for "bmp" ("Bitmaps") and for
// kCF_Bitmap from the start.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/framework/Graphic.h"
#include "platform/framework/GraphicClass.h"
#include "platform/framework/Persistent.h"
#include "platform/graphics/GdiTypes.h"

namespace kv {

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;

  // The graphic held (nullptr: none), owned by the picture.
  TGraphic* Graphic() const { return m_Graphic.get(); }
  // Holds a copy of Value: a new graphic of its class given Value's content (nullptr:
  // none). A class never named with GraphicClass<> cannot be copied (EConvertError).
  void SetGraphic(const TGraphic* Value);
  int32_t Width() const { return m_Graphic ? m_Graphic->GetWidth() : 0; }
  int32_t Height() const { return m_Graphic ? m_Graphic->GetHeight() : 0; }

  // Raises EInvalidGraphic "Unknown picture file extension (.<ext>)" for an extension no
  // class is registered for. The picture keeps its graphic when loading fails.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  // Raises EInvalidGraphic "Unsupported clipboard format" for a format no class is
  // registered for.
  void LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE Palette);
  void SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const;

  // nullptr (no graphic), a TPicture or a TGraphic (copied), or a TClipboard (its first
  // data of a registered format is loaded, with its kCF_Palette data as the palette).
  void Assign(const TPersistent* Source) override;

  // The registry. Extensions are given without the dot.
  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 TGraphicClass Class);
  static void RegisterClipboardFormat(uint16_t Format, TGraphicClass Class);
  // Removes every registration of Class.
  static void UnregisterGraphicClass(TGraphicClass Class);
  static bool SupportsClipboardFormat(uint16_t Format);
  // The class registered for an extension or a clipboard format; nullptr when none is.
  static TGraphicClass FileFormatClass(const std::string& Extension);
  static TGraphicClass ClipboardFormatClass(uint16_t Format);

 private:
  std::unique_ptr<TGraphic> m_Graphic;
};

// The file-filter list of the registered formats of Class (nullptr: of all classes), in
// the order of registration: "Description (*.ext)|*.ext" for each, joined by "|", after
// "All (*.a;*.b)|*.a;*.b" when there is more than one.
std::string GraphicFilter(TGraphicClass Class = nullptr);
// "*.a;*.b": the masks of the registered extensions of Class (nullptr: all).
std::string GraphicFileMask(TGraphicClass Class = nullptr);
// The first extension registered for Class; empty when none is.
std::string GraphicExtension(TGraphicClass Class);

}  // namespace kv
