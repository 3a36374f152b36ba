// Ward merging of palette entries.
#include "image/reduce/KvPaletteMerge.h"

#include <cmath>
#include <limits>
#include <vector>

namespace kv {

void MergePalette(TKvPaletteBuffer& Palette, std::span<const uint64_t, 256> Counts, int32_t Colors,
                  std::array<uint8_t, 256>& Map) {
  AssertDIB(Colors >= 1 && Colors <= 256, "MergePalette: Invalid Color Count");
  struct TCluster {
    double Weight;
    double Sum[3];  // red, green, blue, times the weight
    int32_t Root;   // the entry it started from; merged clusters are dropped
  };
  std::vector<TCluster> C;
  std::array<int32_t, 256> Owner{};  // entry -> cluster
  Owner.fill(-1);
  for (int32_t I = 0; I < Palette.Count; ++I) {
    const uint64_t W = Counts[static_cast<size_t>(I)];
    if (W == 0) continue;
    const RGBQUAD& Q = Palette.Colors[static_cast<size_t>(I)];
    const double Wd = static_cast<double>(W);
    Owner[static_cast<size_t>(I)] = static_cast<int32_t>(C.size());
    C.push_back(TCluster{Wd, {Wd * Q.rgbRed, Wd * Q.rgbGreen, Wd * Q.rgbBlue}, I});
  }
  std::vector<bool> Alive(C.size(), true);
  std::vector<std::array<double, 3>> Mean(C.size());
  auto Refresh = [&C, &Mean](size_t A) {
    for (int K = 0; K < 3; ++K) Mean[A][static_cast<size_t>(K)] = C[A].Sum[K] / C[A].Weight;
  };
  for (size_t A = 0; A < C.size(); ++A) Refresh(A);
  auto Cost = [&C, &Mean](size_t A, size_t B) {
    double D = 0;
    for (size_t K = 0; K < 3; ++K) {
      const double V = Mean[A][K] - Mean[B][K];
      D += V * V;
    }
    return C[A].Weight * C[B].Weight / (C[A].Weight + C[B].Weight) * D;
  };
  for (size_t Left = C.size(); Left > static_cast<size_t>(Colors); --Left) {
    double Best = std::numeric_limits<double>::infinity();
    size_t BA = 0, BB = 0;
    for (size_t A = 0; A < C.size(); ++A) {
      if (!Alive[A]) continue;
      for (size_t B = A + 1; B < C.size(); ++B) {
        if (!Alive[B]) continue;
        const double V = Cost(A, B);
        if (V < Best) {
          Best = V;
          BA = A;
          BB = B;
        }
      }
    }
    C[BA].Weight += C[BB].Weight;
    for (int K = 0; K < 3; ++K) C[BA].Sum[K] += C[BB].Sum[K];
    Refresh(BA);
    Alive[BB] = false;
    for (int32_t& O : Owner)
      if (O == static_cast<int32_t>(BB)) O = static_cast<int32_t>(BA);
  }
  TKvPaletteBuffer Out;
  std::vector<int32_t> NewIndex(C.size(), -1);
  for (size_t A = 0; A < C.size(); ++A) {
    if (!Alive[A]) continue;
    NewIndex[A] = Out.Count;
    uint8_t V[3];
    for (int K = 0; K < 3; ++K)
      V[K] = static_cast<uint8_t>(
          std::lround(std::fmin(255.0, std::fmax(0.0, Mean[A][static_cast<size_t>(K)]))));
    Out.Colors[static_cast<size_t>(Out.Count++)] = RGBQUAD{V[2], V[1], V[0], 0};
  }
  for (size_t I = 0; I < 256; ++I)
    Map[I] = Owner[I] < 0 ? 0 : static_cast<uint8_t>(NewIndex[static_cast<size_t>(Owner[I])]);
  Palette = Out;
}

}  // namespace kv
