// The image object behind the Python module's kvdib.Image, and the pixel transfers between
// numpy-style strided byte arrays and TKvDIB storage. Nothing here knows Python: the
// bindings (kvdib_module.cpp) take and release the interpreter lock around these calls.
//
// Sharing rules for Python images:
// 1. A Python image never changes after it is made: every operation that would change it
//    (convert) builds a new image. So read-only numpy views of its pixel block stay valid
//    for as long as the image lives, and the image lives as long as any view does.
// 2. Python threads run the library with the interpreter lock released. Each TKvDIB is used
//    by one call at a time; what several share is a storage object, whose reference count
//    is atomic, and which a conversion only reads (SetPixelFormat on shared storage puts
//    its result into a fresh storage object instead of copying the shared one first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/KvDIB.h"

namespace kv::python {

class TPyImage {
 public:
  TPyImage() : m_Dib(std::make_unique<TKvDIB>()) {}
  TPyImage(const TPyImage&) = delete;
  TPyImage& operator=(const TPyImage&) = delete;

  TKvDIB& Dib() { return *m_Dib; }
  const TKvDIB& Dib() const { return *m_Dib; }

  // A new image sharing this one's storage (no pixels are copied); converting it leaves
  // this one as it is.
  std::unique_ptr<TPyImage> Share() const;

 private:
  std::unique_ptr<TKvDIB> m_Dib;
};

// A read-only strided view of bytes, as numpy describes an array: element (i, j, k) is at
// Data + i * Strides[0] + j * Strides[1] + k * Strides[2]; strides may be negative.
struct TByteView {
  const uint8_t* Data = nullptr;
  int64_t Shape[3] = {0, 0, 0};
  ptrdiff_t Strides[3] = {0, 0, 0};
};

// Makes Image a bottom-up 24-bit image of Rgb, an (h, w, 3) view of red, green, blue with
// the top row first. Raises the library's exceptions for sizes it cannot hold.
void FillTrueColor(TKvDIB& Image, const TByteView& Rgb);
// Makes Image a bottom-up 8-bit image of Indices (h, w) over Palette (n, 3) RGB.
void FillIndexed(TKvDIB& Image, const TByteView& Indices, const TByteView& Palette);

// For an uncompressed 1-, 4- or 8-bit image: one index byte per pixel, top row first,
// into Out (h * w bytes).
void ReadIndices(const TKvDIB& Image, uint8_t* Out);
// For any uncompressed image: red, green, blue per pixel, top row first, into Out
// (h * w * 3 bytes).
void ReadTrueColor(const TKvDIB& Image, uint8_t* Out);
// The first biClrUsed colour-table entries as red, green, blue into Out (3 bytes each).
void ReadPalette(const TKvDIB& Image, uint8_t* Out);

// True for the RLE storage formats, which have no rows to read.
bool IsCompressed(const TKvDIB& Image);
// An uncompressed private copy of an RLE image (its decoded 4- or 8-bit form).
std::unique_ptr<TPyImage> Decompressed(const TPyImage& Image);

}  // namespace kv::python
