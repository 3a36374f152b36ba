// Stream elements (as the library's decoder reads them):
//   n v            encoded run of n = 1..255 pixels
//   00 00          end of line
//   00 01          end of bitmap
//   00 02 dx dy    delta
//   00 n data      absolute run of n = 3..255 pixels; RLE8 n bytes, RLE4 n nibbles, the
//                  data padded to an even number of bytes
// Clipping keeps the first pixels of each run; a clipped absolute run shorter than 3
// pixels becomes runs of one pixel, since 00 01 and 00 02 are escapes.
#include "frontend/KvRleRepair.h"

#include <algorithm>

#include "image/KvPixels.h"

namespace kv::frontend {

namespace {

constexpr uint8_t kEscEndOfLine = 0;
constexpr uint8_t kEscEndOfBitmap = 1;
constexpr uint8_t kEscDelta = 2;

// Data bytes of an absolute run of N pixels, padding included.
size_t absolute_bytes(unsigned N, bool Four) { return Four ? (4 * N + 15) / 16 * 2 : (N + 1) / 2 * 2; }

}  // namespace

std::vector<uint8_t> ClipRleRuns(std::span<const uint8_t> Stream, int32_t Width, int32_t Height,
                                 int BitCount) {
  const bool Four = BitCount == 4;
  const int64_t Bound = Four ? (static_cast<int64_t>(Width) + 1) / 2 * 2 : Width;
  std::vector<uint8_t> Out;
  Out.reserve(Stream.size() + 2);
  int64_t X = 0, Y = 0;
  size_t P = 0;
  while (P + 2 <= Stream.size()) {
    const uint8_t B0 = Stream[P], B1 = Stream[P + 1];
    if (B0 != 0) {  // encoded run
      if (Y >= Height) break;
      const auto N = static_cast<uint8_t>(std::min<int64_t>(B0, Bound - X));
      if (N > 0) Out.insert(Out.end(), {N, B1});
      X += N;
      P += 2;
    } else if (B1 == kEscEndOfLine) {
      if (Y + 1 > Height) break;
      ++Y;
      X = 0;
      Out.insert(Out.end(), {0, kEscEndOfLine});
      P += 2;
    } else if (B1 == kEscEndOfBitmap) {
      break;
    } else if (B1 == kEscDelta) {
      if (P + 4 > Stream.size()) break;
      const int64_t NewX = std::min<int64_t>(X + Stream[P + 2], Bound);
      const int64_t NewY = Y + Stream[P + 3];
      if (NewY > Height) break;
      Out.insert(Out.end(), {0, kEscDelta, static_cast<uint8_t>(NewX - X), Stream[P + 3]});
      X = NewX;
      Y = NewY;
      P += 4;
    } else {  // absolute run
      if (Y >= Height) break;
      const unsigned N = B1;
      const uint8_t* Data = Stream.data() + P + 2;
      const size_t Present = std::min(absolute_bytes(N, Four), Stream.size() - P - 2);
      const int64_t Available = Four ? static_cast<int64_t>(Present) * 2 : static_cast<int64_t>(Present);
      const auto M = static_cast<unsigned>(std::min<int64_t>({N, Bound - X, Available}));
      if (M >= 3) {
        Out.insert(Out.end(), {0, static_cast<uint8_t>(M)});
        const size_t Bytes = absolute_bytes(M, Four);
        const size_t Copied = Four ? (M + 1) / 2 : M;
        Out.insert(Out.end(), Data, Data + Copied);
        Out.insert(Out.end(), Bytes - Copied, 0);
      } else {
        for (unsigned I = 0; I < M; ++I) {
          const uint8_t V =
              Four ? static_cast<uint8_t>(GetPixel4(Data, static_cast<int32_t>(I)) << 4) : Data[I];
          Out.insert(Out.end(), {1, V});
        }
      }
      X += M;
      if (Present < absolute_bytes(N, Four)) break;  // the stream ends inside the run
      P += 2 + absolute_bytes(N, Four);
    }
  }
  Out.insert(Out.end(), {0, kEscEndOfBitmap});
  return Out;
}

}  // namespace kv::frontend
