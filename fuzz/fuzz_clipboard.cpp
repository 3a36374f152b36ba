// libFuzzer target for the packed-DIB (clipboard block) parser: every input is parsed from
// a heap copy of exactly its size (so that any read past the block is caught); what parses
// is written back and parsed again (our own block must give the same image), loaded once
// more through the clipboard path (a global memory block and TKvDIB.LoadFromClipboardFormat,
// which must give the same image with the block's slack behind the pixels), drawn small
// (RLE data with whatever biSizeImage the header claims), and small images are converted
// to 24 bits so that the decoders see parsed data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "image/KvDIB.h"
#include "image/KvGeometry.h"
#include "image/interchange/KvPackedDIB.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/GlobalMemory.h"

namespace {

// Conversions and drawing (which expands RLE data) take the full image; keep that within
// the fuzzer's memory.
constexpr int64_t kMaxConvertedBytes = 16 << 20;

bool same_image(const kv::TKvDIBInfo& A, const kv::TKvDIBInfo& B) {
  return B.BitsSize >= A.BitsSize && std::memcmp(A.Bits, B.Bits, static_cast<size_t>(A.BitsSize)) == 0 &&
         std::memcmp(&A.Header, &B.Header, sizeof(A.Header)) == 0;
}

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
  if (A.BitsSize != Again.Info().BitsSize || !same_image(A, Again.Info())) std::abort();

  // The same bytes through a global memory block, as the clipboard hands them over.
  {
    kv::TGlobalBlock Global(kv::GlobalAlloc(kv::kGHnd, Size));
    std::memcpy(kv::TGlobalLock(Global.get()).Data(), Copy.get(), Size);
    kv::TKvDIB FromClipboard;
    FromClipboard.LoadFromClipboardFormat(kv::kCF_DIB, Global.get(), nullptr);
    if (!same_image(A, FromClipboard.DIBInfo())) std::abort();
  }

  kv::TKvDIB Image;
  const int64_t Converted = kv::RowStride(A.Header.biWidth, 24) * kv::RowCount(A.Header.biHeight);
  Image.InternalDIB()->InstallInfo(std::move(Parsed));
  Image.UpdatePaletteModified();
  if (Converted <= kMaxConvertedBytes) {
    kv::TBitmap Target;
    Target.SetPixelFormat(kv::pf24bit);
    Target.SetSize(16, 16);
    Target.Canvas().StretchDraw(kv::TRect{0, 0, 16, 16}, &Image);
    try {
      Image.SetPixelFormat(kv::kvPf24Bit);
    } catch (const kv::Exception&) {
    }
  }
  return 0;
}
