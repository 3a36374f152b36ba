// The bytes of an input image, whole and in memory: a regular file is mapped read-only
// (nothing is copied and nothing counts against the file-size limit), anything else (a
// pipe, standard input) is read to its end. Every reader of the frontend works on these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace kv::frontend {

class TImageBytes {
 public:
  TImageBytes() = default;
  // Raises TFileError "Cannot open file <Path>: <reason>" and the like.
  static TImageBytes FromFile(const std::string& Path);
  // Reads File (standard input, a pipe) to its end; Name is used in messages.
  static TImageBytes FromStream(std::FILE* File, const std::string& Name);
  static TImageBytes FromVector(std::vector<uint8_t> Data);
  ~TImageBytes();
  TImageBytes(TImageBytes&& Other) noexcept;
  TImageBytes& operator=(TImageBytes&& Other) noexcept;
  TImageBytes(const TImageBytes&) = delete;
  TImageBytes& operator=(const TImageBytes&) = delete;

  std::span<const uint8_t> Bytes() const { return {m_Data, m_Size}; }

 private:
  void Release() noexcept;

  const uint8_t* m_Data = nullptr;
  size_t m_Size = 0;
  void* m_Map = nullptr;  // the mapping, when the bytes are a mapped file
  std::vector<uint8_t> m_Owned;
};

}  // namespace kv::frontend
