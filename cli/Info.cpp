#include "cli/Info.h"

#include <cstdio>
#include <optional>

#include "cli/Messages.h"
#include "frontend/KvFileInfo.h"
#include "frontend/KvFormatNames.h"
#include "frontend/KvImageBytes.h"
#include "frontend/KvImageFiles.h"

namespace kvcli {

namespace {

using namespace kv::frontend;

struct TLoaded {
  std::string PixelFormat;
  int BitCount = 0;
  int Colors = 0;
  int32_t Width = 0, Height = 0;
  std::vector<std::string> Notes;
};

struct TReport {
  std::string File;
  std::optional<TFileDescription> Stored;
  std::optional<TLoaded> Loads;
  std::string Error;
};

TReport examine(const std::string& File, const TLoadOptions& Load) {
  TReport R;
  R.File = File;
  try {
    const TImageBytes Bytes =
        File == "-" ? TImageBytes::FromStream(stdin, "standard input") : TImageBytes::FromFile(File);
    R.Stored = DescribeImage(Bytes.Bytes());
    TLoaded L;
    TLoadOptions Options = Load;
    Options.Notes = [&L](const std::string& Note) { L.Notes.push_back(Note); };
    kv::TKvDIB Image;
    try {
      LoadImage(Bytes.Bytes(), Image, Options);
    } catch (const std::exception& E) {
      R.Error = LoadFailure(E);
      return R;
    }
    try {
      L.PixelFormat = FormatName(Image.GetPixelFormat());
    } catch (const kv::Exception& E) {
      L.PixelFormat = "none (" + E.Message() + ")";
    }
    L.BitCount = Image.GetBitCount();
    L.Colors = Image.GetColorCount();
    L.Width = Image.GetWidth();
    L.Height = Image.GetHeight();
    R.Loads = L;
  } catch (const std::exception& E) {
    R.Error = E.what();
  }
  return R;
}

std::string json_string(const std::string& S) {
  std::string Out = "\"";
  for (const unsigned char C : S) {
    switch (C) {
      case '"': Out += "\\\""; break;
      case '\\': Out += "\\\\"; break;
      case '\n': Out += "\\n"; break;
      case '\t': Out += "\\t"; break;
      default:
        if (C < 0x20) {
          char Esc[8];
          std::snprintf(Esc, sizeof(Esc), "\\u%04x", C);
          Out += Esc;
        } else {
          Out += static_cast<char>(C);
        }
    }
  }
  return Out + "\"";
}

const char* yes_no(bool B) { return B ? "yes" : "no"; }
const char* row_order(const TFileDescription& D) { return D.TopDown ? "top-down" : "bottom-up"; }

void print_text(const TReport& R, bool First) {
  std::printf("%s%s\n", First ? "" : "\n", R.File.c_str());
  if (R.Stored) {
    const TFileDescription& D = *R.Stored;
    std::printf("  format:          %s\n", FileKindName(D.Kind));
    if (D.HeaderSize) std::printf("  header size:     %u bytes\n", D.HeaderSize);
    std::printf("  size:            %lld x %llu\n", static_cast<long long>(D.Width),
                static_cast<unsigned long long>(D.Height));
    std::printf("  bits per pixel:  %d\n", D.BitsPerPixel);
    if (D.BitsPerSample) std::printf("  bits per sample: %d\n", D.BitsPerSample);
    std::printf("  colour:          %s\n", D.Color.c_str());
    std::printf("  alpha:           %s\n", yes_no(D.Alpha));
    std::printf("  compression:     %s\n", D.Compression.c_str());
    std::printf("  colour table:    %u entries\n", D.ColorTableSize);
    std::printf("  row order:       %s%s\n", row_order(D), D.Interlaced ? ", interlaced" : "");
    std::printf("  file size:       %llu bytes\n", static_cast<unsigned long long>(D.FileSize));
  }
  if (R.Loads) {
    const TLoaded& L = *R.Loads;
    std::printf("  loads as:        %s, %d x %d, %d bits per pixel, %d colours\n", L.PixelFormat.c_str(),
                L.Width, L.Height, L.BitCount, L.Colors);
    for (const std::string& N : L.Notes) std::printf("  note:            %s\n", N.c_str());
  }
}

void print_json(const TReport& R, bool First) {
  std::printf("%s\n  {\"file\": %s", First ? "" : ",", json_string(R.File).c_str());
  if (R.Stored) {
    const TFileDescription& D = *R.Stored;
    std::printf(", \"format\": %s", json_string(FileKindName(D.Kind)).c_str());
    if (D.HeaderSize)
      std::printf(", \"header_size\": %u", D.HeaderSize);
    else
      std::printf(", \"header_size\": null");
    std::printf(", \"width\": %lld, \"height\": %llu", static_cast<long long>(D.Width),
                static_cast<unsigned long long>(D.Height));
    std::printf(", \"bits_per_pixel\": %d", D.BitsPerPixel);
    if (D.BitsPerSample)
      std::printf(", \"bits_per_sample\": %d", D.BitsPerSample);
    else
      std::printf(", \"bits_per_sample\": null");
    std::printf(", \"color\": %s, \"alpha\": %s", json_string(D.Color).c_str(), D.Alpha ? "true" : "false");
    std::printf(", \"compression\": %s", json_string(D.Compression).c_str());
    std::printf(", \"color_table_size\": %u", D.ColorTableSize);
    std::printf(", \"row_order\": %s, \"interlaced\": %s", json_string(row_order(D)).c_str(),
                D.Interlaced ? "true" : "false");
    std::printf(", \"file_size\": %llu", static_cast<unsigned long long>(D.FileSize));
  }
  if (R.Loads) {
    const TLoaded& L = *R.Loads;
    std::printf(
        ",\n   \"loads_as\": {\"pixel_format\": %s, \"width\": %d, \"height\": %d, \"bit_count\": %d, "
        "\"colors\": %d, \"notes\": [",
        json_string(L.PixelFormat).c_str(), L.Width, L.Height, L.BitCount, L.Colors);
    for (size_t I = 0; I < L.Notes.size(); ++I)
      std::printf("%s%s", I ? ", " : "", json_string(L.Notes[I]).c_str());
    std::printf("]}");
  } else {
    std::printf(",\n   \"loads_as\": null, \"error\": %s", json_string(R.Error).c_str());
  }
  std::printf("}");
}

}  // namespace

int RunInfo(const std::vector<std::string>& Files, bool Json, const TLoadOptions& Load) {
  int Status = 0;
  bool First = true;
  if (Json) std::printf("[");
  for (const std::string& File : Files) {
    const TReport R = examine(File, Load);
    if (!R.Error.empty()) {
      std::fprintf(stderr, "%s: %s\n", File.c_str(), R.Error.c_str());
      Status = 1;
    }
    if (Json) {
      print_json(R, First);
      First = false;
    } else if (R.Stored) {
      print_text(R, First);
      First = false;
    }
  }
  if (Json) std::printf("\n]\n");
  return Status;
}

}  // namespace kvcli
