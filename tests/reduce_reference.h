// A slow, literal formulation of the colour reductions, kept only to check the library's
// fast ones: sums accumulated in extended precision, every channel comparison made
// against the extended mean, the two-cursor partition, the recursion as written, the Fine
// method's packed copy and tree walk. Nothing here is shared with the library's code.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "image/KvDIBInfo.h"

namespace kv::test::ref {

struct Reduction {
  std::vector<RGBQUAD> Palette;
  std::vector<uint8_t> Index;  // one per pixel, storage order, rows bottom of the block first
  int ProgressCalls = 0;
};

struct Entry {
  int64_t Red, Green, Blue, Count, Key;
};

inline int64_t Stride(int64_t W, int Bits) { return ((W * Bits + 31) / 32) * 4; }
inline int64_t Rows(const TKvDIBInfo& I) { return std::abs(static_cast<int64_t>(I.Header.biHeight)); }

inline uint8_t RoundEven(long double M) { return static_cast<uint8_t>(std::nearbyint(M)); }

// 3 x VR, 4 x VG, 2 x VB; the largest wins, ties to red, then green.
inline int ChooseChannel(long double VR, long double VG, long double VB) {
  const long double WR = 3 * VR, WG = 4 * VG, WB = 2 * VB;
  if (WR >= WG && WR >= WB) return 0;
  if (WG >= WR && WG >= WB) return 1;
  return 2;
}

inline void DivideEntries(size_t Lo, size_t Hi, int Depth, int MaxDepth, std::vector<Entry>& E,
                          std::vector<RGBQUAD>& Pal, int& Progress) {
  if (Lo == Hi) {
    if (Depth == MaxDepth) {
      ++Progress;
      return;
    }
    DivideEntries(Lo, Hi, Depth + 1, MaxDepth, E, Pal, Progress);
    DivideEntries(Lo, Hi, Depth + 1, MaxDepth, E, Pal, Progress);
    return;
  }
  int64_t N = 0;
  long double SR = 0, SG = 0, SB = 0, QR = 0, QG = 0, QB = 0;
  for (size_t I = Lo; I < Hi; ++I) {
    const long double W = static_cast<long double>(E[I].Count);
    N += E[I].Count;
    SR += W * E[I].Red;
    SG += W * E[I].Green;
    SB += W * E[I].Blue;
    QR += W * E[I].Red * E[I].Red;
    QG += W * E[I].Green * E[I].Green;
    QB += W * E[I].Blue * E[I].Blue;
  }
  const long double MR = SR / N, MG = SG / N, MB = SB / N;
  const long double VR = QR / N - MR * MR, VG = QG / N - MG * MG, VB = QB / N - MB * MB;
  if (Depth == MaxDepth) {
    Pal.push_back(RGBQUAD{RoundEven(MB), RoundEven(MG), RoundEven(MR), 0});
    for (size_t I = Lo; I < Hi; ++I) E[I].Count = static_cast<int64_t>(Pal.size() - 1);
    ++Progress;
    return;
  }
  const int C = ChooseChannel(VR, VG, VB);
  const long double M = C == 0 ? MR : C == 1 ? MG : MB;
  auto V = [&](size_t I) { return C == 0 ? E[I].Red : C == 1 ? E[I].Green : E[I].Blue; };
  size_t I = Lo, J = Hi;
  for (;;) {
    while (I < J && V(I) <= M) ++I;
    while (J > I && V(J - 1) > M) --J;
    if (I != J) std::swap(E[I], E[J - 1]);
    if (!(I < J)) break;
  }
  DivideEntries(I, Hi, Depth + 1, MaxDepth, E, Pal, Progress);
  DivideEntries(Lo, I, Depth + 1, MaxDepth, E, Pal, Progress);
}

inline Reduction Low(const TKvDIBInfo& Src, int MaxDepth) {
  const int64_t W = Src.Header.biWidth, H = Rows(Src), S = Stride(W, 24);
  std::vector<Entry> Hist(65536);
  for (int64_t I = 0; I < 65536; ++I) Hist[static_cast<size_t>(I)] = Entry{0, 0, 0, 0, I};
  auto Cell = [](int64_t R, int64_t G, int64_t B) { return (R >> 3) * 2048 + (G >> 2) * 32 + (B >> 3); };
  for (int64_t Y = 0; Y < H; ++Y)
    for (int64_t X = 0; X < W; ++X) {
      const uint8_t* P = Src.Bits + Y * S + 3 * X;
      Entry& E = Hist[static_cast<size_t>(Cell(P[2], P[1], P[0]))];
      E.Red += P[2] & 7;
      E.Green += P[1] & 3;
      E.Blue += P[0] & 7;
      E.Count += 1;
    }
  for (int64_t R5 = 0; R5 < 32; ++R5)
    for (int64_t G6 = 0; G6 < 64; ++G6)
      for (int64_t B5 = 0; B5 < 32; ++B5) {
        Entry& E = Hist[static_cast<size_t>(R5 * 2048 + G6 * 32 + B5)];
        if (E.Count == 0) continue;
        E.Red = E.Red / E.Count + R5 * 8;
        E.Green = E.Green / E.Count + G6 * 4;
        E.Blue = E.Blue / E.Count + B5 * 8;
      }
  size_t K = 0;
  for (size_t I = 0; I < Hist.size(); ++I)
    if (Hist[I].Count != 0) Hist[K++] = Hist[I];
  Reduction Out;
  DivideEntries(0, K, 0, MaxDepth, Hist, Out.Palette, Out.ProgressCalls);
  std::vector<uint8_t> Table(65536, 0);
  for (size_t I = 0; I < K; ++I)
    Table[static_cast<size_t>(Hist[I].Key)] = static_cast<uint8_t>(Hist[I].Count);
  for (int64_t Y = 0; Y < H; ++Y)
    for (int64_t X = 0; X < W; ++X) {
      const uint8_t* P = Src.Bits + Y * S + 3 * X;
      Out.Index.push_back(Table[static_cast<size_t>(Cell(P[2], P[1], P[0]))]);
    }
  return Out;
}

inline Reduction EightToFour(const TKvDIBInfo& Src) {
  const int64_t W = Src.Header.biWidth, H = Rows(Src), S = Stride(W, 8);
  std::vector<Entry> E(256);
  for (int64_t I = 0; I < 256; ++I)
    E[static_cast<size_t>(I)] =
        Entry{Src.Colors[I].rgbRed, Src.Colors[I].rgbGreen, Src.Colors[I].rgbBlue, 0, I};
  for (int64_t Y = 0; Y < H; ++Y)
    for (int64_t X = 0; X < W; ++X) E[Src.Bits[Y * S + X]].Count += 1;
  size_t K = 0;
  for (size_t I = 0; I < 256; ++I)
    if (E[I].Count != 0) E[K++] = E[I];
  Reduction Out;
  DivideEntries(0, K, 0, 4, E, Out.Palette, Out.ProgressCalls);
  std::vector<uint8_t> Table(256, 0);
  for (size_t I = 0; I < K; ++I) Table[static_cast<size_t>(E[I].Key)] = static_cast<uint8_t>(E[I].Count);
  for (int64_t Y = 0; Y < H; ++Y)
    for (int64_t X = 0; X < W; ++X) Out.Index.push_back(Table[Src.Bits[Y * S + X]]);
  return Out;
}

struct Node {
  int DivideID = -1;  // -1: never written
  long double Threshold = 0;
  int ColorIndex = 0;
  int LowChild = 0;
  int HighChild = 0;
};

struct Tree {
  int Counter = 1;
  std::vector<Node> Nodes = std::vector<Node>(512);
};

struct PixelDivider {
  std::vector<uint8_t>& P;  // packed blue, green, red
  int MaxDepth;
  Tree& T;
  Reduction& Out;

  void Divide(int64_t Lo, int64_t Hi, int Depth, int NodeIndex) {
    if (Lo == Hi) {
      if (Depth == MaxDepth) {
        ++Out.ProgressCalls;
        return;
      }
      Divide(Lo, Hi, Depth + 1, NodeIndex);
      Divide(Lo, Hi, Depth + 1, NodeIndex);
      return;
    }
    const int64_t N = Hi - Lo;
    long double SR = 0, SG = 0, SB = 0, QR = 0, QG = 0, QB = 0;
    for (int64_t I = Lo; I < Hi; ++I) {
      const long double B = P[3 * I], G = P[3 * I + 1], R = P[3 * I + 2];
      SR += R;
      SG += G;
      SB += B;
      QR += R * R;
      QG += G * G;
      QB += B * B;
    }
    const long double MR = SR / N, MG = SG / N, MB = SB / N;
    const long double VR = QR / N - MR * MR, VG = QG / N - MG * MG, VB = QB / N - MB * MB;
    Node& Nd = T.Nodes[static_cast<size_t>(NodeIndex)];
    if (Depth == MaxDepth) {
      Out.Palette.push_back(RGBQUAD{RoundEven(MB), RoundEven(MG), RoundEven(MR), 0});
      Nd = Node{3, 0, static_cast<int>(Out.Palette.size() - 1), 0, 0};
      ++Out.ProgressCalls;
      return;
    }
    const int C = ChooseChannel(VR, VG, VB);
    const long double M = C == 0 ? MR : C == 1 ? MG : MB;
    Nd.DivideID = C;
    Nd.Threshold = M;
    const int64_t Off = 2 - C;
    int64_t I = Lo, J = Hi;
    for (;;) {
      while (I < J && P[3 * I + Off] <= M) ++I;
      while (J > I && P[3 * (J - 1) + Off] > M) --J;
      if (I != J)
        for (int K = 0; K < 3; ++K) std::swap(P[3 * I + K], P[3 * (J - 1) + K]);
      if (!(I < J)) break;
    }
    Nd.ColorIndex = 0;
    Nd.HighChild = T.Counter++;
    Divide(I, Hi, Depth + 1, Nd.HighChild);
    Nd.LowChild = T.Counter++;
    Divide(Lo, I, Depth + 1, Nd.LowChild);
  }
};

inline Reduction High(const TKvDIBInfo& Src, int MaxDepth, Tree* TreeOut = nullptr) {
  const int64_t W = Src.Header.biWidth, H = Rows(Src), S = Stride(W, 24);
  // Whole strides copied to offset 3 * W * y; the padding is overwritten by the next row.
  std::vector<uint8_t> Packed(static_cast<size_t>(3 * W * H + 4));
  for (int64_t Y = 0; Y < H; ++Y) std::memcpy(&Packed[static_cast<size_t>(3 * W * Y)], Src.Bits + Y * S, S);
  Tree T;
  Reduction Out;
  PixelDivider{Packed, MaxDepth, T, Out}.Divide(0, W * H, 0, 0);
  for (int64_t Y = 0; Y < H; ++Y)
    for (int64_t X = 0; X < W; ++X) {
      const uint8_t* P = Src.Bits + Y * S + 3 * X;
      int K = 0;
      while (T.Nodes[static_cast<size_t>(K)].DivideID != 3) {
        const Node& Nd = T.Nodes[static_cast<size_t>(K)];
        const int V = Nd.DivideID == 0 ? P[2] : Nd.DivideID == 1 ? P[1] : P[0];
        K = Nd.Threshold >= V ? Nd.LowChild : Nd.HighChild;
      }
      Out.Index.push_back(static_cast<uint8_t>(T.Nodes[static_cast<size_t>(K)].ColorIndex));
    }
  if (TreeOut) *TreeOut = T;
  return Out;
}

}  // namespace kv::test::ref
