#include "platform/framework/Graphic.h"

#include "platform/core/Exceptions.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/streams/Stream.h"

namespace kv {

void TGraphic::NotifyChange(TGraphic* Sender) {
  m_Modified = true;
  if (OnChange) OnChange(Sender);
}

void TGraphic::NotifyProgress(TGraphic* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                              const TRect& R, const std::string& Msg) {
  if (OnProgress) OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, TFileStream::OpenRead);
  LoadFromStream(Stream);
}

void TGraphic::WriteToFile(const std::string& FileName) const {
  TFileStream Stream(FileName, TFileStream::Create);
  SaveToStream(Stream);
}

void TGraphic::PaintTo(TCanvas&, const TRect&) {}

void TGraphic::SetPalette(HPALETTE Value) {
  if (Value != nullptr) DeleteObject(Value);
}

void TGraphic::LoadFromClipboardFormat(uint16_t, HANDLE, HPALETTE) {
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::SaveToClipboardFormat(uint16_t&, HANDLE&, HPALETTE&) const {
  throw EInvalidGraphic("Unsupported clipboard format");
}

}  // namespace kv
