// Input recognition, the image set-up shared by the PNG and JPEG readers, and output
// files committed by rename.
#include "cli/ImageFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "cli/ImageFilesInternal.h"
#include "platform/streams/Stream.h"

namespace kvcli {

namespace {

std::string system_error(const std::string& What, const std::string& Path) {
  return What + " " + Path + ": " + std::strerror(errno);
}

// The temporary output of the running conversion, for the signal handler.
char g_PendingTemp[4096];

extern "C" void remove_pending_and_reraise(int Signal) {
  if (g_PendingTemp[0] != '\0') unlink(g_PendingTemp);
  std::signal(Signal, SIG_DFL);
  std::raise(Signal);
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

TFileKind LoadImageFile(const std::string& Path, kv::TKvDIB& Image) {
  const TFileKind Kind = DetectFileKind(Path);
  switch (Kind) {
    case TFileKind::Bmp: Image.LoadFromFile(Path); break;
    case TFileKind::Png: ReadPngFile(Path, Image); break;
    case TFileKind::Jpeg: ReadJpegFile(Path, Image); break;
    case TFileKind::Unknown: throw TFileError("not a BMP, PNG or JPEG file");
  }
  return Kind;
}

void PrepareImage(kv::TKvDIB& Image, uint64_t Width, uint64_t Height, int BitCount) {
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  if (Width == 0 || Height == 0 || Width > kMax || Height > kMax)
    throw TFileError("image size " + std::to_string(Width) + " x " + std::to_string(Height) +
                     " is not supported");
  // Depth first, while the image is still 1 x 1: only the final size is ever allocated.
  Image.SetBitCount(BitCount);
  Image.SetWidth(static_cast<int32_t>(Width));
  Image.SetHeight(static_cast<int32_t>(Height));
}

void SetColorTable(kv::TKvDIB& Image, const kv::RGBQUAD* Colors, int Count) {
  kv::TKvInternalDIB* Storage = Image.InternalDIB();
  std::memcpy(Storage->Info.Colors, Colors, static_cast<size_t>(Count) * sizeof(kv::RGBQUAD));
  Storage->Info.Header.biClrUsed = static_cast<uint32_t>(Count);
  Storage->UpdatePalette();
  Image.UpdatePaletteModified();
}

void SetGreyRamp(kv::TKvDIB& Image) {
  kv::RGBQUAD Ramp[256];
  for (int I = 0; I < 256; ++I) Ramp[I] = kv::RGBQUAD{uint8_t(I), uint8_t(I), uint8_t(I), 0};
  SetColorTable(Image, Ramp, 256);
}

TOutputFile::TOutputFile(const std::string& Target) : m_Target(Target) {
  const std::filesystem::path T(Target);
  const std::filesystem::path Dir = T.has_parent_path() ? T.parent_path() : std::filesystem::path(".");
  std::string Template = (Dir / ("." + T.filename().string() + ".XXXXXX")).string();
  const int Fd = mkstemp(Template.data());
  if (Fd < 0) throw TFileError(system_error("Cannot create file", Target));
  // mkstemp makes the file private; give it the mode a plain create would.
  const mode_t Mask = umask(0);
  umask(Mask);
  fchmod(Fd, 0666 & ~Mask);
  close(Fd);
  m_Temp = Template;
  if (m_Temp.size() < sizeof(g_PendingTemp)) {
    std::memcpy(g_PendingTemp, m_Temp.c_str(), m_Temp.size() + 1);
    for (int Signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(Signal, remove_pending_and_reraise);
  }
}

TOutputFile::~TOutputFile() {
  g_PendingTemp[0] = '\0';
  if (!m_Committed) unlink(m_Temp.c_str());
}

void TOutputFile::Commit() {
  if (std::rename(m_Temp.c_str(), m_Target.c_str()) != 0)
    throw TFileError(system_error("Cannot write", m_Target));
  m_Committed = true;
  g_PendingTemp[0] = '\0';
}

}  // namespace kvcli
