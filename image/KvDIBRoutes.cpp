// The routing table. Routines are listed in the order they run; the only pairs without a
// route are a storage format to itself.
#include "image/KvDIBRoutes.h"

#include "image/convert/KvHalftone.h"
#include "image/convert/KvRLE.h"
#include "image/convert/KvTo1Bit.h"
#include "image/convert/KvUpConvert.h"
#include "image/reduce/KvReduce.h"

namespace kv {

namespace {

using TKind = TKvRouteStep::TKind;

constexpr TKvRouteStep plain(TKvPlainRoutine F) { return {TKind::Plain, F, nullptr, nullptr, nullptr, 0}; }
constexpr TKvRouteStep key(TKvKeyRoutine F) { return {TKind::Key, nullptr, F, nullptr, nullptr, 0}; }
constexpr TKvRouteStep reduce(TKvReduceRoutine F, int32_t Total) {
  return {TKind::Reduce, nullptr, nullptr, F, F, Total};
}
constexpr TKvRouteStep reduce(TKvReduceRoutine Low, TKvReduceRoutine High, int32_t Total) {
  return {TKind::Reduce, nullptr, nullptr, Low, High, Total};
}

// The steps shared by several routes.
constexpr TKvRouteStep kDecode4 = plain(Convert4BitRLETo4BitRGB);
constexpr TKvRouteStep kDecode8 = plain(Convert8BitRLETo8BitRGB);
constexpr TKvRouteStep kEncode4 = plain(Convert4BitRGBTo4BitRLE);
constexpr TKvRouteStep kEncode8 = plain(Convert8BitRGBTo8BitRLE);
constexpr TKvRouteStep k4To8 = plain(Convert4BitRGBTo8BitRGB);
constexpr TKvRouteStep k4To1 = key(Convert4BitRGBTo1BitRGB);
constexpr TKvRouteStep k8To1 = key(Convert8BitTo1BitRGB);
constexpr TKvRouteStep k8To4 = reduce(Convert8BitRGBTo4BitRGB, 16);
constexpr TKvRouteStep k24To4 = reduce(ConvertTrueColorTo4BitRGBLow, ConvertTrueColorTo4BitRGBHigh, 16);
constexpr TKvRouteStep k24To8 = reduce(ConvertTrueColorTo8BitRGBLow, ConvertTrueColorTo8BitRGBHigh, 256);
constexpr TKvRouteStep kHalftone = plain(ConvertToHalfTone);
constexpr TKvRouteStep kHalftoneBW = plain(ConvertToHalfToneBW);

constexpr TKvRoute kRoutes[] = {
    {kvPf1Bit, kvPf4Bit, {plain(Convert1BitRGBTo4BitRGB)}},
    {kvPf1Bit, kvPf4BitRLE, {plain(Convert1BitRGBTo4BitRGB), kEncode4}},
    {kvPf1Bit, kvPf8Bit, {plain(Convert1BitRGBTo8BitRGB)}},
    {kvPf1Bit, kvPf8BitRLE, {plain(Convert1BitRGBTo8BitRGB), kEncode8}},
    {kvPf1Bit, kvPf24Bit, {plain(Convert1BitRGBToTrueColor)}},

    {kvPf4Bit, kvPf1Bit, {k4To1}},
    {kvPf4Bit, kvPf4BitRLE, {kEncode4}},
    {kvPf4Bit, kvPf8Bit, {k4To8}},
    {kvPf4Bit, kvPf8BitRLE, {k4To8, kEncode8}},
    {kvPf4Bit, kvPf24Bit, {plain(Convert4BitRGBToTrueColor)}},

    {kvPf4BitRLE, kvPf1Bit, {kDecode4, k4To1}},
    {kvPf4BitRLE, kvPf4Bit, {kDecode4}},
    {kvPf4BitRLE, kvPf8Bit, {kDecode4, k4To8}},
    {kvPf4BitRLE, kvPf8BitRLE, {kDecode4, k4To8, kEncode8}},
    {kvPf4BitRLE, kvPf24Bit, {kDecode4, plain(Convert4BitRGBToTrueColor)}},

    {kvPf8Bit, kvPf1Bit, {k8To1}},
    {kvPf8Bit, kvPf4Bit, {k8To4}},
    {kvPf8Bit, kvPf4BitRLE, {k8To4, kEncode4}},
    {kvPf8Bit, kvPf8BitRLE, {kEncode8}},
    {kvPf8Bit, kvPf24Bit, {plain(Convert8BitRGBToTrueColor)}},

    {kvPf8BitRLE, kvPf1Bit, {kDecode8, k8To1}},
    {kvPf8BitRLE, kvPf4Bit, {kDecode8, k8To4}},
    {kvPf8BitRLE, kvPf4BitRLE, {kDecode8, k8To4, kEncode4}},
    {kvPf8BitRLE, kvPf8Bit, {kDecode8}},
    {kvPf8BitRLE, kvPf24Bit, {kDecode8, plain(Convert8BitRGBToTrueColor)}},

    {kvPf24Bit, kvPf1Bit, {key(ConvertTrueColorTo1BitRGB)}},
    {kvPf24Bit, kvPf4Bit, {k24To4}},
    {kvPf24Bit, kvPf4BitRLE, {k24To4, kEncode4}},
    {kvPf24Bit, kvPf8Bit, {k24To8}},
    {kvPf24Bit, kvPf8BitRLE, {k24To8, kEncode8}},

    // The halftones: RLE sources are decoded first; every other source goes to the
    // halftone routine, which checks the format itself.
    {kvPf1Bit, kvPfHalfTone, {kHalftone}},
    {kvPf4Bit, kvPfHalfTone, {kHalftone}},
    {kvPf4BitRLE, kvPfHalfTone, {kDecode4, kHalftone}},
    {kvPf8Bit, kvPfHalfTone, {kHalftone}},
    {kvPf8BitRLE, kvPfHalfTone, {kDecode8, kHalftone}},
    {kvPf24Bit, kvPfHalfTone, {kHalftone}},
    {kvPf1Bit, kvPfHalfToneBW, {kHalftoneBW}},
    {kvPf4Bit, kvPfHalfToneBW, {kHalftoneBW}},
    {kvPf4BitRLE, kvPfHalfToneBW, {kDecode4, kHalftoneBW}},
    {kvPf8Bit, kvPfHalfToneBW, {kHalftoneBW}},
    {kvPf8BitRLE, kvPfHalfToneBW, {kDecode8, kHalftoneBW}},
    {kvPf24Bit, kvPfHalfToneBW, {kHalftoneBW}},
};

// The table's own rules, checked while compiling: every route has one to three steps with
// no gap, leads from a storage format to another format, appears once, and reduces at most
// once (so its progress plan is one reduction's).
constexpr bool routes_are_sound() {
  for (size_t I = 0; I < std::size(kRoutes); ++I) {
    const TKvRoute& R = kRoutes[I];
    const size_t N = R.StepCount();
    if (N == 0 || N > kMaxRouteSteps) return false;
    for (size_t K = N; K < kMaxRouteSteps; ++K)
      if (R.Steps[K].Kind != TKind::None) return false;
    if (R.From > kvPf24Bit || R.To > kvPfHalfToneBW || R.From == R.To) return false;
    int Reductions = 0;
    for (size_t K = 0; K < N; ++K) Reductions += R.Steps[K].Kind == TKind::Reduce;
    if (Reductions > 1) return false;
    for (size_t J = I + 1; J < std::size(kRoutes); ++J)
      if (kRoutes[J].From == R.From && kRoutes[J].To == R.To) return false;
  }
  // Every storage format converts to every other format and to both halftones.
  return std::size(kRoutes) == 6 * 5 + 6 * 2;
}
static_assert(routes_are_sound(), "the routing table breaks its own rules");

}  // namespace

const TKvRoute* FindRoute(TKvPixelFormat From, TKvPixelFormat To) {
  for (const TKvRoute& R : kRoutes)
    if (R.From == From && R.To == To) return &R;
  return nullptr;
}

const char* ProgressFormatName(TKvPixelFormat Format) {
  switch (Format) {
    case kvPf1Bit: return "1Bit";
    case kvPf4Bit: return "4Bit";
    case kvPf4BitRLE: return "4BitRLE";
    case kvPf8Bit: return "8Bit";
    case kvPf8BitRLE: return "8BitRLE";
    case kvPf24Bit: return "24Bit";
    case kvPfHalfTone: return "HalfTone";
    case kvPfHalfToneBW: return "HalfToneBW";
  }
  return "?";
}

std::optional<TKvProgressPlan> ProgressPlanFor(TKvPixelFormat From, TKvPixelFormat To) {
  const TKvRoute* R = FindRoute(From, To);
  if (R == nullptr) return std::nullopt;
  for (size_t K = 0; K < R->StepCount(); ++K)
    if (R->Steps[K].Kind == TKind::Reduce)
      return TKvProgressPlan{
          R->Steps[K].ProgressTotal,
          std::string("PixelFormat ") + ProgressFormatName(From) + " -> " + ProgressFormatName(To)};
  return std::nullopt;
}

}  // namespace kv
