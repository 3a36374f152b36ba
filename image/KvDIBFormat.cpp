// Pixel-format changes: the TKvDIB front end with its progress reporting, and the driver
// that runs a route of one to three conversion routines through temporary descriptors.
#include <array>
#include <optional>

#include "image/KvDIB.h"
#include "image/KvDIBRoutes.h"
#include "image/reduce/KvQuantize.h"

namespace kv {

namespace {

[[noreturn]] void route_error() { throw EKvDIBAssert("TKvIntenalDIB.SetPixelsFormat: PixelFormat Error"); }

void run_step(const TKvRouteStep& Step, const TKvDIBInfo& Src, TKvDIBInfo& Dst, uint8_t Fine,
              COLORREF Background, const TKvProgressProc& Progress) {
  using TKind = TKvRouteStep::TKind;
  switch (Step.Kind) {
    case TKind::Plain: Step.Plain(Src, Dst); return;
    case TKind::Key: Step.Key(Src, Dst, Background); return;
    case TKind::Reduce: (Fine == 1 ? Step.High : Step.Low)(Src, Dst, Progress); return;
    case TKind::None: break;
  }
  route_error();
}

}  // namespace

TKvOwnedInfo ConvertPixelsFormat(const TKvDIBInfo& Src, TKvPixelFormat Target, uint8_t Fine,
                                 COLORREF Background, const TKvProgressProc& Progress) {
  const TKvPixelFormat Source = GetPixelFormat(Src);
  if (Target > kvPfHalfToneBW) route_error();
  // For a true-colour source the fine value is judged first (the halftones ignore it).
  const bool Halftone = Target == kvPfHalfTone || Target == kvPfHalfToneBW;
  if (Source == kvPf24Bit && !Halftone && Fine > 1) route_error();
  const TKvRoute* Route = FindRoute(Source, Target);
  if (Route == nullptr) route_error();

  // Step 1 converts the source into T[0], each further step the previous temporary. Every
  // temporary owns its block from the moment its step succeeded, and the array releases
  // them in reverse order, so intermediate blocks go innermost first.
  const size_t Steps = Route->StepCount();
  std::array<TKvOwnedInfo, kMaxRouteSteps> T;
  const TKvDIBInfo* From = &Src;
  for (size_t I = 0; I < Steps; ++I) {
    TKvDIBInfo Result{};
    run_step(Route->Steps[I], *From, Result, Fine, Background, Progress);
    T[I] = TKvOwnedInfo::Adopt(Result);
    From = &T[I].Info();
  }
  return std::move(T[Steps - 1]);
}

void SetPixelsFormat(TKvInternalDIB& Storage, TKvPixelFormat Target, uint8_t Fine, COLORREF Background,
                     const TKvProgressProc& Progress) {
  // The new image becomes the storage's; the old block goes only after it is complete (the
  // intermediate blocks are gone already, innermost first, so the peak is lower).
  Storage.InstallInfo(ConvertPixelsFormat(Storage.Info, Target, Fine, Background, Progress));
}

void TKvDIB::SetPixelFormat(TKvPixelFormat Target) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SetPixelFormat: InternalDIB Should not be Nil");
  const TKvPixelFormat Current = GetPixelFormat();
  if (Current == Target) return;
  const std::optional<TKvProgressPlan> Plan = ProgressPlanFor(Current, Target);
  const uint8_t Fine = FineMethod ? 1 : 0;
  const COLORREF Background = ColorToRGB(BackgroundColor);
  ReplaceImage(Plan ? &*Plan : nullptr, [&](const TKvDIBInfo& Src, const TKvProgressProc& Step) {
    return ConvertPixelsFormat(Src, Target, Fine, Background, Step);
  });
}

void TKvDIB::Quantize(const TKvQuantizeOptions& Options) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.Quantize: InternalDIB Should not be Nil");
  const TKvProgressPlan Plan{
      QuantizeProgressTotal(Options),
      std::string("Quantize 24Bit -> ") + (QuantizeBitCount(Options.Colors) == 8 ? "8Bit" : "4Bit")};
  ReplaceImage(&Plan, [&Options](const TKvDIBInfo& Src, const TKvProgressProc& Step) {
    TKvDIBInfo Out{};
    QuantizeTrueColor(Src, Out, Options, Step);
    return TKvOwnedInfo::Adopt(Out);
  });
}

void TKvDIB::ReplaceImage(
    const TKvProgressPlan* Plan,
    const std::function<TKvOwnedInfo(const TKvDIBInfo&, const TKvProgressProc&)>& Convert) {
  // Shared storage is not copied first: a conversion only reads its source, so it reads the
  // shared image as it is, and a fresh storage object takes the result. That is the image
  // a private copy converted in place would give, without copying the pixels.
  if (Plan) {
    PrepareProgress(Plan->Total, Plan->Message);
    ProgressBegin();
  }
  try {
    TKvOwnedInfo Result = Convert(m_Storage->Info, [this] { ProgressStep(); });
    if (m_Storage->RefCount != 1) {
      TKvStorageRef Fresh = TKvStorageRef::New();
      Fresh->FreeStorage();
      Fresh->InstallInfo(std::move(Result));
      InstallStorage(std::move(Fresh));
    } else {
      // The old block goes only after the new image is complete.
      m_Storage->InstallInfo(std::move(Result));
    }
  } catch (...) {
    // A failed conversion of shared storage leaves it shared (a private copy would have
    // left its palette marked dirty, so this does too).
    if (m_Storage->RefCount == 1)
      UpdatePaletteModified();
    else
      SetPaletteDirty(true);
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
