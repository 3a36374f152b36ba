// How the frontend's readers load an image: the limits that keep a hostile file from
// costing more than the image it can really hold, the colour that transparent pixels are
// composited onto, and a sink for notes about what a reader did beyond plain decoding.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "frontend/KvFileError.h"
#include "platform/core/WinTypes.h"

namespace kv::frontend {

// 256 megapixels: a 24-bit image of that size takes 768 MB.
constexpr uint64_t kDefaultMaxPixels = 256'000'000;

// Receives one line of text per note ("repaired RLE runs ...").
using TNoteSink = std::function<void(const std::string& Note)>;

struct TLoadOptions {
  // Images of more pixels than this are refused from their header, before any pixel memory
  // or decoder buffer is taken; 0 for no limit.
  uint64_t MaxPixels = kDefaultMaxPixels;
  // Ceiling for the JPEG library's own buffers (progressive images keep every coefficient
  // in memory); 0 derives it from MaxPixels (no ceiling when MaxPixels is 0 too).
  uint64_t MaxDecoderMemory = 0;
  // Transparent and translucent pixels are composited onto this colour (red in the lowest
  // byte); alpha is never kept.
  TColor Background = kClWhite;
  // Notes about repairs and compositing; nothing is reported when empty.
  TNoteSink Notes;
};

// An image refused by TLoadOptions::MaxPixels. The message names the size and the limit;
// callers that offer a way to raise the limit may say so next to it.
class TLimitError : public TFileError {
 public:
  TLimitError(uint64_t Width, uint64_t Height, uint64_t Limit);
  uint64_t Width() const { return m_Width; }
  uint64_t Height() const { return m_Height; }
  uint64_t Limit() const { return m_Limit; }

 private:
  uint64_t m_Width, m_Height, m_Limit;
};

// Raises TLimitError when Width x Height exceeds the options' pixel ceiling.
void CheckPixelLimit(uint64_t Width, uint64_t Height, const TLoadOptions& Options);

// Raises TFileError when an image of Width x Height cannot be the content of a file of
// FileBytes bytes whose format holds at most MaxPixelsPerByte pixels per byte of data
// (deflate's expansion limit, the least bits an entropy-coded block takes); Format names
// the format in the message.
void CheckPlausibleSize(uint64_t Width, uint64_t Height, uint64_t FileBytes, double MaxPixelsPerByte,
                        const char* Format);

// The JPEG library's buffer ceiling in bytes for these options; 0 for none.
uint64_t DecoderMemoryLimit(const TLoadOptions& Options);

// Composites one channel value C of opacity A (0..255) onto the background channel value B,
// rounded to nearest.
constexpr uint8_t Composite(unsigned C, unsigned A, unsigned B) {
  return static_cast<uint8_t>((C * A + B * (255 - A) + 127) / 255);
}

}  // namespace kv::frontend
