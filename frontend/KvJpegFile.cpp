// JPEG input through libjpeg. Its errors end in longjmp back to the function that set the
// jump point, which keeps only trivially destructible locals; the decompressor is owned by
// a guard in the calling frame, and nothing there throws while libjpeg is on the stack.
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <vector>

#include "frontend/KvDecodedImage.h"
#include "frontend/KvImageBytes.h"
#include "frontend/KvJpegFile.h"

namespace kv::frontend {

namespace {

// Every 8 x 8 block of the fullest component takes at least one bit of Huffman-coded data
// (its DC difference), so a file holds at most 64 * 8 pixels per byte; twice that leaves
// room for any doubt about sampling.
constexpr double kMaxPixelsPerByte = 1024;

struct TJpegError {
  jpeg_error_mgr Manager;  // first: libjpeg sees a jpeg_error_mgr*
  std::jmp_buf Jump;
  char Text[JMSG_LENGTH_MAX];
};

extern "C" void jpeg_error_to_message(j_common_ptr Info) {
  auto* Error = reinterpret_cast<TJpegError*>(Info->err);
  (*Info->err->format_message)(Info, Error->Text);
  std::longjmp(Error->Jump, 1);
}

// Warnings (level -1) about the data itself fail the read; the rest (trace messages and
// the benign warnings) stay quiet.
extern "C" void jpeg_warning_to_error(j_common_ptr Info, int Level) {
  if (Level != -1) return;
  switch (Info->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_ADOBE_XFORM:
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC: return;
    default: jpeg_error_to_message(Info);
  }
}

struct TJpegGuard {
  jpeg_decompress_struct Info{};
  TJpegError Error{};
  bool Created = false;
  TJpegGuard() {
    Info.err = jpeg_std_error(&Error.Manager);
    Error.Manager.error_exit = jpeg_error_to_message;
    Error.Manager.emit_message = jpeg_warning_to_error;
  }
  ~TJpegGuard() {
    if (Created) jpeg_destroy_decompress(&Info);
  }
};

bool read_header(TJpegGuard& G, std::span<const uint8_t> Bytes, uint64_t MemoryLimit) {
  jpeg_decompress_struct* J = &G.Info;
  if (setjmp(G.Error.Jump)) return false;
  jpeg_create_decompress(J);
  G.Created = true;
  if (MemoryLimit != 0) J->mem->max_memory_to_use = static_cast<long>(MemoryLimit);
  jpeg_mem_src(J, Bytes.data(), static_cast<unsigned long>(Bytes.size()));
  jpeg_read_header(J, TRUE);
  return true;
}

// CMYK and YCCK data as written by the common tools stores inverted ink values.
void cmyk_row_to_bgr(const uint8_t* Src, uint8_t* Dst, unsigned Width, bool Inverted) {
  for (unsigned X = 0; X < Width; ++X, Src += 4, Dst += 3) {
    const unsigned K = Inverted ? Src[3] : 255 - Src[3];
    for (int C = 0; C < 3; ++C) {
      const unsigned Ink = Inverted ? Src[2 - C] : 255 - Src[2 - C];
      Dst[C] = static_cast<uint8_t>((Ink * K + 127) / 255);
    }
  }
}

bool is_grey(const jpeg_decompress_struct& J) { return J.jpeg_color_space == JCS_GRAYSCALE; }
bool is_cmyk(const jpeg_decompress_struct& J) {
  return J.jpeg_color_space == JCS_CMYK || J.jpeg_color_space == JCS_YCCK;
}

bool start(TJpegGuard& G) {
  jpeg_decompress_struct* J = &G.Info;
  if (setjmp(G.Error.Jump)) return false;
  J->out_color_space = is_grey(*J) ? JCS_GRAYSCALE : is_cmyk(*J) ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(J);
  return true;
}

// Decodes straight into the rows (top down) as blue, green, red, or grey.
bool read_rows(TJpegGuard& G, uint8_t* const* Rows, uint8_t* Ink) {
  jpeg_decompress_struct* J = &G.Info;
  if (setjmp(G.Error.Jump)) return false;
  const bool Cmyk = is_cmyk(*J);
  while (J->output_scanline < J->output_height) {
    uint8_t* Row = Rows[J->output_scanline];
    JSAMPROW Target = Cmyk ? Ink : Row;
    jpeg_read_scanlines(J, &Target, 1);
    if (Cmyk) cmyk_row_to_bgr(Ink, Row, J->output_width, J->saw_Adobe_marker);
  }
  jpeg_finish_decompress(J);
  return true;
}

[[noreturn]] void fail(const TJpegGuard& G) { throw TFileError(std::string("JPEG: ") + G.Error.Text); }

}  // namespace

void ReadJpeg(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options) {
  TJpegGuard G;
  if (!read_header(G, Bytes, DecoderMemoryLimit(Options))) fail(G);
  const jpeg_decompress_struct& J = G.Info;
  CheckPixelLimit(J.image_width, J.image_height, Options);
  if (!J.arith_code)  // arithmetic coding can take less than a bit per block
    CheckPlausibleSize(J.image_width, J.image_height, Bytes.size(), kMaxPixelsPerByte, "JPEG");
  if (!start(G)) {
    // libjpeg says "Backing store not supported" when its buffers would pass the ceiling.
    if (G.Error.Manager.msg_code == JERR_NO_BACKING_STORE)
      throw TFileError("JPEG: decoding needs more than the " + std::to_string(DecoderMemoryLimit(Options)) +
                       " bytes allowed for the decoder's buffers (" + G.Error.Text + ")");
    fail(G);
  }

  TKvDIB Decoded;
  PrepareImage(Decoded, J.output_width, J.output_height, is_grey(J) ? 8 : 24);
  if (is_grey(J)) SetGreyRamp(Decoded);
  std::vector<uint8_t*> Rows(J.output_height);
  for (JDIMENSION Y = 0; Y < J.output_height; ++Y) Rows[Y] = Decoded.GetScanLine(static_cast<int32_t>(Y));
  std::vector<uint8_t> Ink(is_cmyk(J) ? static_cast<size_t>(J.output_width) * 4 : 0);
  if (!read_rows(G, Rows.data(), Ink.data())) fail(G);
  Image.Assign(&Decoded);
}

void ReadJpegFile(const std::string& Path, TKvDIB& Image) {
  const TImageBytes Bytes = TImageBytes::FromFile(Path);
  ReadJpeg(Bytes.Bytes(), Image, TLoadOptions{});
}

TFileDescription DescribeJpeg(std::span<const uint8_t> Bytes) {
  TJpegGuard G;
  if (!read_header(G, Bytes, 0)) fail(G);
  const jpeg_decompress_struct& J = G.Info;
  TFileDescription D;
  D.Kind = TFileKind::Jpeg;
  D.FileSize = Bytes.size();
  D.Width = J.image_width;
  D.Height = J.image_height;
  D.BitsPerSample = J.data_precision;
  D.BitsPerPixel = J.data_precision * J.num_components;
  switch (J.jpeg_color_space) {
    case JCS_GRAYSCALE: D.Color = "grey"; break;
    case JCS_YCbCr: D.Color = "YCbCr"; break;
    case JCS_RGB: D.Color = "RGB"; break;
    case JCS_CMYK: D.Color = "CMYK"; break;
    case JCS_YCCK: D.Color = "YCCK"; break;
    default: D.Color = "unknown"; break;
  }
  D.Compression = std::string(J.progressive_mode ? "progressive" : "sequential") +
                  (J.arith_code ? ", arithmetic" : ", Huffman");
  return D;
}

}  // namespace kv::frontend
