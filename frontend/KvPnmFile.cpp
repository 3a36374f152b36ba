// Header: "P5" or "P6", then width, height and maxval as decimal numbers separated by
// whitespace (comments from '#' to the end of a line count as whitespace), one whitespace
// byte, then the samples: one or two bytes each (most significant first), rows top down.
#include "frontend/KvPnmFile.h"

#include <cctype>
#include <string>

#include "frontend/KvDecodedImage.h"

namespace kv::frontend {

namespace {

struct TPnmHeader {
  bool Colour = false;
  uint64_t Width = 0, Height = 0, MaxVal = 0;
  size_t DataOffset = 0;
  int Channels() const { return Colour ? 3 : 1; }
  int SampleBytes() const { return MaxVal > 255 ? 2 : 1; }
};

[[noreturn]] void bad_header(const char* What) { throw TFileError(std::string("PNM header: ") + What); }

TPnmHeader parse_header(std::span<const uint8_t> B) {
  if (B.size() < 2 || B[0] != 'P' || (B[1] != '5' && B[1] != '6')) bad_header("not a binary PGM or PPM file");
  TPnmHeader H;
  H.Colour = B[1] == '6';
  size_t P = 2;
  auto number = [&](const char* Name) {
    for (;;) {
      while (P < B.size() && std::isspace(B[P])) ++P;
      if (P < B.size() && B[P] == '#') {
        while (P < B.size() && B[P] != '\n' && B[P] != '\r') ++P;
        continue;
      }
      break;
    }
    if (P >= B.size() || !std::isdigit(B[P])) bad_header(Name);
    uint64_t V = 0;
    while (P < B.size() && std::isdigit(B[P])) {
      V = V * 10 + (B[P++] - '0');
      if (V > 0xFFFFFFFFu) bad_header(Name);
    }
    return V;
  };
  H.Width = number("bad width");
  H.Height = number("bad height");
  H.MaxVal = number("bad maxval");
  if (P >= B.size() || !std::isspace(B[P])) bad_header("no whitespace before the samples");
  H.DataOffset = P + 1;
  if (H.Width == 0 || H.Height == 0) bad_header("width and height must be positive");
  if (H.MaxVal == 0 || H.MaxVal > 65535) bad_header("maxval must be 1 to 65535");
  return H;
}

}  // namespace

void ReadPnm(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options) {
  const TPnmHeader H = parse_header(Bytes);
  CheckPixelLimit(H.Width, H.Height, Options);
  const uint64_t RowBytes = H.Width * H.Channels() * H.SampleBytes();
  // Every sample is stored: the file must hold all of them before anything is allocated.
  if (Bytes.size() - H.DataOffset < RowBytes * H.Height)
    throw TFileError("PNM data ends after " + std::to_string(Bytes.size() - H.DataOffset) + " of " +
                     std::to_string(RowBytes * H.Height) + " bytes");
  PrepareImage(Image, H.Width, H.Height, H.Colour ? 24 : 8);
  if (!H.Colour) SetGreyRamp(Image);
  const bool Wide = H.SampleBytes() == 2;
  const uint64_t Max = H.MaxVal;
  const uint8_t* Src = Bytes.data() + H.DataOffset;
  for (uint64_t Y = 0; Y < H.Height; ++Y) {
    uint8_t* Row = Image.GetScanLine(static_cast<int32_t>(Y));
    for (uint64_t X = 0; X < H.Width; ++X) {
      for (int C = 0; C < H.Channels(); ++C) {
        uint64_t V = Wide ? (Src[0] << 8 | Src[1]) : Src[0];
        Src += Wide ? 2 : 1;
        V = std::min(V, Max);
        const auto Out = static_cast<uint8_t>(Max == 255 ? V : (V * 255 + Max / 2) / Max);
        // Colour samples arrive red, green, blue; the rows hold blue, green, red.
        if (H.Colour)
          Row[3 * X + 2 - C] = Out;
        else
          Row[X] = Out;
      }
    }
  }
}

TFileDescription DescribePnm(std::span<const uint8_t> Bytes) {
  const TPnmHeader H = parse_header(Bytes);
  TFileDescription D;
  D.Kind = H.Colour ? TFileKind::Ppm : TFileKind::Pgm;
  D.FileSize = Bytes.size();
  D.Width = H.Width;
  D.Height = H.Height;
  D.BitsPerSample = H.SampleBytes() * 8;
  D.BitsPerPixel = D.BitsPerSample * H.Channels();
  D.Color = H.Colour ? "RGB" : "grey";
  D.Compression = "none";
  return D;
}

}  // namespace kv::frontend
