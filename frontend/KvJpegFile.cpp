// JPEG input through libjpeg. Its errors end in longjmp back to decode_jpeg, which keeps
// only trivially destructible locals under setjmp; the decompressor and the FILE are
// owned by guards in the calling frame.
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <csetjmp>
#include <vector>

#include "frontend/KvDecodedImage.h"
#include "frontend/KvImageFiles.h"
#include "frontend/KvJpegFile.h"

namespace kv::frontend {

namespace {

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

extern "C" void jpeg_ignore_message(j_common_ptr, int) {}

struct TJpegGuard {
  jpeg_decompress_struct Info{};
  bool Created = false;
  std::FILE* File = nullptr;
  ~TJpegGuard() {
    if (Created) jpeg_destroy_decompress(&Info);
    if (File) std::fclose(File);
  }
};

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

// Grey images become 8-bit images with a grey ramp, everything else 24 bits, decoded
// straight into the scan lines as blue, green, red.
bool decode_jpeg(TJpegGuard& Guard, TJpegError& Error, TKvDIB& Image, std::vector<uint8_t>& Ink) {
  jpeg_decompress_struct* J = &Guard.Info;
  if (setjmp(Error.Jump)) return false;
  jpeg_stdio_src(J, Guard.File);
  jpeg_read_header(J, TRUE);
  const bool Grey = J->jpeg_color_space == JCS_GRAYSCALE;
  const bool Cmyk = J->jpeg_color_space == JCS_CMYK || J->jpeg_color_space == JCS_YCCK;
  J->out_color_space = Grey ? JCS_GRAYSCALE : Cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(J);

  PrepareImage(Image, J->output_width, J->output_height, Grey ? 8 : 24);
  if (Grey) SetGreyRamp(Image);
  if (Cmyk) Ink.resize(static_cast<size_t>(J->output_width) * 4);
  while (J->output_scanline < J->output_height) {
    uint8_t* Row = Image.GetScanLine(static_cast<int32_t>(J->output_scanline));
    JSAMPROW Target = Cmyk ? Ink.data() : Row;
    jpeg_read_scanlines(J, &Target, 1);
    if (Cmyk) cmyk_row_to_bgr(Ink.data(), Row, J->output_width, J->saw_Adobe_marker);
  }
  jpeg_finish_decompress(J);
  return true;
}

}  // namespace

void ReadJpegFile(const std::string& Path, TKvDIB& Image) {
  TJpegGuard Guard;
  Guard.File = std::fopen(Path.c_str(), "rb");
  if (!Guard.File) throw TFileError("Cannot open file " + Path);
  TJpegError Error{};
  Guard.Info.err = jpeg_std_error(&Error.Manager);
  Error.Manager.error_exit = jpeg_error_to_message;
  Error.Manager.emit_message = jpeg_ignore_message;
  jpeg_create_decompress(&Guard.Info);
  Guard.Created = true;
  std::vector<uint8_t> Ink;
  if (!decode_jpeg(Guard, Error, Image, Ink)) throw TFileError(std::string("JPEG: ") + Error.Text);
}

}  // namespace kv::frontend
