// A consumer of the installed library: loads a 24-bit BMP, reduces it to 256 colours,
// writes it to memory and checks an exception class and message.
#include <kvdib/image/KvDIB.h>
#include <kvdib/platform/streams/Stream.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  kv::TKvDIB Image;
  Image.LoadFromFile(argv[1]);
  Image.SetPixelFormat(kv::kvPf8Bit);
  kv::TMemoryStream Stream;
  Image.SaveToStream(Stream);
  std::printf("%d x %d, %d colours, %lld bytes\n", Image.GetWidth(), Image.GetHeight(), Image.GetColorCount(),
              static_cast<long long>(Stream.Size()));
  if (Image.GetPixelFormat() != kv::kvPf8Bit || Image.GetColorCount() < 2 || Image.GetColorCount() > 256)
    return 1;
  try {
    Image.SetBitCount(3);
  } catch (const kv::EKvDIBInvalidDIBPara& E) {
    return E.Message() == "TKvDIB.SetBitCount: Invalid BitCount" ? 0 : 1;
  }
  return 1;
}
