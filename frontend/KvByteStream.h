// A read-only TStream over bytes held elsewhere: an optional prefix of its own followed
// by a span. The BMP reader hands the library a rewritten header this way, in front of the
// file's own colour table and pixels, without copying them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/streams/Stream.h"

namespace kv::frontend {

class TByteStream final : public TStream {
 public:
  explicit TByteStream(std::span<const uint8_t> Body, std::vector<uint8_t> Prefix = {})
      : m_Prefix(std::move(Prefix)), m_Body(Body) {}

  int64_t Read(void* Buffer, int64_t Count) override;
  // Read-only: writes nothing.
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Position() const override { return m_Pos; }
  void SetPosition(int64_t Pos) override;
  int64_t Size() const override { return static_cast<int64_t>(m_Prefix.size() + m_Body.size()); }

 private:
  std::vector<uint8_t> m_Prefix;
  std::span<const uint8_t> m_Body;
  int64_t m_Pos = 0;
};

}  // namespace kv::frontend
