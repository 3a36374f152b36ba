// info --json parsed and checked field by field for every input kind: BMP of every header
// form, PNG of every colour type and depth (palette, grey, alpha, 16-bit, interlaced),
// JPEG, PGM and PPM; and the pixels those PNG and PNM inputs load as. With
// KVDIB_CORPUS_OUT=DIR set, the described files are also written to DIR (fuzzing seeds).
#include <cstring>
#include <map>
#include <memory>
#include <variant>

#include "cli/tests/cli_support.h"

namespace kv::clitest {
namespace {

// A small JSON reader, enough for the tool's output: objects, arrays, strings, integers,
// true, false, null.
struct TJson {
  std::variant<std::nullptr_t, bool, long long, std::string, std::vector<TJson>, std::map<std::string, TJson>>
      V;
  const TJson& operator[](const std::string& Key) const {
    static const TJson Missing{"<missing>"};
    const auto* M = std::get_if<std::map<std::string, TJson>>(&V);
    if (!M) return Missing;
    auto It = M->find(Key);
    return It == M->end() ? Missing : It->second;
  }
  const TJson& operator[](size_t I) const { return std::get<std::vector<TJson>>(V).at(I); }
  size_t size() const { return std::get<std::vector<TJson>>(V).size(); }
  long long Int() const { return std::holds_alternative<long long>(V) ? std::get<long long>(V) : -999999; }
  std::string Str() const {
    return std::holds_alternative<std::string>(V) ? std::get<std::string>(V) : "<not a string>";
  }
  bool IsNull() const { return std::holds_alternative<std::nullptr_t>(V); }
  bool Bool() const { return std::holds_alternative<bool>(V) && std::get<bool>(V); }
};

class TJsonParser {
 public:
  explicit TJsonParser(const std::string& Text) : m_T(Text) {}
  TJson Parse() {
    TJson J = Value();
    Space();
    if (m_P != m_T.size()) throw std::runtime_error("trailing text at " + std::to_string(m_P));
    return J;
  }

 private:
  void Space() {
    while (m_P < m_T.size() && std::isspace(static_cast<unsigned char>(m_T[m_P]))) ++m_P;
  }
  void Expect(char C) {
    Space();
    if (m_P >= m_T.size() || m_T[m_P] != C)
      throw std::runtime_error(std::string("expected ") + C + " at " + std::to_string(m_P));
    ++m_P;
  }
  bool Next(char C) {
    Space();
    if (m_P < m_T.size() && m_T[m_P] == C) return ++m_P, true;
    return false;
  }
  std::string String() {
    Expect('"');
    std::string S;
    while (m_P < m_T.size() && m_T[m_P] != '"') {
      char C = m_T[m_P++];
      if (C == '\\') {
        const char E = m_T.at(m_P++);
        C = E == 'n' ? '\n' : E == 't' ? '\t' : E;
        if (E == 'u') {
          C = static_cast<char>(std::stoi(m_T.substr(m_P, 4), nullptr, 16));
          m_P += 4;
        }
      }
      S += C;
    }
    Expect('"');
    return S;
  }
  TJson Value() {
    Space();
    if (Next('{')) {
      std::map<std::string, TJson> M;
      if (!Next('}')) {
        do {
          std::string K = String();
          Expect(':');
          M[K] = Value();
        } while (Next(','));
        Expect('}');
      }
      return TJson{M};
    }
    if (Next('[')) {
      std::vector<TJson> A;
      if (!Next(']')) {
        do A.push_back(Value());
        while (Next(','));
        Expect(']');
      }
      return TJson{A};
    }
    if (m_T[m_P] == '"') return TJson{String()};
    for (const char* Word : {"true", "false", "null"})
      if (m_T.compare(m_P, std::strlen(Word), Word) == 0) {
        m_P += std::strlen(Word);
        if (Word[0] == 'n') return TJson{nullptr};
        return TJson{Word[0] == 't'};
      }
    size_t Used = 0;
    const long long N = std::stoll(m_T.substr(m_P), &Used);
    m_P += Used;
    return TJson{N};
  }
  const std::string& m_T;
  size_t m_P = 0;
};

// One file with what info must say about it.
struct TExpect {
  std::string Name;
  TBytes File;
  std::string Format;
  long long HeaderSize;                                  // -1: null
  long long Width, Height, BitsPerPixel, BitsPerSample;  // BitsPerSample -1: null
  std::string Color, Compression;
  long long TableSize;
  std::string RowOrder;
  bool Interlaced, Alpha;
  std::string PixelFormat;
  long long BitCount, Colors;
};

TPngSpec png(int W, int H, int Depth, int ColorType, bool Interlaced = false) {
  TPngSpec S;
  S.Width = W;
  S.Height = H;
  S.Depth = Depth;
  S.ColorType = ColorType;
  S.Interlaced = Interlaced;
  const int Max = (1 << Depth) - 1;
  const size_t N = static_cast<size_t>(W) * H * Channels(ColorType);
  for (size_t I = 0; I < N; ++I) {
    const int V = static_cast<int>((I * 2654435761u) >> 7) & Max;
    if (Depth == 16) {
      S.Samples.push_back(uint8_t(V >> 8));
      S.Samples.push_back(uint8_t(V));
    } else {
      S.Samples.push_back(
          static_cast<uint8_t>(ColorType == PNG_COLOR_TYPE_PALETTE ? V % std::min(5, Max + 1) : V));
    }
  }
  if (ColorType == PNG_COLOR_TYPE_PALETTE) {
    S.Palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    S.Palette.resize(std::min<size_t>(5, static_cast<size_t>(Max) + 1));
  }
  return S;
}

class Info : public ToolTest {};

TEST_F(Info, JsonDescribesEachFileAsStoredAndAsItLoads) {
  const TPicture P = Gradient(9, 5);
  std::vector<TExpect> Cases;
  for (uint32_t Size : {12u, 40u, 56u, 64u, 108u, 124u}) {
    TBmpSpec S;
    S.HeaderSize = Size;
    S.Width = 9;
    S.Height = Size == 12 ? 5 : -5;
    S.BitCount = 8;
    for (uint32_t I = 0; I < 256; ++I) S.Palette.push_back(I * 0x010101);
    S.ClrUsed = Size == 12 ? 0 : 256;
    std::vector<uint8_t> Index(45);
    for (size_t I = 0; I < 45; ++I) Index[I] = static_cast<uint8_t>(I);
    S.Pixels = IndexRows(Index, 9, 5, 8, Size != 12);
    Cases.push_back({"h" + std::to_string(Size) + ".bmp", MakeBmp(S), "BMP", Size, 9, 5, 8, -1, "palette",
                     "none", 256, Size == 12 ? "bottom-up" : "top-down", false, false, "8bit", 8, 256});
  }
  {
    TBmpSpec S;
    S.HeaderSize = 124;
    S.Width = 9;
    S.Height = 5;
    S.BitCount = 32;
    S.Compression = 3;
    S.Masks[0] = 0xFF0000;
    S.Masks[1] = 0xFF00;
    S.Masks[2] = 0xFF;
    S.Masks[3] = 0xFF000000;
    S.Pixels = BmpRows(P, 32, false, [](int, int) { return uint8_t(255); });
    Cases.push_back({"v5_32.bmp", MakeBmp(S), "BMP", 124, 9, 5, 32, -1, "bit fields", "bit fields", 0,
                     "bottom-up", false, true, "24bit", 24, 0});
    TBmpSpec R;
    R.Width = 9;
    R.Height = 5;
    R.BitCount = 4;
    R.Compression = 2;
    R.Palette.assign(16, 0x808080);
    R.Pixels = {0, 1};
    Cases.push_back({"rle4.bmp", MakeBmp(R), "BMP", 40, 9, 5, 4, -1, "palette", "RLE4", 16, "bottom-up",
                     false, false, "4bit-rle", 4, 16});
  }
  struct TPngCase {
    int Depth, Type;
    bool Interlaced;
    const char* Color;
    long long Bpp, Table;
    const char* Loads;
    long long Bits, Colors;
  };
  for (const TPngCase& C : {TPngCase{1, PNG_COLOR_TYPE_PALETTE, false, "palette", 1, 2, "1bit", 1, 2},
                            TPngCase{2, PNG_COLOR_TYPE_PALETTE, false, "palette", 2, 4, "4bit", 4, 4},
                            TPngCase{4, PNG_COLOR_TYPE_PALETTE, true, "palette", 4, 5, "4bit", 4, 5},
                            TPngCase{8, PNG_COLOR_TYPE_PALETTE, false, "palette", 8, 5, "8bit", 8, 5},
                            TPngCase{1, PNG_COLOR_TYPE_GRAY, false, "grey", 1, 0, "1bit", 1, 2},
                            TPngCase{2, PNG_COLOR_TYPE_GRAY, true, "grey", 2, 0, "4bit", 4, 4},
                            TPngCase{4, PNG_COLOR_TYPE_GRAY, false, "grey", 4, 0, "4bit", 4, 16},
                            TPngCase{8, PNG_COLOR_TYPE_GRAY, false, "grey", 8, 0, "8bit", 8, 256},
                            TPngCase{16, PNG_COLOR_TYPE_GRAY, true, "grey", 16, 0, "8bit", 8, 256},
                            TPngCase{8, PNG_COLOR_TYPE_GA, false, "grey+alpha", 16, 0, "8bit", 8, 256},
                            TPngCase{16, PNG_COLOR_TYPE_GA, true, "grey+alpha", 32, 0, "8bit", 8, 256},
                            TPngCase{8, PNG_COLOR_TYPE_RGB, true, "RGB", 24, 0, "24bit", 24, 0},
                            TPngCase{16, PNG_COLOR_TYPE_RGB, false, "RGB", 48, 0, "24bit", 24, 0},
                            TPngCase{8, PNG_COLOR_TYPE_RGBA, false, "RGBA", 32, 0, "24bit", 24, 0},
                            TPngCase{16, PNG_COLOR_TYPE_RGBA, true, "RGBA", 64, 0, "24bit", 24, 0}}) {
    const std::string Name =
        "p" + std::to_string(C.Depth) + "_" + C.Color + (C.Interlaced ? "_i" : "") + ".png";
    Cases.push_back({Name, MakePng(png(11, 6, C.Depth, C.Type, C.Interlaced)), "PNG", -1, 11, 6, C.Bpp,
                     C.Depth, C.Color, "deflate", C.Table, "top-down", C.Interlaced,
                     (C.Type & PNG_COLOR_MASK_ALPHA) != 0, C.Loads, C.Bits, C.Colors});
  }
  Cases.push_back({"photo.jpg", MakeJpeg(P), "JPEG", -1, 9, 5, 24, 8, "YCbCr", "sequential, Huffman", 0,
                   "top-down", false, false, "24bit", 24, 0});
  Cases.push_back({"prog.jpg", MakeJpeg(P, 80, true, true), "JPEG", -1, 9, 5, 8, 8, "grey",
                   "progressive, Huffman", 0, "top-down", false, false, "8bit", 8, 256});
  Cases.push_back({"c.ppm", MakePnm(true, 3, 2, 255, std::vector<uint16_t>(18, 7)), "PPM", -1, 3, 2, 24, 8,
                   "RGB", "none", 0, "top-down", false, false, "24bit", 24, 0});
  Cases.push_back({"g16.pgm", MakePnm(false, 3, 2, 65535, std::vector<uint16_t>(6, 700)), "PGM", -1, 3, 2, 16,
                   16, "grey", "none", 0, "top-down", false, false, "8bit", 8, 256});

  std::string Args = "info --json";
  for (const TExpect& E : Cases) {
    WriteFile(m_Dir / E.Name, E.File);
    if (const char* Out = std::getenv("KVDIB_CORPUS_OUT"))
      WriteFile(fs::path(Out) / ("info_" + E.Name), E.File);
    Args += " " + Q(E.Name);
  }
  const TRun R = Run(Args);
  ASSERT_EQ(R.Status, 0) << R.Err;
  TJson Doc;
  ASSERT_NO_THROW(Doc = TJsonParser(R.Out).Parse()) << R.Out;
  ASSERT_EQ(Doc.size(), Cases.size());
  for (size_t I = 0; I < Cases.size(); ++I) {
    const TExpect& E = Cases[I];
    const TJson& J = Doc[I];
    SCOPED_TRACE(E.Name);
    EXPECT_EQ(J["file"].Str(), Path(E.Name));
    EXPECT_EQ(J["format"].Str(), E.Format);
    if (E.HeaderSize < 0)
      EXPECT_TRUE(J["header_size"].IsNull());
    else
      EXPECT_EQ(J["header_size"].Int(), E.HeaderSize);
    EXPECT_EQ(J["width"].Int(), E.Width);
    EXPECT_EQ(J["height"].Int(), E.Height);
    EXPECT_EQ(J["bits_per_pixel"].Int(), E.BitsPerPixel);
    if (E.BitsPerSample < 0)
      EXPECT_TRUE(J["bits_per_sample"].IsNull());
    else
      EXPECT_EQ(J["bits_per_sample"].Int(), E.BitsPerSample);
    EXPECT_EQ(J["color"].Str(), E.Color);
    EXPECT_EQ(J["compression"].Str(), E.Compression);
    EXPECT_EQ(J["color_table_size"].Int(), E.TableSize);
    EXPECT_EQ(J["row_order"].Str(), E.RowOrder);
    EXPECT_EQ(J["interlaced"].Bool(), E.Interlaced);
    EXPECT_EQ(J["alpha"].Bool(), E.Alpha);
    EXPECT_EQ(J["file_size"].Int(), static_cast<long long>(E.File.size()));
    const TJson& L = J["loads_as"];
    EXPECT_EQ(L["pixel_format"].Str(), E.PixelFormat);
    EXPECT_EQ(L["bit_count"].Int(), E.BitCount);
    EXPECT_EQ(L["colors"].Int(), E.Colors);
    EXPECT_EQ(L["width"].Int(), E.Width);
    EXPECT_EQ(L["height"].Int(), E.Height);
  }
  // A file that is described but does not load: its error, and exit 1.
  WriteFile(m_Dir / "cut.png", TBytes(Cases[10].File.begin(), Cases[10].File.end() - 30));
  const TRun Cut = Run("info --json " + Q("cut.png"));
  EXPECT_EQ(Cut.Status, 1);
  const TJson C = TJsonParser(Cut.Out).Parse();
  EXPECT_EQ(C[0]["format"].Str(), "PNG");
  EXPECT_TRUE(C[0]["loads_as"].IsNull());
  EXPECT_EQ(C[0]["error"].Str().rfind("PNG: ", 0), 0u);
}

// The RGB a PNG fixture's samples stand for (8-bit samples or the high byte of 16-bit
// ones; grey levels scaled to 0..255), composited onto white where there is alpha.
TPicture expected_rgb(const TPngSpec& S) {
  TPicture P{S.Width, S.Height, {}};
  const int Ch = Channels(S.ColorType), Step = S.Depth == 16 ? 2 : 1, Max = (1 << std::min(S.Depth, 8)) - 1;
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      const uint8_t* Px = &S.Samples[(static_cast<size_t>(Y) * S.Width + X) * Ch * Step];
      auto sample = [&](int C) { return static_cast<unsigned>(Px[C * Step]) * 255 / Max; };
      unsigned R, G, B, A = 255;
      if (S.ColorType == PNG_COLOR_TYPE_PALETTE) {
        const png_color& E = S.Palette[Px[0]];
        R = E.red, G = E.green, B = E.blue;
        if (Px[0] < S.TransAlpha.size()) A = S.TransAlpha[Px[0]];
      } else if (Ch <= 2) {
        R = G = B = sample(0);
        if (Ch == 2) A = sample(1);
        if (S.TransGrey >= 0 && Px[0] == S.TransGrey) A = 0;
      } else {
        R = sample(0), G = sample(1), B = sample(2);
        if (Ch == 4) A = sample(3);
      }
      for (unsigned V : {R, G, B})
        P.Rgb.push_back(static_cast<uint8_t>((V * A + 255 * (255 - A) + 127) / 255));
    }
  return P;
}

TEST_F(Info, PngAndPnmInputsLoadToTheirPixels) {
  std::vector<std::pair<std::string, TPngSpec>> Pngs;
  for (int Type : {PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GA, PNG_COLOR_TYPE_RGB,
                   PNG_COLOR_TYPE_RGBA})
    for (int Depth : {1, 2, 4, 8, 16})
      for (bool Interlaced : {false, true}) {
        const bool Valid =
            Type == PNG_COLOR_TYPE_GRAY || (Type == PNG_COLOR_TYPE_PALETTE ? Depth <= 8 : Depth >= 8);
        if (!Valid) continue;
        Pngs.push_back(
            {"t" + std::to_string(Type) + "d" + std::to_string(Depth) + (Interlaced ? "i" : "") + ".png",
             png(13, 9, Depth, Type, Interlaced)});
      }
  TPngSpec Trns = png(13, 9, 8, PNG_COLOR_TYPE_PALETTE);
  Trns.TransAlpha = {0, 128, 255};
  Pngs.push_back({"palette_trns.png", Trns});
  TPngSpec GreyTrns = png(13, 9, 4, PNG_COLOR_TYPE_GRAY);
  GreyTrns.TransGrey = 3;
  Pngs.push_back({"grey_trns.png", GreyTrns});
  for (const auto& [Name, Spec] : Pngs) {
    SCOPED_TRACE(Name);
    WriteFile(m_Dir / Name, MakePng(Spec));
    const TRun R = Run("convert " + Q(Name) + " " + Q("out.bmp") + " --to 24bit");
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(PictureOfBmp(Path("out.bmp")), expected_rgb(Spec));
  }
  // PGM and PPM, 8 and 16 bits and a maxval of neither.
  struct TPnm {
    bool Colour;
    int MaxVal;
  };
  for (const TPnm& C :
       {TPnm{true, 255}, TPnm{true, 65535}, TPnm{false, 255}, TPnm{false, 65535}, TPnm{true, 1000}}) {
    SCOPED_TRACE(std::to_string(C.Colour) + " " + std::to_string(C.MaxVal));
    std::vector<uint16_t> Samples;
    TPicture Expected{5, 3, {}};
    for (int I = 0; I < 15; ++I)
      for (int Ch = 0; Ch < (C.Colour ? 3 : 1); ++Ch) {
        const uint16_t V = static_cast<uint16_t>((I * 977 + Ch * 331) % (C.MaxVal + 1));
        Samples.push_back(V);
        const uint8_t Out = static_cast<uint8_t>((V * 255u + C.MaxVal / 2) / C.MaxVal);
        for (int K = 0; K < (C.Colour ? 1 : 3); ++K) Expected.Rgb.push_back(Out);
      }
    WriteFile(m_Dir / "in.pnm", MakePnm(C.Colour, 5, 3, C.MaxVal, Samples));
    const TRun R = Run("convert " + Q("in.pnm") + " " + Q("out.bmp") + " --to 24bit");
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(PictureOfBmp(Path("out.bmp")), Expected);
  }
  // Short sample data is an error before anything is allocated.
  TBytes Short = MakePnm(true, 500, 400, 255, std::vector<uint16_t>(30, 1));
  WriteFile(m_Dir / "short.ppm", Short);
  const TRun R = Run("convert " + Q("short.ppm") + " " + Q("out2.bmp") + " --to 24bit");
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, Path("short.ppm") + ": PNM data ends after 30 of 600000 bytes\n");
}

}  // namespace
}  // namespace kv::clitest
