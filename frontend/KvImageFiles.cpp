// Input recognition by content and loading through the reader of each kind.
#include "frontend/KvImageFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frontend/KvJpegFile.h"
#include "frontend/KvPngFile.h"

namespace kv::frontend {

namespace {

std::string system_error(const std::string& What, const std::string& Path) {
  return What + " " + Path + ": " + std::strerror(errno);
}

}  // namespace

TFileKind DetectFileKind(const std::string& Path) {
  std::FILE* File = std::fopen(Path.c_str(), "rb");
  if (!File) throw TFileError(system_error("Cannot open file", Path));
  unsigned char Magic[8] = {};
  const size_t N = std::fread(Magic, 1, sizeof(Magic), File);
  std::fclose(File);
  if (N >= 2 && Magic[0] == 'B' && Magic[1] == 'M') return TFileKind::Bmp;
  if (N >= 8 && std::memcmp(Magic, "\x89PNG\r\n\x1a\n", 8) == 0) return TFileKind::Png;
  if (N >= 3 && Magic[0] == 0xFF && Magic[1] == 0xD8 && Magic[2] == 0xFF) return TFileKind::Jpeg;
  return TFileKind::Unknown;
}

const char* FileKindName(TFileKind Kind) {
  switch (Kind) {
    case TFileKind::Bmp: return "BMP";
    case TFileKind::Png: return "PNG";
    case TFileKind::Jpeg: return "JPEG";
    case TFileKind::Unknown: break;
  }
  return "unknown";
}

TFileKind LoadImageFile(const std::string& Path, TKvDIB& Image) {
  const TFileKind Kind = DetectFileKind(Path);
  switch (Kind) {
    case TFileKind::Bmp: Image.LoadFromFile(Path); break;
    case TFileKind::Png: ReadPngFile(Path, Image); break;
    case TFileKind::Jpeg: ReadJpegFile(Path, Image); break;
    case TFileKind::Unknown: throw TFileError("not a BMP, PNG or JPEG file");
  }
  return Kind;
}

}  // namespace kv::frontend
