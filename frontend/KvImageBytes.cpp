#include "frontend/KvImageBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "frontend/KvImageFiles.h"

namespace kv::frontend {

namespace {

std::string system_error(const std::string& What, const std::string& Path) {
  return What + " " + Path + ": " + std::strerror(errno);
}

struct TFdCloser {
  int Fd;
  ~TFdCloser() {
    if (Fd >= 0) close(Fd);
  }
};

std::vector<uint8_t> read_all(int Fd, const std::string& Name) {
  std::vector<uint8_t> Data;
  size_t Used = 0;
  for (;;) {
    if (Data.size() - Used < 65536) Data.resize(Data.size() < 65536 ? 131072 : Data.size() * 2);
    const ssize_t N = read(Fd, Data.data() + Used, Data.size() - Used);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) throw TFileError(system_error("Cannot read", Name));
    if (N == 0) break;
    Used += static_cast<size_t>(N);
  }
  Data.resize(Used);
  return Data;
}

}  // namespace

TImageBytes TImageBytes::FromFile(const std::string& Path) {
  const TFdCloser File{open(Path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (File.Fd < 0) throw TFileError(system_error("Cannot open file", Path));
  struct stat St {};
  if (fstat(File.Fd, &St) != 0) throw TFileError(system_error("Cannot open file", Path));
  if (S_ISDIR(St.st_mode)) throw TFileError("Cannot open file " + Path + ": Is a directory");
  TImageBytes Bytes;
  if (S_ISREG(St.st_mode) && St.st_size > 0) {
    void* Map = mmap(nullptr, static_cast<size_t>(St.st_size), PROT_READ, MAP_PRIVATE, File.Fd, 0);
    if (Map != MAP_FAILED) {
      Bytes.m_Map = Map;
      Bytes.m_Data = static_cast<const uint8_t*>(Map);
      Bytes.m_Size = static_cast<size_t>(St.st_size);
      return Bytes;
    }
  }
  return FromVector(read_all(File.Fd, Path));
}

TImageBytes TImageBytes::FromStream(std::FILE* File, const std::string& Name) {
  std::fflush(File);
  return FromVector(read_all(fileno(File), Name));
}

TImageBytes TImageBytes::FromVector(std::vector<uint8_t> Data) {
  TImageBytes Bytes;
  Bytes.m_Owned = std::move(Data);
  Bytes.m_Data = Bytes.m_Owned.data();
  Bytes.m_Size = Bytes.m_Owned.size();
  return Bytes;
}

TImageBytes::~TImageBytes() { Release(); }

TImageBytes::TImageBytes(TImageBytes&& Other) noexcept { *this = std::move(Other); }

TImageBytes& TImageBytes::operator=(TImageBytes&& Other) noexcept {
  if (this != &Other) {
    Release();
    m_Map = std::exchange(Other.m_Map, nullptr);
    m_Size = std::exchange(Other.m_Size, 0);
    const bool Owned = m_Map == nullptr;
    m_Owned = std::move(Other.m_Owned);
    m_Data = Owned ? m_Owned.data() : std::exchange(Other.m_Data, nullptr);
    Other.m_Data = nullptr;
  }
  return *this;
}

void TImageBytes::Release() noexcept {
  if (m_Map) munmap(m_Map, m_Size);
  m_Map = nullptr;
  m_Data = nullptr;
  m_Size = 0;
  m_Owned.clear();
}

}  // namespace kv::frontend
