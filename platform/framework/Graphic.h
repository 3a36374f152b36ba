// The graphic base class: what an image object of the runtime's graphic framework offers
// to its owner: change and progress events, the modified and palette-dirty flags, and the
// virtual geometry, drawing, palette, stream and clipboard operations that concrete
// graphics override.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/framework/GraphicClass.h"
#include "platform/framework/Persistent.h"
#include "platform/graphics/GdiTypes.h"

namespace kv {

class TStream;
class TCanvas;

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

enum class TProgressStage : uint8_t { Starting = 0, Running = 1, Ending = 2 };

class TGraphic;

using TNotifyEvent = std::function<void(TGraphic* Sender)>;
using TProgressEvent = std::function<void(TGraphic* Sender, TProgressStage Stage, uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;

class TGraphic : public TPersistent {
 public:
  TGraphic() = default;
  ~TGraphic() override = default;

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

  bool Modified() const { return m_Modified; }
  void SetModified(bool Value) { m_Modified = Value; }
  bool PaletteDirty() const { return m_PaletteDirty; }
  void SetPaletteDirty(bool Value) { m_PaletteDirty = Value; }

  virtual bool GetEmpty() const = 0;
  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual void SetWidth(int32_t Value) = 0;
  virtual void SetHeight(int32_t Value) = 0;

  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) const = 0;
  // Opens a file stream and loads from it / creates a file and saves into it.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void WriteToFile(const std::string& FileName) const;

  // Draws the graphic stretched into Rect of Canvas; TCanvas::StretchDraw and Draw call
  // this. A graphic that cannot draw itself draws nothing.
  virtual void PaintTo(TCanvas& Canvas, const TRect& Rect);

  // The graphic's palette, still owned by the graphic (nullptr: none). SetPalette hands a
  // palette to the graphic, which owns it from then on; the base has no use for one and
  // deletes it.
  virtual HPALETTE GetPalette() const { return nullptr; }
  virtual void SetPalette(HPALETTE Value);

  // Clipboard data: loading from a block of the given format (the block stays the
  // caller's) and producing a new block that belongs to the caller. The base handles no
  // format and raises EInvalidGraphic "Unsupported clipboard format".
  virtual void LoadFromClipboardFormat(uint16_t Format, HANDLE Data, HPALETTE Palette);
  virtual void SaveToClipboardFormat(uint16_t& Format, HANDLE& Data, HPALETTE& Palette) const;

 protected:
  // Marks the graphic modified and calls the change handler.
  virtual void NotifyChange(TGraphic* Sender);
  // Calls the progress handler when one is set. A handler may raise to abort the work.
  void NotifyProgress(TGraphic* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                      const TRect& R, const std::string& Msg);

 private:
  bool m_Modified = false;
  bool m_PaletteDirty = false;
};

}  // namespace kv
