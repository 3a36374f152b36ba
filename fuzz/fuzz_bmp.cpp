// libFuzzer target for the BMP stream reader: every input is loaded; what loads is written
// back and read again (the writer's output must load to the same pixels), and small images
// are converted to 24 bits so that the RLE decoders and up-conversions see loaded data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/KvDIB.h"
#include "image/KvGeometry.h"
#include "platform/streams/Stream.h"

namespace {

// Conversions allocate the full 24-bit image; keep that within the fuzzer's memory.
constexpr int64_t kMaxConvertedBytes = 16 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  kv::TMemoryStream In(std::vector<uint8_t>(Data, Data + Size));
  kv::TKvDIB Image;
  try {
    Image.LoadFromStream(In);
  } catch (const kv::Exception&) {
    return 0;
  }

  const kv::TKvDIBInfo& Info = Image.InternalDIB()->Info;
  kv::TMemoryStream Out;
  Image.SaveToStream(Out);
  bool Storable = true;
  try {
    Image.GetPixelFormat();
  } catch (const kv::Exception&) {
    Storable = false;  // a bit count / compression pair kept as read; nothing converts it
  }
  if (Storable) {
    // Our own output of a storage format must load again with the same bytes.
    Out.SetPosition(0);
    kv::TKvDIB Again;
    Again.LoadFromStream(Out);
    const kv::TKvDIBInfo& Back = Again.InternalDIB()->Info;
    if (Back.BitsSize != Info.BitsSize ||
        std::memcmp(Back.Bits, Info.Bits, static_cast<size_t>(Info.BitsSize)) != 0)
      std::abort();
  }

  const int64_t Converted = kv::RowStride(Image.GetWidth(), 24) * Image.GetHeight();
  if (Converted <= kMaxConvertedBytes) {
    try {
      Image.SetPixelFormat(kv::kvPf24Bit);
    } catch (const kv::Exception&) {
    }
  }
  return 0;
}
