// kvdib-quality: quality and time of the quantizer's methods on one photograph, for
// bench/quality.sh. Reads a binary PPM (P6, 8 bits), quantizes it with every method at the
// colour counts asked for, and prints one line per run: the method, colours, dithering,
// the PSNR over all pixels and channels, and the median wall time of the quantization
// alone over several runs (the image is loaded and copied outside the timing).
//
//   kvdib-quality PHOTO.ppm [--runs N] [--colors N ...] [--recipe R,G,B,ITER[,GREEDY] ...]
//   kvdib-quality --psnr A.ppm B.ppm     PSNR of B against A (for the peers' results)
//
// --recipe adds a refinement with that grid and iteration count (for tuning).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "image/KvDIB.h"
#include "image/KvPixels.h"
#include "image/reduce/KvQuantize.h"

namespace {

struct TImage {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;  // top row first, red, green, blue
};

TImage read_ppm(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::string Magic;
  int Max = 0;
  TImage I;
  In >> Magic >> I.Width >> I.Height >> Max;
  In.get();
  if (!In || Magic != "P6" || Max != 255 || I.Width <= 0 || I.Height <= 0) {
    std::fprintf(stderr, "%s: not an 8-bit binary PPM\n", Path.c_str());
    std::exit(2);
  }
  I.Rgb.resize(static_cast<size_t>(I.Width) * I.Height * 3);
  In.read(reinterpret_cast<char*>(I.Rgb.data()), static_cast<std::streamsize>(I.Rgb.size()));
  if (!In) {
    std::fprintf(stderr, "%s: short file\n", Path.c_str());
    std::exit(2);
  }
  return I;
}

double psnr(const TImage& A, const TImage& B) {
  if (A.Width != B.Width || A.Height != B.Height) return -1;
  double Sum = 0;
  for (size_t I = 0; I < A.Rgb.size(); ++I) {
    const double D = static_cast<double>(A.Rgb[I]) - B.Rgb[I];
    Sum += D * D;
  }
  const double Mse = Sum / static_cast<double>(A.Rgb.size());
  return Mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / Mse);
}

void to_dib(const TImage& I, kv::TKvDIB& D) {
  D.SetBitCount(24);
  D.SetWidth(I.Width);
  D.SetHeight(I.Height);
  for (int32_t Y = 0; Y < I.Height; ++Y) {
    uint8_t* Row = D.GetScanLine(Y);
    for (int32_t X = 0; X < I.Width; ++X) {
      const uint8_t* P = &I.Rgb[(static_cast<size_t>(Y) * I.Width + X) * 3];
      kv::SetPixel24(Row, X, kv::TKvRGB{P[0], P[1], P[2]});
    }
  }
}

// The picture a reduced descriptor shows, top row first.
TImage from_reduced(const kv::TKvDIBInfo& R, int32_t Width, int32_t Height) {
  TImage O;
  O.Width = Width;
  O.Height = Height;
  O.Rgb.resize(static_cast<size_t>(Width) * Height * 3);
  const int32_t Stride = kv::DIBStride(R.Header);
  for (int32_t Y = 0; Y < Height; ++Y) {
    const int32_t Stored = R.Header.biHeight > 0 ? Height - 1 - Y : Y;
    const uint8_t* Row = R.Bits + static_cast<size_t>(Stride) * Stored;
    for (int32_t X = 0; X < Width; ++X) {
      const kv::TKvRGB C = kv::GetPixelColor(R, Row, X, R.Header.biBitCount);
      uint8_t* P = &O.Rgb[(static_cast<size_t>(Y) * Width + X) * 3];
      P[0] = C.Red;
      P[1] = C.Green;
      P[2] = C.Blue;
    }
  }
  return O;
}

struct TRun {
  std::string Name;
  kv::TKvQuantizeOptions Options;
  bool Custom = false;
  kv::TKvRefineRecipe Recipe;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (Args.size() == 3 && Args[0] == "--psnr") {
    std::printf("%.4f\n", psnr(read_ppm(Args[1]), read_ppm(Args[2])));
    return 0;
  }
  if (Args.empty()) {
    std::fprintf(
        stderr,
        "usage: kvdib-quality PHOTO.ppm [--runs N] [--colors N ...] [--recipe R,G,B,ITER[,GREEDY] ...]\n");
    return 2;
  }
  const TImage Photo = read_ppm(Args[0]);
  int Runs = 5;
  std::vector<int32_t> Colors;
  std::vector<kv::TKvRefineRecipe> Recipes;
  for (size_t I = 1; I + 1 < Args.size(); I += 2) {
    if (Args[I] == "--runs") Runs = std::max(1, std::atoi(Args[I + 1].c_str()));
    if (Args[I] == "--colors") Colors.push_back(std::atoi(Args[I + 1].c_str()));
    if (Args[I] == "--recipe") {
      kv::TKvRefineRecipe R;
      int Greedy = 0;
      if (std::sscanf(Args[I + 1].c_str(), "%d,%d,%d,%d,%d", &R.GridRed, &R.GridGreen, &R.GridBlue,
                      &R.Iterations, &Greedy) >= 4) {
        R.Greedy = Greedy != 0;
        Recipes.push_back(R);
      }
    }
  }
  if (Colors.empty()) Colors = {256, 16};

  std::vector<TRun> Plan;
  for (int32_t N : Colors) {
    for (kv::TKvQuantizeMethod M : {kv::kvQmNormal, kv::kvQmFine, kv::kvQmRefine, kv::kvQmBest})
      Plan.push_back({kv::QuantizeMethodName(M), {N, M, kv::kvDmNone}, false, {}});
    for (kv::TKvQuantizeMethod M : {kv::kvQmNormal, kv::kvQmRefine})
      Plan.push_back({kv::QuantizeMethodName(M), {N, M, kv::kvDmFloydSteinberg}, false, {}});
    for (const kv::TKvRefineRecipe& R : Recipes) {
      char Name[64];
      std::snprintf(Name, sizeof Name, "grid%d%d%d/i%d%s", R.GridRed, R.GridGreen, R.GridBlue, R.Iterations,
                    R.Greedy ? "g" : "");
      Plan.push_back({Name, {N, kv::kvQmRefine, kv::kvDmNone}, true, R});
    }
  }

  kv::TKvDIB Image;
  to_dib(Photo, Image);
  const kv::TKvDIBInfo& Src = Image.InternalDIB()->Info;
  for (const TRun& Run : Plan) {
    std::vector<double> Ms;
    double Quality = 0;
    int32_t Entries = 0;
    for (int R = 0; R < Runs; ++R) {
      kv::TKvDIBInfo Dst{};
      const auto T0 = std::chrono::steady_clock::now();
      if (Run.Custom)
        kv::QuantizeRefined(Src, Dst, Run.Options, Run.Recipe, nullptr);
      else
        kv::QuantizeTrueColor(Src, Dst, Run.Options, nullptr);
      const auto T1 = std::chrono::steady_clock::now();
      Ms.push_back(std::chrono::duration<double, std::milli>(T1 - T0).count());
      if (R == 0) {
        Quality = psnr(Photo, from_reduced(Dst, Photo.Width, Photo.Height));
        Entries = static_cast<int32_t>(Dst.Header.biClrUsed);
      }
      kv::TKvOwnedInfo::Adopt(Dst).Reset();
    }
    std::sort(Ms.begin(), Ms.end());
    std::printf("%-14s %3d %-4s %8.4f %9.3f %3d\n", Run.Name.c_str(), Run.Options.Colors,
                Run.Options.Dither == kv::kvDmNone ? "none" : "fs", Quality, Ms[Ms.size() / 2], Entries);
  }
  return 0;
}
