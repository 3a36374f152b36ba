#include "frontend/KvLoadOptions.h"

#include <cstdio>

namespace kv::frontend {

namespace {

std::string megapixels(uint64_t Pixels) {
  char Text[32];
  std::snprintf(Text, sizeof(Text), "%.1f", static_cast<double>(Pixels) / 1e6);
  return Text;
}

std::string limit_message(uint64_t Width, uint64_t Height, uint64_t Limit) {
  return "image of " + std::to_string(Width) + " x " + std::to_string(Height) + " pixels (" +
         megapixels(Width * Height) + " megapixels) is larger than the limit of " + std::to_string(Limit) +
         " pixels";
}

}  // namespace

TLimitError::TLimitError(uint64_t Width, uint64_t Height, uint64_t Limit)
    : TFileError(limit_message(Width, Height, Limit)), m_Width(Width), m_Height(Height), m_Limit(Limit) {}

void CheckPixelLimit(uint64_t Width, uint64_t Height, const TLoadOptions& Options) {
  // Both sides are below 2^32 in every format read here, so the product cannot wrap.
  if (Options.MaxPixels != 0 && Width * Height > Options.MaxPixels)
    throw TLimitError(Width, Height, Options.MaxPixels);
}

void CheckPlausibleSize(uint64_t Width, uint64_t Height, uint64_t FileBytes, double MaxPixelsPerByte,
                        const char* Format) {
  // A kilobyte of slack for the smallest files, whose headers are most of them.
  const double Capacity = static_cast<double>(FileBytes + 1024) * MaxPixelsPerByte;
  if (static_cast<double>(Width) * static_cast<double>(Height) > Capacity)
    throw TFileError(std::string(Format) + " header declares " + std::to_string(Width) + " x " +
                     std::to_string(Height) + " pixels, more than its " + std::to_string(FileBytes) +
                     " bytes can hold");
}

uint64_t DecoderMemoryLimit(const TLoadOptions& Options) {
  if (Options.MaxDecoderMemory != 0) return Options.MaxDecoderMemory;
  if (Options.MaxPixels == 0) return 0;
  // A progressive JPEG keeps 2 bytes per coefficient of every component; three full
  // components at the pixel ceiling, plus room for tables and row buffers.
  return Options.MaxPixels * 6 + (64u << 20);
}

}  // namespace kv::frontend
