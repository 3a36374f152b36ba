// Input recognition by content and loading through the reader of each kind.
#include "frontend/KvImageFiles.h"

#include <cstring>

#include "frontend/KvBmpFile.h"
#include "frontend/KvImageBytes.h"
#include "frontend/KvJpegFile.h"
#include "frontend/KvLoadOptions.h"
#include "frontend/KvPngFile.h"
#include "frontend/KvPnmFile.h"

namespace kv::frontend {

namespace {

[[noreturn]] void unknown_kind() { throw TFileError("not a BMP, PNG, JPEG, PGM or PPM file"); }

}  // namespace

TFileKind DetectKind(std::span<const uint8_t> M) {
  const size_t N = M.size();
  if (N >= 2 && M[0] == 'B' && M[1] == 'M') return TFileKind::Bmp;
  if (N >= 8 && std::memcmp(M.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return TFileKind::Png;
  if (N >= 3 && M[0] == 0xFF && M[1] == 0xD8 && M[2] == 0xFF) return TFileKind::Jpeg;
  const bool Space = N >= 3 && (M[2] == ' ' || M[2] == '\t' || M[2] == '\n' || M[2] == '\r' || M[2] == '#');
  if (Space && M[0] == 'P' && M[1] == '5') return TFileKind::Pgm;
  if (Space && M[0] == 'P' && M[1] == '6') return TFileKind::Ppm;
  return TFileKind::Unknown;
}

TFileKind DetectFileKind(const std::string& Path) { return DetectKind(TImageBytes::FromFile(Path).Bytes()); }

const char* FileKindName(TFileKind Kind) {
  switch (Kind) {
    case TFileKind::Bmp: return "BMP";
    case TFileKind::Png: return "PNG";
    case TFileKind::Jpeg: return "JPEG";
    case TFileKind::Pgm: return "PGM";
    case TFileKind::Ppm: return "PPM";
    case TFileKind::Unknown: break;
  }
  return "unknown";
}

TFileKind LoadImage(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options) {
  const TFileKind Kind = DetectKind(Bytes);
  switch (Kind) {
    case TFileKind::Bmp: ReadBmp(Bytes, Image, Options); break;
    case TFileKind::Png: ReadPng(Bytes, Image, Options); break;
    case TFileKind::Jpeg: ReadJpeg(Bytes, Image, Options); break;
    case TFileKind::Pgm:
    case TFileKind::Ppm: ReadPnm(Bytes, Image, Options); break;
    case TFileKind::Unknown: unknown_kind();
  }
  return Kind;
}

TFileKind LoadImageFile(const std::string& Path, TKvDIB& Image, const TLoadOptions& Options) {
  const TImageBytes Bytes = TImageBytes::FromFile(Path);
  return LoadImage(Bytes.Bytes(), Image, Options);
}

TFileKind LoadImageFile(const std::string& Path, TKvDIB& Image) {
  return LoadImageFile(Path, Image, TLoadOptions{});
}

TFileDescription DescribeImage(std::span<const uint8_t> Bytes) {
  switch (DetectKind(Bytes)) {
    case TFileKind::Bmp: return DescribeBmp(Bytes);
    case TFileKind::Png: return DescribePng(Bytes);
    case TFileKind::Jpeg: return DescribeJpeg(Bytes);
    case TFileKind::Pgm:
    case TFileKind::Ppm: return DescribePnm(Bytes);
    case TFileKind::Unknown: break;
  }
  unknown_kind();
}

TFileDescription DescribeImageFile(const std::string& Path) {
  const TImageBytes Bytes = TImageBytes::FromFile(Path);
  return DescribeImage(Bytes.Bytes());
}

}  // namespace kv::frontend
