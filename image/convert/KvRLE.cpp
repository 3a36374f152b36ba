// RLE8 and RLE4 codecs: decoders from BI_RLE8 / BI_RLE4 streams to uncompressed rows and
// encoders back.
//
// Stream elements (two bytes each, some followed by more):
//   n v        n = 1..255: encoded run of n pixels; RLE8: all v, RLE4: the nibbles of v
//              alternately, high first
//   00 00      end of line
//   00 01      end of bitmap
//   00 02 dx dy  delta: dx pixels right, dy rows on
//   00 n ...   n = 3..255: absolute run; RLE8: n bytes, RLE4: n nibbles two to a byte,
//              the data padded to an even number of bytes
//
// Decoding untrusted streams. Every element is checked against the row, the image and the
// bytes left in the source before anything is read or written:
//   - a run (encoded or absolute) may end exactly at the row end but not beyond it (RLE4:
//     at the row end rounded up to even, so a run may fill the pad nibble of an odd-width
//     row); it is refused when no row is left (y >= H);
//   - an end of line or a delta may take y to H, the position just past the last row; a
//     further end of line, or a delta beyond the row end or beyond y = H, is refused;
//   - nothing ever wraps into the next row; a row need not be complete before its end of
//     line, the rest of it stays index 0;
//   - column, row and bound are 64-bit, so adding a count to a column of a very wide image
//     cannot wrap around and slip past a bound check.
// Refused elements raise EKvDIBInvalidDIB "Bad RLE Data N". The source is read only up to
// BitsSize bytes: a stream that stops before its end of bitmap, or inside an element, ends
// there. Pixels decoded so far are kept (for an absolute run cut short, the pixels whose
// data bytes are present), everything else stays index 0.
//
// Encoding follows a four-state scan per row (Empty, One, Run, Literal) with runs and
// literals of at most 255 pixels (RLE8) or 127 bytes (RLE4, two pixels each). The stream is
// written into a work buffer of the uncompressed size; every emit step keeps room for an
// end of line and an end of bitmap, and an image whose stream does not fit is refused with
// EKvDIBCompressionFailed instead of being stored larger than its plain rows.
#include "image/convert/KvRLE.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/KvGeometry.h"
#include "image/KvPixels.h"

namespace kv {

namespace {

// Escape codes after a 0 byte.
constexpr uint8_t kEscEndOfLine = 0;
constexpr uint8_t kEscEndOfBitmap = 1;
constexpr uint8_t kEscDelta = 2;

// ---------------------------------------------------------------------------------------
// Decoders

struct TDecodeMessages {
  const char* BadType;
  const char* EndOfLine;  // end of line beyond the last row
  const char* Delta;      // delta beyond the row end or the last row
  const char* Absolute;   // absolute run beyond the row end or with no row left
  const char* Run;        // encoded run beyond the row end or with no row left
};

// Pixel placement of the 8-bit rows.
struct TRle8Rows {
  static constexpr int kBits = 8;
  static int64_t column_bound(int64_t W) { return W; }
  // Source bytes that hold N pixels of an absolute run, and the bytes the element's data
  // occupies with its padding.
  static int64_t data_bytes(int64_t N) { return N; }
  static int64_t padded_bytes(int64_t N) { return (N + 1) & ~int64_t{1}; }
  static int64_t pixels_in(int64_t Bytes) { return Bytes; }
  static void run(uint8_t* Row, int64_t X, int64_t N, uint8_t V) {
    std::memset(Row + X, V, static_cast<size_t>(N));
  }
  static void absolute(uint8_t* Row, int64_t X, int64_t N, const uint8_t* Data) {
    std::memcpy(Row + X, Data, static_cast<size_t>(N));
  }
};

// Pixel placement of the 4-bit rows. Columns only grow within a row, so pixels are appended
// (AppendPixel4: an even column stores its whole byte, an odd one ORs in its nibble).
struct TRle4Rows {
  static constexpr int kBits = 4;
  static int64_t column_bound(int64_t W) { return ((W + 1) / 2) * 2; }
  static int64_t data_bytes(int64_t N) { return (N + 1) / 2; }
  static int64_t padded_bytes(int64_t N) { return ((4 * N + 15) / 16) * 2; }
  static int64_t pixels_in(int64_t Bytes) { return 2 * Bytes; }
  // Pixel J of an encoded run takes the high nibble of V for even J, the low one for odd
  // J, whatever the column.
  static void run(uint8_t* Row, int64_t X, int64_t N, uint8_t V) {
    if ((X & 1) == 0) {
      // Aligned: whole bytes of V, and the high nibble alone for an odd count.
      std::memset(Row + (X >> 1), V, static_cast<size_t>(N / 2));
      if (N & 1) Row[(X + N - 1) >> 1] = static_cast<uint8_t>(V & 0xF0);
      return;
    }
    for (int64_t J = 0; J < N; ++J)
      AppendPixel4(Row, X + J, (J & 1) ? static_cast<uint8_t>(V & 0x0F) : static_cast<uint8_t>(V >> 4));
  }
  static void absolute(uint8_t* Row, int64_t X, int64_t N, const uint8_t* Data) {
    if ((X & 1) == 0) {
      std::memcpy(Row + (X >> 1), Data, static_cast<size_t>(N / 2));
      if (N & 1) Row[(X + N - 1) >> 1] = static_cast<uint8_t>(Data[N >> 1] & 0xF0);
      return;
    }
    for (int64_t J = 0; J < N; ++J) {
      const uint8_t B = Data[J >> 1];
      AppendPixel4(Row, X + J, (J & 1) ? static_cast<uint8_t>(B & 0x0F) : static_cast<uint8_t>(B >> 4));
    }
  }
};

template <typename TRows>
void decode(const TKvDIBInfo& Src, TKvDIBInfo& Dst, uint32_t Compression, const TDecodeMessages& Msg) {
  if (Src.Header.biBitCount != TRows::kBits || Src.Header.biCompression != Compression)
    throw EKvDIBBadDIBType(Msg.BadType);
  const TKvGeometry G = GeometryOf(Src);
  const int64_t Stride = RowStride(G.Width, TRows::kBits);
  TFileMapBlock Block(CheckedBlockSize(Stride, G.Height));  // zero-filled: unwritten pixels are index 0

  const int64_t W = TRows::column_bound(G.Width);
  const int64_t H = G.Height;
  const uint8_t* In = Src.Bits;
  int64_t Left = (Src.Bits != nullptr && Src.BitsSize > 0) ? Src.BitsSize : 0;  // unread source bytes
  int64_t X = 0;
  int64_t Y = 0;
  auto row = [&Block, Stride](int64_t R) { return Block.Bits() + R * Stride; };

  while (Left >= 2) {
    const uint8_t B0 = In[0];
    const uint8_t B1 = In[1];
    In += 2;
    Left -= 2;
    if (B0 != 0) {  // encoded run of B0 pixels
      if (X + B0 > W || Y >= H) throw EKvDIBInvalidDIB(Msg.Run);
      TRows::run(row(Y), X, B0, B1);
      X += B0;
      continue;
    }
    if (B1 == kEscEndOfLine) {
      ++Y;
      X = 0;
      if (Y > H) throw EKvDIBInvalidDIB(Msg.EndOfLine);
    } else if (B1 == kEscEndOfBitmap) {
      break;
    } else if (B1 == kEscDelta) {
      if (Left < 2) break;  // cut inside the element
      X += In[0];
      Y += In[1];
      In += 2;
      Left -= 2;
      if (X > W || Y > H) throw EKvDIBInvalidDIB(Msg.Delta);
    } else {  // absolute run of B1 pixels
      const int64_t N = B1;
      if (X + N > W || Y >= H) throw EKvDIBInvalidDIB(Msg.Absolute);
      const int64_t Present = std::min(N, TRows::pixels_in(std::min(Left, TRows::data_bytes(N))));
      TRows::absolute(row(Y), X, Present, In);
      if (Present < N) break;  // the data stops inside the run
      X += N;
      const int64_t Skip = std::min(Left, TRows::padded_bytes(N));
      In += Skip;
      Left -= Skip;
    }
  }
  FillDestination(Src, Dst, Block, TRows::kBits, kBiRGB, 0);
}

// ---------------------------------------------------------------------------------------
// Encoders

struct TEncodeMessages {
  const char* BadType;
  const char* Failed;    // the stream does not fit the work buffer
  const char* Absolute;  // empty literal (internal invariant)
  const char* BadBlock;  // source block shorter than its rows
};

// The work buffer: Capacity bytes, the uncompressed size of the image. Every emit step
// first checks that its reserve is still free.
class TStreamBuffer {
 public:
  TStreamBuffer(int64_t Capacity, const char* Failed)
      : m_Capacity(Capacity),
        m_Data(std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(Capacity))),
        m_Failed(Failed) {}
  void require(int64_t Bytes) const {
    if (m_Capacity - m_Length < Bytes) throw EKvDIBCompressionFailed(m_Failed);
  }
  void put(uint8_t B) { m_Data[static_cast<size_t>(m_Length++)] = B; }
  void put(const uint8_t* P, int64_t N) {
    std::memcpy(m_Data.get() + m_Length, P, static_cast<size_t>(N));
    m_Length += N;
  }
  const uint8_t* data() const { return m_Data.get(); }
  int64_t length() const { return m_Length; }

 private:
  int64_t m_Capacity;
  int64_t m_Length = 0;
  std::unique_ptr<uint8_t[]> m_Data;
  const char* m_Failed;
};

constexpr int64_t round_up_even(int64_t N) { return (N + 1) & ~int64_t{1}; }

// RLE8 emit steps: one item per pixel.
class TRle8Writer {
 public:
  static constexpr int kBits = 8;
  static constexpr int kLimit = 255;
  TRle8Writer(TStreamBuffer& Out, int64_t /*Width*/, const char* AbsoluteError)
      : m_Out(Out), m_AbsoluteError(AbsoluteError) {}
  static int64_t items_per_row(int64_t Width) { return Width; }
  void begin_row() {}
  void run(int Count, uint8_t Value) {
    m_Out.require(6);
    m_Out.put(static_cast<uint8_t>(Count));
    m_Out.put(Value);
  }
  void absolute(const uint8_t* P, int Len) {
    AssertDIB(Len > 0, m_AbsoluteError);
    m_Out.require(round_up_even(Len) + 6);
    if (Len <= 2) {  // the shortest absolute run is 3 pixels
      for (int I = 0; I < Len; ++I) run(1, P[I]);
      return;
    }
    m_Out.put(0);
    m_Out.put(static_cast<uint8_t>(Len));
    m_Out.put(P, Len);
    if (Len & 1) m_Out.put(0);
  }

 private:
  TStreamBuffer& m_Out;
  const char* m_AbsoluteError;
};

// RLE4 emit steps: one item per byte of the row (a pixel pair). The pixel counts are
// clipped to the pixels of the row not yet emitted, so that an odd-width row adds up to
// exactly its width although the scan works on whole bytes.
class TRle4Writer {
 public:
  static constexpr int kBits = 4;
  static constexpr int kLimit = 127;
  TRle4Writer(TStreamBuffer& Out, int64_t Width, const char* AbsoluteError)
      : m_Out(Out), m_Width(Width), m_AbsoluteError(AbsoluteError) {}
  static int64_t items_per_row(int64_t Width) { return (Width + 1) / 2; }
  void begin_row() { m_Emitted = 0; }
  void run(int Count, uint8_t Value) {
    m_Out.require(6);
    m_Out.put(static_cast<uint8_t>(take(Count)));
    m_Out.put(Value);
  }
  void absolute(const uint8_t* P, int Len) {
    AssertDIB(Len > 0, m_AbsoluteError);
    m_Out.require(round_up_even(Len) + 6);
    if (Len <= 1) {
      run(1, P[0]);
      return;
    }
    m_Out.put(0);
    m_Out.put(static_cast<uint8_t>(take(Len)));
    m_Out.put(P, Len);
    if (Len & 1) m_Out.put(0);
  }

 private:
  // Pixels of Bytes whole bytes, at most what is left of the row.
  int64_t take(int Bytes) {
    const int64_t N = std::min<int64_t>(2 * Bytes, m_Width - m_Emitted);
    m_Emitted += N;
    return N;
  }

  TStreamBuffer& m_Out;
  int64_t m_Width;
  int64_t m_Emitted = 0;  // pixels of the current row already emitted
  const char* m_AbsoluteError;
};

// The scan of one row: Count items, emitted as runs and literals through the writer.
template <typename TWriter>
void encode_row(TWriter& Out, const uint8_t* Row, int64_t Count) {
  constexpr int kLimit = TWriter::kLimit;
  enum class TState { Empty, One, Run, Literal };
  TState State = TState::Empty;
  int64_t Start = 0;  // first item of the pending one or literal, in Row
  int Len = 0;        // items pending in the literal
  uint8_t Value = 0;  // value of the run
  int Repeat = 0;     // length of the run

  Out.begin_row();
  for (int64_t I = 0; I < Count; ++I) {
    const uint8_t P = Row[I];
    switch (State) {
      case TState::Empty:
        Start = I;
        Len = 1;
        State = TState::One;
        break;
      case TState::One:
        if (P == Row[Start]) {
          Value = P;
          Repeat = 2;
          State = TState::Run;
        } else {
          Len = 2;
          State = TState::Literal;
        }
        break;
      case TState::Run:
        if (Repeat < kLimit && P == Value) {
          ++Repeat;
        } else {
          Out.run(Repeat, Value);
          Start = I;
          Len = 1;
          State = TState::One;
        }
        break;
      case TState::Literal: {
        const uint8_t Last = Row[Start + Len - 1];
        if (Len < kLimit && P != Last) {
          ++Len;
        } else if (P == Last) {
          // Two equal neighbours end the literal; the last item opens a run.
          Out.absolute(Row + Start, Len - 1);
          Value = Last;
          Repeat = 2;
          State = TState::Run;
        } else {
          Out.absolute(Row + Start, Len);
          Start = I;
          Len = 1;
          State = TState::One;
        }
        break;
      }
    }
  }
  switch (State) {
    case TState::Empty: break;
    case TState::One: Out.run(1, Row[Start]); break;
    case TState::Run: Out.run(Repeat, Value); break;
    case TState::Literal: Out.absolute(Row + Start, Len); break;
  }
}

template <typename TWriter>
void encode(const TKvDIBInfo& Src, TKvDIBInfo& Dst, uint32_t Compression, const TEncodeMessages& Msg) {
  if (Src.Header.biBitCount != TWriter::kBits || Src.Header.biCompression != kBiRGB)
    throw EKvDIBBadDIBType(Msg.BadType);
  const TKvGeometry G = GeometryOf(Src);
  const int64_t Stride = RowStride(G.Width, TWriter::kBits);
  CheckSourceRows(Src, Stride, G.Height, Msg.BadBlock);

  TStreamBuffer Out(Stride * G.Height, Msg.Failed);
  TWriter Writer(Out, G.Width, Msg.Absolute);
  const int64_t Items = TWriter::items_per_row(G.Width);
  // The stream always starts with the bottom row of the picture.
  for (int64_t R = 0; R < G.Height; ++R) {
    encode_row(Writer, StoredRow(Src, Stride, StoredRowOf(G, G.Height - 1 - R)), Items);
    Out.require(4);
    Out.put(0);
    Out.put(kEscEndOfLine);
  }
  Out.require(2);
  Out.put(0);
  Out.put(kEscEndOfBitmap);

  TFileMapBlock Block(CheckedBlockSize(Out.length()));
  std::memcpy(Block.Bits(), Out.data(), static_cast<size_t>(Out.length()));
  FillDestination(Src, Dst, Block, TWriter::kBits, Compression, static_cast<uint32_t>(Out.length()));
  Dst.Header.biHeight = static_cast<int32_t>(G.Height);
}

}  // namespace

void Convert8BitRLETo8BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  decode<TRle8Rows>(Src, Dst, kBiRLE8,
                    {"Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination",
                     "Convert8BitRLETo8BitRGB: Bad RLE Data 1", "Convert8BitRLETo8BitRGB: Bad RLE Data 2",
                     "Convert8BitRLETo8BitRGB: Bad RLE Data 3", "Convert8BitRLETo8BitRGB: Bad RLE Data 4"});
}

void Convert4BitRLETo4BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  decode<TRle4Rows>(Src, Dst, kBiRLE4,
                    {"Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination",
                     "Convert4BitRLETo4BitRGB: Bad RLE Data 5", "Convert4BitRLETo4BitRGB: Bad RLE Data 6",
                     "Convert4BitRLETo4BitRGB: Bad RLE Data 7", "Convert4BitRLETo4BitRGB: Bad RLE Data 8"});
}

void Convert8BitRGBTo8BitRLE(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  encode<TRle8Writer>(
      Src, Dst, kBiRLE8,
      {"Convert8BitRGBTo8BitRLE: Invalid Bitcount & Compression Combination",
       "Convert8BitRGBTo8BitRLE: Compression Failed", "Convert8BitRGBTo8BitRLE: WriteAbsolute Error",
       "Convert8BitRGBTo8BitRLE: Pixel Block Too Small"});
}

void Convert4BitRGBTo4BitRLE(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  encode<TRle4Writer>(
      Src, Dst, kBiRLE4,
      {"Convert4BitRGBTo4BitRLE: Invalid Bitcount & Compression Combination",
       "Convert4BitRGBTo4BitRLE: Compression Failed", "Convert4BitRGBTo4BitRLE: WriteAbsolute Error",
       "Convert4BitRGBTo4BitRLE: Pixel Block Too Small"});
}

}  // namespace kv
