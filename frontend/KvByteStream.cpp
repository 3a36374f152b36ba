#include "frontend/KvByteStream.h"

#include <algorithm>
#include <cstring>

#include "platform/core/Exceptions.h"

namespace kv::frontend {

int64_t TByteStream::Read(void* Buffer, int64_t Count) {
  auto* Out = static_cast<uint8_t*>(Buffer);
  int64_t Done = 0;
  const auto PrefixSize = static_cast<int64_t>(m_Prefix.size());
  while (Done < Count && m_Pos < Size()) {
    const bool InPrefix = m_Pos < PrefixSize;
    const uint8_t* From = InPrefix ? m_Prefix.data() + m_Pos : m_Body.data() + (m_Pos - PrefixSize);
    const int64_t Left = InPrefix ? PrefixSize - m_Pos : Size() - m_Pos;
    const int64_t N = std::min(Count - Done, Left);
    std::memcpy(Out + Done, From, static_cast<size_t>(N));
    Done += N;
    m_Pos += N;
  }
  return Done;
}

void TByteStream::SetPosition(int64_t Pos) {
  if (Pos < 0) throw EStreamError("Stream seek error");
  m_Pos = Pos;  // past the end, as a file allows: the next read then comes up short
}

}  // namespace kv::frontend
