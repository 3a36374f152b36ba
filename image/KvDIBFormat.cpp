// Pixel-format changes: the TKvDIB front end with its progress reporting, and the driver
// that runs a route of one to three conversion routines through temporary descriptors.
#include <array>
#include <functional>
#include <optional>

#include "image/KvDIB.h"
#include "image/convert/KvHalftone.h"
#include "image/convert/KvRLE.h"
#include "image/convert/KvTo1Bit.h"
#include "image/convert/KvUpConvert.h"
#include "image/reduce/KvReduce.h"

namespace kv {

namespace {

using TStep = std::function<void(const TKvDIBInfo&, TKvDIBInfo&)>;

// Owns a temporary descriptor's pixel block from the moment a step filled it.
class TTempBlockGuard {
 public:
  explicit TTempBlockGuard(TKvDIBInfo& Info) : m_Info(&Info) {}
  ~TTempBlockGuard() {
    if (m_Info) {
      try {
        ReleaseDIBInfoBits(*m_Info);
      } catch (...) {
        // Releasing our own temporary cannot fail short of a broken process.
      }
    }
  }
  void Dismiss() { m_Info = nullptr; }
  TTempBlockGuard(const TTempBlockGuard&) = delete;
  TTempBlockGuard& operator=(const TTempBlockGuard&) = delete;

 private:
  TKvDIBInfo* m_Info;
};

struct TProgressPlan {
  int32_t Total;
  const char* Message;
};

// The pairs whose route contains a colour reduction report progress.
std::optional<TProgressPlan> ProgressPlanFor(TKvPixelFormat From, TKvPixelFormat To) {
  if (From == kvPf8Bit && To == kvPf4Bit) return TProgressPlan{16, "PixelFormat 8Bit -> 4Bit"};
  if (From == kvPf8Bit && To == kvPf4BitRLE) return TProgressPlan{16, "PixelFormat 8Bit -> 4BitRLE"};
  if (From == kvPf8BitRLE && To == kvPf4Bit) return TProgressPlan{16, "PixelFormat 8BitRLE -> 4Bit"};
  if (From == kvPf8BitRLE && To == kvPf4BitRLE) return TProgressPlan{16, "PixelFormat 8BitRLE -> 4BitRLE"};
  if (From == kvPf24Bit && To == kvPf4Bit) return TProgressPlan{16, "PixelFormat 24Bit -> 4Bit"};
  if (From == kvPf24Bit && To == kvPf4BitRLE) return TProgressPlan{16, "PixelFormat 24Bit -> 4BitRLE"};
  if (From == kvPf24Bit && To == kvPf8Bit) return TProgressPlan{256, "PixelFormat 24Bit -> 8Bit"};
  if (From == kvPf24Bit && To == kvPf8BitRLE) return TProgressPlan{256, "PixelFormat 24Bit -> 8BitRLE"};
  return std::nullopt;
}

[[noreturn]] void RouteError() {
  AssertDIB(false, "TKvIntenalDIB.SetPixelsFormat: PixelFormat Error");
  throw EKvDIBAssert("TKvIntenalDIB.SetPixelsFormat: PixelFormat Error");  // not reached
}

// The chain of routines from a storage format to a target; empty when the pair is not
// convertible.
std::vector<TStep> RouteFor(TKvPixelFormat From, TKvPixelFormat To, uint8_t Fine, COLORREF Background,
                            const TKvProgressProc& Progress) {
  using R = std::vector<TStep>;
  auto Key = [Background](void (*F)(const TKvDIBInfo&, TKvDIBInfo&, COLORREF)) -> TStep {
    return [F, Background](const TKvDIBInfo& S, TKvDIBInfo& D) { F(S, D, Background); };
  };
  auto Reduce = [&Progress](void (*F)(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&)) -> TStep {
    return [F, &Progress](const TKvDIBInfo& S, TKvDIBInfo& D) { F(S, D, Progress); };
  };

  if (To == kvPfHalfTone || To == kvPfHalfToneBW) {
    const TStep Halftone = To == kvPfHalfTone ? TStep(ConvertToHalfTone) : TStep(ConvertToHalfToneBW);
    if (From == kvPf4BitRLE) return R{Convert4BitRLETo4BitRGB, Halftone};
    if (From == kvPf8BitRLE) return R{Convert8BitRLETo8BitRGB, Halftone};
    return R{Halftone};
  }

  switch (From) {
    case kvPf1Bit:
      switch (To) {
        case kvPf4Bit: return R{Convert1BitRGBTo4BitRGB};
        case kvPf4BitRLE: return R{Convert1BitRGBTo4BitRGB, Convert4BitRGBTo4BitRLE};
        case kvPf8Bit: return R{Convert1BitRGBTo8BitRGB};
        case kvPf8BitRLE: return R{Convert1BitRGBTo8BitRGB, Convert8BitRGBTo8BitRLE};
        case kvPf24Bit: return R{Convert1BitRGBToTrueColor};
        default: return R{};
      }
    case kvPf4Bit:
      switch (To) {
        case kvPf1Bit: return R{Key(Convert4BitRGBTo1BitRGB)};
        case kvPf4BitRLE: return R{Convert4BitRGBTo4BitRLE};
        case kvPf8Bit: return R{Convert4BitRGBTo8BitRGB};
        case kvPf8BitRLE: return R{Convert4BitRGBTo8BitRGB, Convert8BitRGBTo8BitRLE};
        case kvPf24Bit: return R{Convert4BitRGBToTrueColor};
        default: return R{};
      }
    case kvPf4BitRLE:
      switch (To) {
        case kvPf1Bit: return R{Convert4BitRLETo4BitRGB, Key(Convert4BitRGBTo1BitRGB)};
        case kvPf4Bit: return R{Convert4BitRLETo4BitRGB};
        case kvPf8Bit: return R{Convert4BitRLETo4BitRGB, Convert4BitRGBTo8BitRGB};
        case kvPf8BitRLE: return R{Convert4BitRLETo4BitRGB, Convert4BitRGBTo8BitRGB, Convert8BitRGBTo8BitRLE};
        case kvPf24Bit: return R{Convert4BitRLETo4BitRGB, Convert4BitRGBToTrueColor};
        default: return R{};
      }
    case kvPf8Bit:
      switch (To) {
        case kvPf1Bit: return R{Key(Convert8BitTo1BitRGB)};
        case kvPf4Bit: return R{Reduce(Convert8BitRGBTo4BitRGB)};
        case kvPf4BitRLE: return R{Reduce(Convert8BitRGBTo4BitRGB), Convert4BitRGBTo4BitRLE};
        case kvPf8BitRLE: return R{Convert8BitRGBTo8BitRLE};
        case kvPf24Bit: return R{Convert8BitRGBToTrueColor};
        default: return R{};
      }
    case kvPf8BitRLE:
      switch (To) {
        case kvPf1Bit: return R{Convert8BitRLETo8BitRGB, Key(Convert8BitTo1BitRGB)};
        case kvPf4Bit: return R{Convert8BitRLETo8BitRGB, Reduce(Convert8BitRGBTo4BitRGB)};
        case kvPf4BitRLE:
          return R{Convert8BitRLETo8BitRGB, Reduce(Convert8BitRGBTo4BitRGB), Convert4BitRGBTo4BitRLE};
        case kvPf8Bit: return R{Convert8BitRLETo8BitRGB};
        case kvPf24Bit: return R{Convert8BitRLETo8BitRGB, Convert8BitRGBToTrueColor};
        default: return R{};
      }
    case kvPf24Bit: {
      if (Fine > 1) return R{};
      const bool High = Fine == 1;
      const TStep To8 = Reduce(High ? ConvertTrueColorTo8BitRGBHigh : ConvertTrueColorTo8BitRGBLow);
      const TStep To4 = Reduce(High ? ConvertTrueColorTo4BitRGBHigh : ConvertTrueColorTo4BitRGBLow);
      switch (To) {
        case kvPf1Bit: return R{Key(ConvertTrueColorTo1BitRGB)};
        case kvPf4Bit: return R{To4};
        case kvPf4BitRLE: return R{To4, Convert4BitRGBTo4BitRLE};
        case kvPf8Bit: return R{To8};
        case kvPf8BitRLE: return R{To8, Convert8BitRGBTo8BitRLE};
        default: return R{};
      }
    }
    default: return R{};
  }
}

}  // namespace

void SetPixelsFormat(TKvInternalDIB& Storage, TKvPixelFormat Target, uint8_t Fine, COLORREF Background,
                     const TKvProgressProc& Progress) {
  const TKvPixelFormat Source = Storage.GetPixelFormat();
  if (Target > kvPfHalfToneBW) RouteError();
  const std::vector<TStep> Route = RouteFor(Source, Target, Fine, Background, Progress);
  if (Route.empty()) RouteError();

  // Step 1 converts the storage into T[0]; each further step converts the previous
  // temporary, whose block its guard releases on every exit. The guards are destroyed in
  // reverse order, so intermediate blocks go innermost first.
  std::array<TKvDIBInfo, 3> T{};
  std::array<std::optional<TTempBlockGuard>, 3> Guards;
  const TKvDIBInfo* From = &Storage.Info;
  for (size_t I = 0; I < Route.size(); ++I) {
    Route[I](*From, T[I]);
    Guards[I].emplace(T[I]);
    From = &T[I];
  }

  // The last block now becomes the storage's; the old one goes only after the new
  // content is complete.
  TKvDIBInfo& Last = T[Route.size() - 1];
  Guards[Route.size() - 1]->Dismiss();
  TKvDIBInfo Old = Storage.Info;
  Storage.Info = Last;
  Storage.Width = Last.Header.biWidth;
  try {
    if (Old.Bits) ReleaseFileMap(Old.MapHandle, Old.Bits);
  } catch (...) {
    // Keep the new image installed: its block is owned by the storage from here on.
    Storage.UpdatePalette();
    throw;
  }
  Storage.UpdatePalette();
}

void TKvDIB::SetPixelFormat(TKvPixelFormat Target) {
  AssertDIB(m_InternalDIB != nullptr, "TKvDIB.SetPixelFormat: InternalDIB Should not be Nil");
  const TKvPixelFormat Current = GetPixelFormat();
  if (Current == Target) return;
  UniqueDIB();

  const std::optional<TProgressPlan> Plan = ProgressPlanFor(Current, Target);
  if (Plan) {
    PrepareProgress(Plan->Total, Plan->Message);
    ProgressBegin();
  }
  try {
    SetPixelsFormat(*m_InternalDIB, Target, FineMethod ? 1 : 0, ColorToRGB(BackgroundColor),
                    [this] { ProgressStep(); });
  } catch (...) {
    UpdatePaletteModified();
    if (Plan) ProgressEnd();
    throw;
  }
  UpdatePaletteModified();
  if (Plan) ProgressEnd();
  NotifyChange(this);
}

void TKvDIB::PrepareProgress(int32_t Total, const std::string& Message) {
  ProgressMessage = Message;
  ProgressTotal = Total;
  ProgressCount = 0;
}

TRect TKvDIB::ProgressRect() const { return TRect{0, 0, GetWidth(), GetHeight()}; }

void TKvDIB::ProgressBegin() {
  NotifyProgress(this, TProgressStage::Starting, 0, false, ProgressRect(), ProgressMessage);
}

void TKvDIB::ProgressStep() {
  ++ProgressCount;
  // The step that completes the total is reported by ProgressEnd instead.
  if (ProgressCount == ProgressTotal || ProgressTotal <= 0) return;
  const int32_t Percent = ProgressCount * 100 / ProgressTotal;
  NotifyProgress(this, TProgressStage::Running, static_cast<uint8_t>(Percent), false, ProgressRect(),
                 ProgressMessage);
}

void TKvDIB::ProgressEnd() {
  NotifyProgress(this, TProgressStage::Ending, 100, true, ProgressRect(), ProgressMessage);
}

}  // namespace kv
