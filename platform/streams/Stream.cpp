// Byte streams: exact reads and writes over a file or a growable memory buffer.
#include "platform/streams/Stream.h"

#include <algorithm>
#include <cstring>

#include "platform/core/Exceptions.h"

namespace kv {

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EStreamError("Stream write error");
}

TFileStream::TFileStream(const std::string& FileName, TMode Mode) {
  m_File = std::fopen(FileName.c_str(), Mode == OpenRead ? "rb" : "wb");
  if (!m_File)
    throw EStreamError((Mode == OpenRead ? "Cannot open file " : "Cannot create file ") + FileName);
  // Writes go straight to the file, so that a write that cannot be completed fails in
  // WriteBuffer rather than unnoticed when the stream is closed.
  if (Mode == Create) std::setvbuf(m_File, nullptr, _IONBF, 0);
}

TFileStream::~TFileStream() {
  if (m_File) std::fclose(m_File);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  return static_cast<int64_t>(std::fread(Buffer, 1, static_cast<size_t>(Count), m_File));
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  return static_cast<int64_t>(std::fwrite(Buffer, 1, static_cast<size_t>(Count), m_File));
}

int64_t TFileStream::Position() const {
#ifdef _WIN32
  return _ftelli64(m_File);
#else
  return ftello(m_File);
#endif
}

void TFileStream::SetPosition(int64_t Pos) {
#ifdef _WIN32
  const int Result = _fseeki64(m_File, Pos, SEEK_SET);
#else
  const int Result = fseeko(m_File, static_cast<off_t>(Pos), SEEK_SET);
#endif
  if (Pos < 0 || Result != 0) throw EStreamError("Stream seek error");
}

int64_t TFileStream::Size() const {
  const int64_t Here = Position();
#ifdef _WIN32
  _fseeki64(m_File, 0, SEEK_END);
  const int64_t End = _ftelli64(m_File);
  _fseeki64(m_File, Here, SEEK_SET);
#else
  fseeko(m_File, 0, SEEK_END);
  const int64_t End = ftello(m_File);
  fseeko(m_File, static_cast<off_t>(Here), SEEK_SET);
#endif
  return End;
}

void TFileStream::Flush() {
  if (std::fflush(m_File) != 0 || std::ferror(m_File)) throw EStreamError("Stream write error");
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
