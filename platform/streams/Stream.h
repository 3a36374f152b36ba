// Byte streams: the abstract TStream with exact reads and writes and relative seeks, a
// file stream and a growable memory stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kv {

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to Count bytes; returns how many were read.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes Count bytes; returns how many were written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t Pos) = 0;
  virtual int64_t Size() const = 0;

  // Reads exactly Count bytes or raises EStreamError "Stream read error".
  void ReadBuffer(void* Buffer, int64_t Count);
  // Writes exactly Count bytes or raises EStreamError "Stream write error".
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Moves the position by Offset bytes from where it is.
  void Seek(int64_t Offset) { SetPosition(Position() + Offset); }
  // Bytes between the position and the end.
  int64_t Remaining() const { return Size() - Position(); }
};

// A file read and written through the operating system's own calls. Small reads are
// served from a buffer of kBufferSize bytes; a read of at least that size goes straight
// into the caller's memory, in as few requests as the system allows, so pixel data
// lands directly in its pixel block. Writes are never buffered: each goes straight to
// the file, so that a write that cannot be completed fails in WriteBuffer rather than
// unnoticed when the stream is closed.
class TFileStream final : public TStream {
 public:
  enum TMode { OpenRead, Create };
  static constexpr int64_t kBufferSize = 4096;

  // Raises EStreamError "Cannot open file <name>" / "Cannot create file <name>".
  TFileStream(const std::string& FileName, TMode Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Position() const override { return m_Pos; }
  void SetPosition(int64_t Pos) override;
  int64_t Size() const override;
  // Nothing is held back; raises EStreamError when an earlier write failed.
  void Flush();

 private:
  int64_t read_direct(uint8_t* Buffer, int64_t Count);

  int m_Fd = -1;
  int64_t m_Pos = 0;       // the stream's position
  int64_t m_FilePos = 0;   // the descriptor's offset (after the buffered bytes)
  int64_t m_BufStart = 0;  // file offset of m_Buf[0]
  int64_t m_BufLen = 0;    // valid bytes in m_Buf
  bool m_WriteFailed = false;
  std::vector<uint8_t> m_Buf;
};

class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> Data) : m_Data(std::move(Data)) {}

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Position() const override { return m_Pos; }
  void SetPosition(int64_t Pos) override;
  int64_t Size() const override { return static_cast<int64_t>(m_Data.size()); }

  const std::vector<uint8_t>& Data() const { return m_Data; }

 private:
  std::vector<uint8_t> m_Data;
  int64_t m_Pos = 0;
};

}  // namespace kv
