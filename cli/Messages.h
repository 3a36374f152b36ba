// What the tool says to its user: failures of the library and the frontend in plain words
// (the library's own messages stay as they are where they already speak to a user), the
// progress bar's labels and the note for a key-colour conversion of a photograph.
#pragma once

#include <exception>
#include <string>

#include "image/KvDIB.h"

namespace kvcli {

// The message for a failed conversion of a Width x Height image to Target.
std::string ConversionFailure(const std::exception& E, int32_t Width, int32_t Height,
                              kv::TKvPixelFormat Target);
// The message for a failed load: the reader's own, with how to raise the pixel limit when
// that is what refused the image.
std::string LoadFailure(const std::exception& E);
// The progress bar's label for a conversion from Source to Target.
std::string ProgressLabel(kv::TKvPixelFormat Source, kv::TKvPixelFormat Target, bool Fine,
                          const kv::TKvQuantizeOptions* Quantize = nullptr);
// The one-line note for --to 1bit on a true-colour image with the default key colour.
std::string KeyColorNote(kv::TColor Key);
// 1234567 -> "1,234,567".
std::string Grouped(uint64_t Value);

}  // namespace kvcli
