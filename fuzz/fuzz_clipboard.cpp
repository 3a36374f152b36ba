// libFuzzer target for the packed-DIB (clipboard block) parser: every input is parsed from
// a heap copy of exactly its size (so that any read past the block is caught); what parses
// is written back and parsed again (our own block must give the same image), and small
// images are converted to 24 bits so that the decoders see parsed data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "image/KvDIB.h"
#include "image/KvGeometry.h"
#include "image/interchange/KvPackedDIB.h"

namespace {

// Conversions allocate the full 24-bit image; keep that within the fuzzer's memory.
constexpr int64_t kMaxConvertedBytes = 16 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  auto Copy = std::make_unique<uint8_t[]>(Size + 1);  // never empty
  if (Size > 0) std::memcpy(Copy.get(), Data, Size);
  kv::TKvOwnedInfo Parsed;
  try {
    Parsed = kv::ParsePackedDIB(std::span<const uint8_t>(Copy.get(), Size));
  } catch (const kv::Exception&) {
    return 0;
  }

  std::vector<uint8_t> Block(static_cast<size_t>(kv::PackedDIBSize(Parsed.Info())));
  kv::WritePackedDIB(Parsed.Info(), Block);
  const kv::TKvOwnedInfo Again = kv::ParsePackedDIB(Block);
  const kv::TKvDIBInfo& A = Parsed.Info();
  const kv::TKvDIBInfo& B = Again.Info();
  if (A.BitsSize != B.BitsSize || std::memcmp(A.Bits, B.Bits, static_cast<size_t>(A.BitsSize)) != 0 ||
      std::memcmp(&A.Header, &B.Header, sizeof(A.Header)) != 0)
    std::abort();

  kv::TKvDIB Image;
  const int64_t Converted = kv::RowStride(A.Header.biWidth, 24) * kv::RowCount(A.Header.biHeight);
  Image.InternalDIB()->InstallInfo(std::move(Parsed));
  Image.UpdatePaletteModified();
  if (Converted <= kMaxConvertedBytes) {
    try {
      Image.SetPixelFormat(kv::kvPf24Bit);
    } catch (const kv::Exception&) {
    }
  }
  return 0;
}
