// Byte streams: exact reads and writes over a file or a growable memory buffer.
#include "platform/streams/Stream.h"

#include <algorithm>
#include <cstring>

#include "platform/core/Exceptions.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace kv {

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EStreamError("Stream write error");
}

namespace {

// The few calls a file stream needs, on either system.
#ifdef _WIN32
int os_open(const std::string& Name, bool Create) {
  return Create ? ::_open(Name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE)
                : ::_open(Name.c_str(), _O_RDONLY | _O_BINARY);
}
int os_close(int Fd) { return ::_close(Fd); }
// One request of at most 1 GiB, which any system takes whole.
int64_t os_read(int Fd, void* Buffer, int64_t Count) {
  return ::_read(Fd, Buffer, static_cast<unsigned>(std::min<int64_t>(Count, int64_t{1} << 30)));
}
int64_t os_write(int Fd, const void* Buffer, int64_t Count) {
  return ::_write(Fd, Buffer, static_cast<unsigned>(std::min<int64_t>(Count, int64_t{1} << 30)));
}
int64_t os_seek(int Fd, int64_t Pos) { return ::_lseeki64(Fd, Pos, SEEK_SET); }
int64_t os_size(int Fd) {
  struct _stat64 St;
  return ::_fstat64(Fd, &St) == 0 ? static_cast<int64_t>(St.st_size) : -1;
}
bool interrupted() { return false; }
#else
int os_open(const std::string& Name, bool Create) {
  return Create ? ::open(Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                : ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
}
int os_close(int Fd) { return ::close(Fd); }
int64_t os_read(int Fd, void* Buffer, int64_t Count) {
  return ::read(Fd, Buffer, static_cast<size_t>(std::min<int64_t>(Count, int64_t{1} << 30)));
}
int64_t os_write(int Fd, const void* Buffer, int64_t Count) {
  return ::write(Fd, Buffer, static_cast<size_t>(std::min<int64_t>(Count, int64_t{1} << 30)));
}
int64_t os_seek(int Fd, int64_t Pos) { return ::lseek(Fd, static_cast<off_t>(Pos), SEEK_SET); }
int64_t os_size(int Fd) {
  struct stat St;
  return ::fstat(Fd, &St) == 0 ? static_cast<int64_t>(St.st_size) : -1;
}
bool interrupted() { return errno == EINTR; }
#endif

}  // namespace

TFileStream::TFileStream(const std::string& FileName, TMode Mode) {
  m_Fd = os_open(FileName, Mode == Create);
  if (m_Fd < 0)
    throw EStreamError((Mode == OpenRead ? "Cannot open file " : "Cannot create file ") + FileName);
  if (Mode == OpenRead) m_Buf.resize(static_cast<size_t>(kBufferSize));
}

TFileStream::~TFileStream() {
  if (m_Fd >= 0) os_close(m_Fd);
}

// Reads at the descriptor's offset until Count bytes are in or the file ends.
int64_t TFileStream::read_direct(uint8_t* Buffer, int64_t Count) {
  int64_t Done = 0;
  while (Done < Count) {
    const int64_t N = os_read(m_Fd, Buffer + Done, Count - Done);
    if (N < 0 && interrupted()) continue;
    if (N <= 0) break;
    Done += N;
  }
  m_FilePos += Done;
  return Done;
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  auto* Out = static_cast<uint8_t*>(Buffer);
  int64_t Done = 0;
  // Whatever of the request the buffer holds.
  if (m_Pos >= m_BufStart && m_Pos < m_BufStart + m_BufLen) {
    const int64_t N = std::min(Count, m_BufStart + m_BufLen - m_Pos);
    std::memcpy(Out, m_Buf.data() + (m_Pos - m_BufStart), static_cast<size_t>(N));
    Done = N;
    m_Pos += N;
  }
  if (Done == Count) return Done;
  // The descriptor's offset follows the buffer; move it where the stream is.
  if (m_FilePos != m_Pos) {
    if (os_seek(m_Fd, m_Pos) != m_Pos) return Done;
    m_FilePos = m_Pos;
  }
  const int64_t Rest = Count - Done;
  if (Rest >= kBufferSize || m_Buf.empty()) {
    const int64_t N = read_direct(Out + Done, Rest);
    m_Pos += N;
    return Done + N;
  }
  m_BufStart = m_FilePos;
  m_BufLen = read_direct(m_Buf.data(), kBufferSize);
  const int64_t N = std::min(Rest, m_BufLen);
  std::memcpy(Out + Done, m_Buf.data(), static_cast<size_t>(N));
  m_Pos += N;
  return Done + N;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  if (m_FilePos != m_Pos) {
    if (os_seek(m_Fd, m_Pos) != m_Pos) return 0;
    m_FilePos = m_Pos;
  }
  m_BufLen = 0;  // a read buffer no longer tells the file's bytes
  const auto* In = static_cast<const uint8_t*>(Buffer);
  int64_t Done = 0;
  while (Done < Count) {
    const int64_t N = os_write(m_Fd, In + Done, Count - Done);
    if (N < 0 && interrupted()) continue;
    if (N <= 0) {
      m_WriteFailed = true;
      break;
    }
    Done += N;
  }
  m_FilePos += Done;
  m_Pos += Done;
  return Done;
}

void TFileStream::SetPosition(int64_t Pos) {
  // Positions past the end are allowed, as with any file; the next read finds nothing.
  if (Pos < 0) throw EStreamError("Stream seek error");
  m_Pos = Pos;
}

int64_t TFileStream::Size() const {
  const int64_t End = os_size(m_Fd);
  if (End < 0) throw EStreamError("Stream seek error");
  return std::max(End, m_FilePos);
}

void TFileStream::Flush() {
  if (m_WriteFailed) throw EStreamError("Stream write error");
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  const int64_t N = std::clamp<int64_t>(Size() - m_Pos, 0, std::max<int64_t>(Count, 0));
  if (N > 0) std::memcpy(Buffer, m_Data.data() + m_Pos, static_cast<size_t>(N));
  m_Pos += N;
  return N;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const auto End = static_cast<size_t>(m_Pos + Count);
  if (End > m_Data.size()) m_Data.resize(End);
  std::memcpy(m_Data.data() + m_Pos, Buffer, static_cast<size_t>(Count));
  m_Pos += Count;
  return Count;
}

void TMemoryStream::SetPosition(int64_t Pos) {
  if (Pos < 0) throw EStreamError("Stream seek error");
  m_Pos = Pos;
}

}  // namespace kv
