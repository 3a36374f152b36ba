#include "platform/framework/Graphic.h"

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

}  // namespace kv
