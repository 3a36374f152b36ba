// The graphic base class: what an image object of the runtime's graphic framework offers
// to its owner: change and progress events, the modified and palette-dirty flags, and the
// virtual geometry and stream operations that concrete graphics override.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kv {

class TStream;

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

enum class TProgressStage : uint8_t { Starting = 0, Running = 1, Ending = 2 };

class TGraphic;

using TNotifyEvent = std::function<void(TGraphic* Sender)>;
using TProgressEvent = std::function<void(TGraphic* Sender, TProgressStage Stage, uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;

class TGraphic {
 public:
  TGraphic() = default;
  virtual ~TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

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
