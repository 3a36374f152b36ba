// Randomized checks of both RLE codecs: decode-after-encode identity on random images of
// widths 1 to 300, and thousands of random and mutated streams fed to both decoders and
// compared with a plain element-by-element model (run under the sanitizers: the streams
// live in heap blocks of their exact size, so any read past BitsSize is caught).
#include <gtest/gtest.h>

#include <optional>

#include "image/convert/KvRLE.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

using TBytes = std::vector<uint8_t>;

// An image of runs of random length (often long) and stretches of noise.
TOwnedDIB runs_image(std::mt19937& Rng, int32_t Width, int32_t Height, uint16_t Bits) {
  TOwnedDIB D(Width, Height, Bits, Bits == 8 ? 256 : 16);
  const int Colors = 1 << Bits;
  for (int32_t R = 0; R < D.Height(); ++R) {
    int32_t X = 0;
    while (X < Width) {
      const bool Noise = Rng() % 4 == 0;
      const int32_t Len = std::min<int32_t>(Width - X, 1 + static_cast<int32_t>(Rng() % (Noise ? 12 : 300)));
      const uint8_t V = static_cast<uint8_t>(Rng() % Colors);
      for (int32_t I = 0; I < Len; ++I, ++X)
        D.SetIndex(X, R, Noise ? static_cast<uint8_t>(Rng() % Colors) : V);
    }
  }
  return D;
}

// Picture row Y (0 = top) of an uncompressed image.
int32_t stored_row(const TOwnedDIB& D, int32_t Y) {
  return D.Info().Header.biHeight > 0 ? D.Height() - 1 - Y : Y;
}

TEST(RleRandom, DecodeAfterEncodeIsIdentity) {
  std::mt19937 Rng(2024);
  for (uint16_t Bits : {8, 4}) {
    int Encoded = 0;
    for (int32_t Width = 1; Width <= 300; ++Width) {
      const int32_t Rows = 1 + static_cast<int32_t>(Rng() % 6);
      const int32_t Height = Width % 3 == 0 ? -Rows : Rows;
      SCOPED_TRACE(std::to_string(Bits) + " bits, " + std::to_string(Width) + " x " + std::to_string(Height));
      const TOwnedDIB Src = runs_image(Rng, Width, Height, Bits);
      TOwnedDIB Rle, Back;
      try {
        if (Bits == 8)
          Convert8BitRGBTo8BitRLE(Src.Info(), Rle.Info());
        else
          Convert4BitRGBTo4BitRLE(Src.Info(), Rle.Info());
      } catch (const EKvDIBCompressionFailed&) {
        continue;  // too little to gain on this one; the reserves are tested elsewhere
      }
      ++Encoded;
      if (Bits == 8)
        Convert8BitRLETo8BitRGB(Rle.Info(), Back.Info());
      else
        Convert4BitRLETo4BitRGB(Rle.Info(), Back.Info());
      ASSERT_EQ(Back.Info().Header.biHeight, Rows);
      ASSERT_EQ(Back.Info().BitsSize, Src.Info().BitsSize);
      bool Same = true;
      for (int32_t Y = 0; Y < Rows; ++Y) {
        const int32_t RS = stored_row(Src, Y);
        const int32_t RB = stored_row(Back, Y);
        for (int32_t X = 0; X < Width; ++X) Same &= Src.Index(X, RS) == Back.Index(X, RB);
        // Padding, including the pad nibble of an odd 4-bit row, stays 0.
        for (int32_t X = Width; X < Back.Stride() * 8 / Bits; ++X) Same &= Back.Index(X, RB) == 0;
      }
      EXPECT_TRUE(Same);
    }
    // Almost all of these images compress; the narrowest ones cannot.
    EXPECT_GT(Encoded, 250) << Bits;
  }
}

// The decoders' results as the element rules give them, one pixel at a time, with every
// index checked by the vector.
struct TModelResult {
  int Bad = 0;  // message number, 0 when accepted
  TBytes Rows;
};

TModelResult model_decode(int32_t Width, int32_t Height, uint16_t Bits, const TBytes& S) {
  const int64_t H = std::abs(static_cast<int64_t>(Height));
  const int64_t Stride = ((int64_t{Width} * Bits + 31) / 32) * 4;
  const int64_t W = Bits == 8 ? Width : ((Width + 1) / 2) * 2;
  const int Base = Bits == 8 ? 0 : 4;
  TModelResult M;
  M.Rows.assign(static_cast<size_t>(Stride * H), 0);
  int64_t X = 0, Y = 0;
  auto put = [&](int64_t Col, uint8_t V) {
    if (Bits == 8)
      M.Rows.at(static_cast<size_t>(Y * Stride + Col)) = V;
    else if (Col % 2 == 0)
      M.Rows.at(static_cast<size_t>(Y * Stride + Col / 2)) = static_cast<uint8_t>(V << 4);
    else
      M.Rows.at(static_cast<size_t>(Y * Stride + Col / 2)) |= V;
  };
  auto nibble = [](uint8_t B, int64_t J) { return static_cast<uint8_t>(J % 2 ? B & 15 : B >> 4); };
  size_t P = 0;
  while (P + 2 <= S.size()) {
    const uint8_t B0 = S[P], B1 = S[P + 1];
    P += 2;
    if (B0 != 0) {
      if (X + B0 > W || Y >= H) return M.Bad = Base + 4, M;
      for (int64_t J = 0; J < B0; ++J) put(X + J, Bits == 8 ? B1 : nibble(B1, J));
      X += B0;
    } else if (B1 == 0) {
      ++Y;
      X = 0;
      if (Y > H) return M.Bad = Base + 1, M;
    } else if (B1 == 1) {
      break;
    } else if (B1 == 2) {
      if (P + 2 > S.size()) break;
      X += S[P];
      Y += S[P + 1];
      P += 2;
      if (X > W || Y > H) return M.Bad = Base + 2, M;
    } else {
      if (X + B1 > W || Y >= H) return M.Bad = Base + 3, M;
      for (int64_t J = 0; J < B1; ++J) {
        const size_t At = P + static_cast<size_t>(Bits == 8 ? J : J / 2);
        if (At >= S.size()) return M;  // the data stops inside the run
        put(X + J, Bits == 8 ? S[At] : nibble(S[At], J));
      }
      X += B1;
      P += static_cast<size_t>(Bits == 8 ? (B1 + 1) / 2 * 2 : ((4 * B1 + 15) / 16) * 2);
    }
  }
  return M;
}

// Decodes Stream from a heap block of exactly its size; the result, or the message.
struct TDecoded {
  std::string Error;
  TBytes Rows;
  bool TailClean = true;  // nothing written between BitsSize and the end of the mapped page
};

TDecoded run_decoder(int32_t Width, int32_t Height, uint16_t Bits, const TBytes& Stream) {
  std::unique_ptr<uint8_t[]> Heap(new uint8_t[Stream.size() + 1]);  // +1: never empty
  if (!Stream.empty()) std::memcpy(Heap.get(), Stream.data(), Stream.size());
  TKvDIBInfo Src{};
  Src.Header.biSize = 40;
  Src.Header.biWidth = Width;
  Src.Header.biHeight = Height;
  Src.Header.biPlanes = 1;
  Src.Header.biBitCount = Bits;
  Src.Header.biCompression = Bits == 8 ? kBiRLE8 : kBiRLE4;
  Src.Bits = Heap.get();
  Src.BitsSize = static_cast<int32_t>(Stream.size());
  TOwnedDIB Dst;
  TDecoded R;
  try {
    if (Bits == 8)
      Convert8BitRLETo8BitRGB(Src, Dst.Info());
    else
      Convert4BitRLETo4BitRGB(Src, Dst.Info());
  } catch (const EKvDIBInvalidDIB& E) {
    R.Error = E.Message();
    return R;
  }
  R.Rows = Dst.Bytes();
  const size_t Page = 4096;
  const size_t Size = static_cast<size_t>(Dst.Info().BitsSize);
  for (size_t I = Size; I < (Size + Page - 1) / Page * Page; ++I) R.TailClean &= Dst.Info().Bits[I] == 0;
  return R;
}

TBytes random_stream(std::mt19937& Rng, uint16_t Bits, int32_t Width, int32_t Height) {
  TBytes S;
  const int Elements = static_cast<int>(Rng() % 24);
  for (int E = 0; E < Elements; ++E) {
    switch (Rng() % 6) {
      case 0:  // run, usually short
        S.push_back(static_cast<uint8_t>(1 + Rng() % (Rng() % 4 ? Width + 2 : 255)));
        S.push_back(static_cast<uint8_t>(Rng()));
        break;
      case 1: S.insert(S.end(), {0, 0}); break;
      case 2:
        S.insert(S.end(), {0, 2, static_cast<uint8_t>(Rng() % (Width + 3)),
                           static_cast<uint8_t>(Rng() % (Height + 2))});
        break;
      case 3: {
        const int N = 3 + static_cast<int>(Rng() % std::max(1, Width));
        S.insert(S.end(), {0, static_cast<uint8_t>(std::min(N, 255))});
        const int Bytes = Bits == 8 ? (N + 1) / 2 * 2 : ((4 * N + 15) / 16) * 2;
        for (int I = 0; I < Bytes; ++I) S.push_back(static_cast<uint8_t>(Rng()));
        break;
      }
      case 4: S.insert(S.end(), {0, 1}); break;
      default: S.push_back(static_cast<uint8_t>(Rng())); break;  // a stray byte shifts the framing
    }
  }
  return S;
}

void mutate(std::mt19937& Rng, TBytes& S) {
  const int Edits = 1 + static_cast<int>(Rng() % 4);
  for (int E = 0; E < Edits && !S.empty(); ++E) {
    const size_t At = Rng() % S.size();
    switch (Rng() % 4) {
      case 0: S[At] = static_cast<uint8_t>(Rng()); break;
      case 1: S.erase(S.begin() + static_cast<std::ptrdiff_t>(At)); break;
      case 2: S.insert(S.begin() + static_cast<std::ptrdiff_t>(At), static_cast<uint8_t>(Rng() % 4)); break;
      default: S.resize(At); break;
    }
  }
}

TEST(RleRandom, RandomAndMutatedStreamsMatchTheModel) {
  std::mt19937 Rng(77);
  int Accepted = 0, Refused = 0;
  for (int Round = 0; Round < 6000; ++Round) {
    const uint16_t Bits = Round % 2 ? 4 : 8;
    const int32_t Width = 1 + static_cast<int32_t>(Rng() % 40);
    const int32_t Rows = 1 + static_cast<int32_t>(Rng() % 8);
    const int32_t Height = Rng() % 5 == 0 ? -Rows : Rows;
    TBytes Stream;
    if (Round % 3 == 0) {
      Stream = random_stream(Rng, Bits, Width, Rows);
    } else {
      // A valid stream of a random image, then damaged.
      const TOwnedDIB Img = runs_image(Rng, Width, Rows + 6, Bits);
      TOwnedDIB Rle;
      try {
        if (Bits == 8)
          Convert8BitRGBTo8BitRLE(Img.Info(), Rle.Info());
        else
          Convert4BitRGBTo4BitRLE(Img.Info(), Rle.Info());
        Stream = Rle.Bytes();
      } catch (const EKvDIBCompressionFailed&) {
        Stream = random_stream(Rng, Bits, Width, Rows);
      }
      if (Round % 3 == 1) mutate(Rng, Stream);
    }
    const TModelResult M = model_decode(Width, Height, Bits, Stream);
    const TDecoded D = run_decoder(Width, Height, Bits, Stream);
    if (M.Bad != 0) {
      const std::string Expected =
          std::string(Bits == 8 ? "Convert8BitRLETo8BitRGB" : "Convert4BitRLETo4BitRGB") + ": Bad RLE Data " +
          std::to_string(M.Bad);
      ASSERT_EQ(D.Error, Expected) << "round " << Round;
      ++Refused;
    } else {
      ASSERT_EQ(D.Error, "") << "round " << Round;
      ASSERT_EQ(D.Rows, M.Rows) << "round " << Round;
      ASSERT_TRUE(D.TailClean) << "round " << Round;
      ++Accepted;
    }
  }
  // Both outcomes are well represented.
  EXPECT_GT(Accepted, 1000);
  EXPECT_GT(Refused, 1000);
}

}  // namespace
}  // namespace kv::test
