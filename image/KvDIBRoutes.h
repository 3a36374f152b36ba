// The routing table of pixel-format changes as data: for every (source, target) pair the
// chain of one to three conversion routines that the driver runs, in order. The progress
// plan of a pair (total and message) is derived from its route: the pairs whose route
// contains a colour reduction report that reduction's steps.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "image/KvDIBInfo.h"

namespace kv {

using TKvPlainRoutine = void (*)(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
using TKvKeyRoutine = void (*)(const TKvDIBInfo& Src, TKvDIBInfo& Dst, COLORREF Background);
using TKvReduceRoutine = void (*)(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress);

// One step of a route.
struct TKvRouteStep {
  enum class TKind : uint8_t {
    None,    // no step (the route is shorter)
    Plain,   // source and destination only
    Key,     // conversions to 1 bit: the background RGB value as well
    Reduce,  // colour reductions: the progress callback as well
  };
  TKind Kind = TKind::None;
  TKvPlainRoutine Plain = nullptr;
  TKvKeyRoutine Key = nullptr;
  TKvReduceRoutine Low = nullptr;   // Reduce: the routine, or the normal one of a true-colour pair
  TKvReduceRoutine High = nullptr;  // Reduce of a true-colour source: the fine routine
  int32_t ProgressTotal = 0;        // Reduce: the steps the routine reports
};

constexpr size_t kMaxRouteSteps = 3;

struct TKvRoute {
  TKvPixelFormat From;
  TKvPixelFormat To;
  std::array<TKvRouteStep, kMaxRouteSteps> Steps;

  constexpr size_t StepCount() const {
    size_t N = 0;
    while (N < Steps.size() && Steps[N].Kind != TKvRouteStep::TKind::None) ++N;
    return N;
  }
};

// The route from a storage format to a target, or nullptr when the pair has none.
const TKvRoute* FindRoute(TKvPixelFormat From, TKvPixelFormat To);

struct TKvProgressPlan {
  int32_t Total;
  std::string Message;  // "PixelFormat 24Bit -> 8Bit" and the like
};

// The progress report of a pixel-format change, derived from its route.
std::optional<TKvProgressPlan> ProgressPlanFor(TKvPixelFormat From, TKvPixelFormat To);

// "1Bit", "4Bit", "4BitRLE", "8Bit", "8BitRLE", "24Bit" (the names the progress messages use).
const char* ProgressFormatName(TKvPixelFormat Format);

}  // namespace kv
