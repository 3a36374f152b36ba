// libFuzzer target for the tool's readers (BMP variants and RLE repair, PNG, JPEG, PGM/PPM)
// with the limits the tool applies: every input is described and loaded from memory under
// a pixel ceiling small enough for the fuzzer's memory; what loads is written back as BMP
// and, when it can be, as PNG, and that PNG must load to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frontend/KvFileInfo.h"
#include "frontend/KvImageFiles.h"
#include "frontend/KvLoadOptions.h"
#include "frontend/KvPngFile.h"
#include "platform/streams/Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::span<const uint8_t> Bytes(Data, Size);
  try {
    kv::frontend::DescribeImage(Bytes);
  } catch (const std::exception&) {
  }
  kv::frontend::TLoadOptions Options;
  Options.MaxPixels = 4u << 20;
  kv::TKvDIB Image;
  try {
    kv::frontend::LoadImage(Bytes, Image, Options);
  } catch (const std::exception&) {
    return 0;
  }
  kv::TMemoryStream Bmp;
  Image.SaveToStream(Bmp);
  try {
    const kv::TKvPixelFormat Format = Image.GetPixelFormat();
    if (Format == kv::kvPf4BitRLE || Format == kv::kvPf8BitRLE) return 0;
  } catch (const kv::Exception&) {
    return 0;  // a bit count / compression pair kept as read
  }
  std::vector<uint8_t> Png;
  kv::frontend::WritePng(Image, Png);
  kv::TKvDIB Again;
  kv::frontend::LoadImage(Png, Again, Options);  // our own PNG must load
  if (Again.GetWidth() != Image.GetWidth() || Again.GetHeight() != Image.GetHeight()) std::abort();
  for (int32_t Y = 0; Y < Image.GetHeight(); ++Y) {
    const size_t Bytes24 = Image.GetBitCount() == 24 ? 3 * static_cast<size_t>(Image.GetWidth()) : 0;
    if (Bytes24 && std::memcmp(Image.ReadScanLine(Y), Again.ReadScanLine(Y), Bytes24) != 0) std::abort();
  }
  return 0;
}
