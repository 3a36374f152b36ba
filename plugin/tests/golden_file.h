// The reference file that the plug-in test hosts check the module against: images cut from
// a photograph together with the library's own 8-bit results for both methods. It is written
// by plugin-golden (native, linked with the library) and read by every host, native or
// Windows, so a host needs nothing but the module under test.
//
// Layout, little-endian: "KVPG", u32 case count, then per case u16 width, u16 height,
// width * height * 3 bytes (rows from the top, blue, green, red, no padding), and for
// method 1 then method 2: u32 colour count n, n * 3 bytes (blue, green, red), width * height
// palette indices.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace kvtest {

struct TGoldenMethod {
  std::vector<uint8_t> Palette;  // colour count * 3 bytes: blue, green, red
  std::vector<uint8_t> Indices;  // width * height
};

struct TGoldenCase {
  uint16_t Width = 0;
  uint16_t Height = 0;
  std::vector<uint8_t> Pixels;  // width * height * 3
  TGoldenMethod Methods[2];     // index 1 (Normal), index 2 (Fine)
};

constexpr char kGoldenMagic[4] = {'K', 'V', 'P', 'G'};

namespace detail {

inline void put_u32(std::vector<uint8_t>& Out, uint32_t V) {
  for (int I = 0; I < 4; ++I) Out.push_back(static_cast<uint8_t>(V >> (8 * I)));
}
inline void put_u16(std::vector<uint8_t>& Out, uint16_t V) {
  Out.push_back(static_cast<uint8_t>(V));
  Out.push_back(static_cast<uint8_t>(V >> 8));
}
inline void put_bytes(std::vector<uint8_t>& Out, const std::vector<uint8_t>& B) {
  Out.insert(Out.end(), B.begin(), B.end());
}

// A bounds-checked reader over the whole file.
class TReader {
 public:
  explicit TReader(const std::vector<uint8_t>& Data) : m_Data(Data) {}
  bool Bytes(size_t N, std::vector<uint8_t>& Out) {
    if (N > m_Data.size() - m_Pos) return false;
    Out.assign(m_Data.begin() + static_cast<std::ptrdiff_t>(m_Pos),
               m_Data.begin() + static_cast<std::ptrdiff_t>(m_Pos + N));
    m_Pos += N;
    return true;
  }
  bool U32(uint32_t& V) {
    std::vector<uint8_t> B;
    if (!Bytes(4, B)) return false;
    V = B[0] | (B[1] << 8) | (B[2] << 16) | (static_cast<uint32_t>(B[3]) << 24);
    return true;
  }
  bool U16(uint16_t& V) {
    std::vector<uint8_t> B;
    if (!Bytes(2, B)) return false;
    V = static_cast<uint16_t>(B[0] | (B[1] << 8));
    return true;
  }
  bool AtEnd() const { return m_Pos == m_Data.size(); }

 private:
  const std::vector<uint8_t>& m_Data;
  size_t m_Pos = 0;
};

}  // namespace detail

inline bool WriteGolden(const std::string& Path, const std::vector<TGoldenCase>& Cases) {
  std::vector<uint8_t> Out(kGoldenMagic, kGoldenMagic + 4);
  detail::put_u32(Out, static_cast<uint32_t>(Cases.size()));
  for (const TGoldenCase& C : Cases) {
    detail::put_u16(Out, C.Width);
    detail::put_u16(Out, C.Height);
    detail::put_bytes(Out, C.Pixels);
    for (const TGoldenMethod& M : C.Methods) {
      detail::put_u32(Out, static_cast<uint32_t>(M.Palette.size() / 3));
      detail::put_bytes(Out, M.Palette);
      detail::put_bytes(Out, M.Indices);
    }
  }
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  if (F == nullptr) return false;
  const bool Ok = std::fwrite(Out.data(), 1, Out.size(), F) == Out.size();
  return std::fclose(F) == 0 && Ok;
}

inline bool ReadGolden(const std::string& Path, std::vector<TGoldenCase>& Cases) {
  std::FILE* F = std::fopen(Path.c_str(), "rb");
  if (F == nullptr) return false;
  std::vector<uint8_t> Data;
  uint8_t Buffer[65536];
  for (size_t N; (N = std::fread(Buffer, 1, sizeof Buffer, F)) > 0;)
    Data.insert(Data.end(), Buffer, Buffer + N);
  std::fclose(F);

  detail::TReader R(Data);
  std::vector<uint8_t> Magic;
  uint32_t Count = 0;
  if (!R.Bytes(4, Magic) || std::memcmp(Magic.data(), kGoldenMagic, 4) != 0 || !R.U32(Count)) return false;
  Cases.assign(Count, TGoldenCase{});
  for (TGoldenCase& C : Cases) {
    if (!R.U16(C.Width) || !R.U16(C.Height)) return false;
    const size_t Area = static_cast<size_t>(C.Width) * C.Height;
    if (!R.Bytes(Area * 3, C.Pixels)) return false;
    for (TGoldenMethod& M : C.Methods) {
      uint32_t Colors = 0;
      if (!R.U32(Colors) || Colors > 256 || !R.Bytes(Colors * 3, M.Palette) || !R.Bytes(Area, M.Indices))
        return false;
    }
  }
  return R.AtEnd();
}

}  // namespace kvtest
