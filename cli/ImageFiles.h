// Image files of the kvdib tool: recognising an input by its first bytes, reading BMP/DIB
// files through the library and PNG and JPEG files through libpng and libjpeg, writing
// indexed or RGB PNG files, and output files that appear only once they are complete.
#pragma once

#include <stdexcept>
#include <string>

#include "image/KvDIB.h"

namespace kvcli {

// A failure outside the image library (PNG or JPEG data, the file system).
class TFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TFileKind { Unknown, Bmp, Png, Jpeg };

// The kind of a file by its magic bytes; raises TFileError when it cannot be read.
TFileKind DetectFileKind(const std::string& Path);
const char* FileKindName(TFileKind Kind);

// Loads any supported file into Image. A PNG or JPEG becomes a 24-bit image, or an 8-bit
// one with its palette (palette PNG) or a grey ramp (grey PNG or JPEG); alpha is dropped.
// Raises kv::Exception (library) or TFileError.
TFileKind LoadImageFile(const std::string& Path, kv::TKvDIB& Image);

// Writes an uncompressed 1-, 4- or 8-bit image as an indexed PNG of the same bit depth
// and a 24-bit image as an RGB PNG. Raises TFileError.
void WritePngFile(kv::TKvDIB& Image, const std::string& Path);

// A file written under a temporary name in the target's folder and renamed over the
// target by Commit(); dropped without a trace otherwise, also when the process is
// interrupted by SIGINT, SIGTERM or SIGHUP.
class TOutputFile {
 public:
  explicit TOutputFile(const std::string& Target);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::string& TempPath() const { return m_Temp; }
  void Commit();

 private:
  std::string m_Target;
  std::string m_Temp;
  bool m_Committed = false;
};

}  // namespace kvcli
