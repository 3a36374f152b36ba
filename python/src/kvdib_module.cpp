// kvdib._kvdib: the native part of the kvdib Python package. Images, conversions, files
// and numpy arrays over the image library; the package's __init__.py re-exports it.
//
// The interpreter lock is released around every call into the library that touches
// pixels (loading, saving, filling, reading and converting), so threads run them in
// parallel; the rules that make that safe are written at the top of KvPyImage.h.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frontend/KvColorText.h"
#include "frontend/KvFormatNames.h"
#include "frontend/KvImageFiles.h"
#include "frontend/KvLoadOptions.h"
#include "frontend/KvOutputFile.h"
#include "frontend/KvPngFile.h"
#include "frontend/KvProgressAdapter.h"
#include "image/interchange/KvDIBHeader.h"
#include "platform/core/ByteOrder.h"
#include "platform/memory/FileMap.h"
#include "platform/streams/Stream.h"
#include "python/src/KvPyErrors.h"
#include "python/src/KvPyFiles.h"
#include "python/src/KvPyImage.h"

namespace py = pybind11;

namespace kv::python {

namespace {

// ---- arguments ----------------------------------------------------------------------

// A file name from str, bytes or os.PathLike, in the file system's encoding.
std::string path_of(py::handle Path) {
  const py::bytes Encoded = py::module_::import("os").attr("fsencode")(Path);
  return std::string(Encoded);
}

// numpy.asarray(Object), which must hold uint8 values in Ndim dimensions (the last one of
// Last entries when Last > 0).
py::array uint8_array(py::handle Object, int Ndim, py::ssize_t Last, const char* What) {
  py::array A = py::module_::import("numpy").attr("asarray")(Object);
  const py::dtype Type = A.dtype();
  if (Type.kind() != 'u' || Type.itemsize() != 1)
    throw py::type_error(std::string(What) + " must hold uint8 values, not " +
                         std::string(py::str(py::handle(Type))));
  if (A.ndim() != Ndim || (Last > 0 && A.shape(Ndim - 1) != Last))
    throw py::value_error(std::string(What) + " must have the shape " +
                          (Ndim == 3  ? "(h, w, 3)"
                           : Last > 0 ? "(n, 3)"
                                      : "(h, w)") +
                          ", not " + std::string(py::str(A.attr("shape"))));
  return A;
}

TByteView view_of(const py::array& A) {
  TByteView V;
  V.Data = static_cast<const uint8_t*>(A.data());
  for (py::ssize_t I = 0; I < A.ndim() && I < 3; ++I) {
    V.Shape[I] = A.shape(I);
    V.Strides[I] = A.strides(I);
  }
  return V;
}

TKvPixelFormat target_of(const std::string& Name) {
  if (const auto Format = frontend::ParseFormat(Name)) return *Format;
  std::string Names;
  for (const frontend::TFormatName& F : frontend::FormatNames())
    Names += std::string(Names.empty() ? "" : ", ") + F.Name;
  throw py::value_error("unknown format '" + Name + "' (one of " + Names + ")");
}

// None (white), "RRGGBB" / "#RRGGBB", or (red, green, blue).
TColor key_color_of(py::handle Key) {
  if (Key.is_none()) return kClWhite;
  if (py::isinstance<py::str>(Key)) {
    const std::string Text = py::cast<std::string>(Key);
    if (const auto Color = frontend::ParseColor(Text)) return *Color;
    throw py::value_error("key_color wants RRGGBB in hexadecimal, not '" + Text + "'");
  }
  if (!py::isinstance<py::sequence>(Key) || py::len(Key) != 3)
    throw py::type_error("key_color wants None, 'RRGGBB' or (red, green, blue)");
  int Parts[3];
  for (size_t I = 0; I < 3; ++I) {
    Parts[I] = py::cast<int>(Key[py::int_(I)]);
    if (Parts[I] < 0 || Parts[I] > 255) throw py::value_error("key_color components lie in 0..255");
  }
  return static_cast<TColor>(MakeRGB(static_cast<uint8_t>(Parts[0]), static_cast<uint8_t>(Parts[1]),
                                     static_cast<uint8_t>(Parts[2])));
}

// ---- progress -----------------------------------------------------------------------

// Carries the library's progress notifications, made with the interpreter lock released,
// to a Python callback. Anything the callback raises cancels the conversion and travels
// back through the library as the Python exception itself; the callback is not called
// again after that. On the main thread it also lets Ctrl-C cancel a conversion.
class TProgressRelay {
 public:
  explicit TProgressRelay(py::object Callback) : m_Callback(std::move(Callback)) {
    const py::object Main = py::module_::import("threading").attr("main_thread")();
    m_CheckSignals = py::cast<unsigned long>(Main.attr("ident")) == PyThread_get_thread_ident();
  }

  frontend::TPercentProc Proc() {
    if (m_Callback.is_none() && !m_CheckSignals) return {};
    return [this](TProgressStage, int Percent, const std::string&) { report(Percent); };
  }

 private:
  void report(int Percent) {
    if (m_Raised) return;
    const py::gil_scoped_acquire Gil;
    try {
      if (m_CheckSignals && PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (!m_Callback.is_none()) m_Callback(Percent);
    } catch (...) {
      m_Raised = true;
      throw;
    }
  }

  py::object m_Callback;
  bool m_CheckSignals = false;
  bool m_Raised = false;
};

// ---- arrays over images -------------------------------------------------------------

void make_read_only(py::array& A) {
  py::detail::array_proxy(A.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
}

// A read-only array over rows of the image's own pixel block, top row first: Columns
// elements of Step bytes per row (Channels more of -1 byte each when Channels > 0, for
// blue-green-red bytes seen as red-green-blue). Self, the Python image, is the array's
// base and so lives as long as the array.
py::array block_view(py::handle Self, const TKvDIB& Dib, py::ssize_t Step, int Channels) {
  const BITMAPINFOHEADER& H = Dib.DIBInfo().Header;
  const py::ssize_t Stride = DIBStride(H);
  const py::ssize_t RowStep = H.biHeight > 0 ? -Stride : Stride;
  std::vector<py::ssize_t> Shape{Dib.GetHeight(), Dib.GetWidth()}, Strides{RowStep, Step};
  const uint8_t* First = Dib.ReadScanLine(0);
  if (Channels > 0) {
    Shape.push_back(Channels);
    Strides.push_back(-1);
    First += Channels - 1;
  }
  py::array A(py::dtype::of<uint8_t>(), Shape, Strides, First, Self);
  make_read_only(A);
  return A;
}

// A fresh array of Shape filled by Fill(image, data) with the interpreter lock released,
// from the image or, for an RLE image, from its decoded copy.
template <typename F>
py::array fresh_array(const TPyImage& Image, std::vector<py::ssize_t> Shape, bool ReadOnly, F&& Fill) {
  py::array_t<uint8_t> A(Shape);
  uint8_t* Data = A.mutable_data();
  {
    const py::gil_scoped_release NoGil;
    if (IsCompressed(Image.Dib())) {
      const std::unique_ptr<TPyImage> Plain = Decompressed(Image);
      Fill(Plain->Dib(), Data);
    } else {
      Fill(Image.Dib(), Data);
    }
  }
  if (ReadOnly) make_read_only(A);
  return A;
}

py::array rgb_of(py::handle Self, bool Copy) {
  const TPyImage& Image = py::cast<const TPyImage&>(Self);
  const TKvDIB& Dib = Image.Dib();
  if (!Copy && Dib.GetBitCount() == 24 && !IsCompressed(Dib)) return block_view(Self, Dib, 3, 3);
  return fresh_array(Image, {Dib.GetHeight(), Dib.GetWidth(), 3}, !Copy, ReadTrueColor);
}

py::array indices_of(py::handle Self) {
  const TPyImage& Image = py::cast<const TPyImage&>(Self);
  const TKvDIB& Dib = Image.Dib();
  if (Dib.GetBitCount() == 24) throw py::value_error("a 24-bit image has no palette indices (see to_numpy)");
  if (Dib.GetBitCount() == 8 && !IsCompressed(Dib)) return block_view(Self, Dib, 1, 0);
  return fresh_array(Image, {Dib.GetHeight(), Dib.GetWidth()}, true, ReadIndices);
}

py::array palette_of(const TKvDIB& Dib, bool ReadOnly) {
  const py::ssize_t N = Dib.GetColorCount() > 256 ? 256 : Dib.GetColorCount();
  py::array_t<uint8_t> A({N, py::ssize_t{3}});
  ReadPalette(Dib, A.mutable_data());
  if (ReadOnly) make_read_only(A);
  return A;
}

// ---- images -------------------------------------------------------------------------

std::unique_ptr<TPyImage> open_file(py::handle Path, uint64_t MaxPixels, py::handle Background) {
  const std::string Name = path_of(Path);
  frontend::TLoadOptions Options;
  Options.MaxPixels = MaxPixels;
  Options.Background = key_color_of(Background);
  auto Image = std::make_unique<TPyImage>();
  const py::gil_scoped_release NoGil;
  frontend::LoadImageFile(Name, Image->Dib(), Options);
  return Image;
}

std::unique_ptr<TPyImage> from_numpy(py::handle Pixels, py::handle Palette) {
  auto Image = std::make_unique<TPyImage>();
  if (Palette.is_none()) {
    const py::array Rgb = uint8_array(Pixels, 3, 3, "rgb");
    const TByteView V = view_of(Rgb);
    const py::gil_scoped_release NoGil;
    FillTrueColor(Image->Dib(), V);
  } else {
    const py::array Indices = uint8_array(Pixels, 2, 0, "indices");
    const py::array Colors = uint8_array(Palette, 2, 3, "palette");
    const TByteView I = view_of(Indices), C = view_of(Colors);
    const py::gil_scoped_release NoGil;
    FillIndexed(Image->Dib(), I, C);
  }
  return Image;
}

// A packed DIB (the clipboard's layout) starts with its header size instead of "BM".
bool is_packed_dib(const std::vector<uint8_t>& Bytes) {
  if (Bytes.size() < 4 || (Bytes[0] == 'B' && Bytes[1] == 'M')) return false;
  const uint32_t HeaderSize = LoadLE32(Bytes.data());
  return HeaderSize == kInfoHeaderSize || HeaderSize == kCoreHeaderSize;
}

// Any bytes-like object whose bytes are contiguous (bytes, bytearray, memoryview, arrays):
// a BMP file's bytes or a packed DIB's.
std::unique_ptr<TPyImage> from_bytes(py::handle Data) {
  Py_buffer View;
  if (PyObject_GetBuffer(Data.ptr(), &View, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  const auto* First = static_cast<const uint8_t*>(View.buf);
  std::vector<uint8_t> Bytes(First, First + View.len);
  PyBuffer_Release(&View);
  auto Image = std::make_unique<TPyImage>();
  const py::gil_scoped_release NoGil;
  if (is_packed_dib(Bytes)) {
    Image->Dib().LoadFromPackedDIB(Bytes);
  } else {
    TMemoryStream Stream(std::move(Bytes));
    Image->Dib().LoadFromStream(Stream);
  }
  return Image;
}

py::bytes to_bytes(const TPyImage& Image, const std::string& Kind) {
  if (Kind == "dib") {
    std::vector<uint8_t> Block;
    {
      const py::gil_scoped_release NoGil;
      Block = Image.Dib().SaveToPackedDIB();
    }
    return py::bytes(reinterpret_cast<const char*>(Block.data()), Block.size());
  }
  if (Kind != "bmp") throw py::value_error("to_bytes writes 'bmp' or 'dib', not '" + Kind + "'");
  TMemoryStream Stream;
  {
    const py::gil_scoped_release NoGil;
    Image.Dib().SaveToStream(Stream);
  }
  return py::bytes(reinterpret_cast<const char*>(Stream.Data().data()), Stream.Data().size());
}

void save(const TPyImage& Image, py::handle Path) {
  const std::string Name = path_of(Path);
  const std::string Ext = LowerExtension(Name);
  if (Ext != ".bmp" && Ext != ".dib" && Ext != ".png")
    throw py::value_error("save writes .bmp, .dib or .png files, not '" + Name + "'");
  const bool Png = Ext == ".png";
  if (Png && IsCompressed(Image.Dib()))
    throw py::value_error(std::string("PNG output cannot hold the RLE format ") +
                          frontend::FormatName(Image.Dib().GetPixelFormat()));
  const py::gil_scoped_release NoGil;
  frontend::TOutputFile Out(Name);
  if (Png)
    frontend::WritePngFile(Image.Dib(), Out.TempPath());
  else
    Image.Dib().WriteToFile(Out.TempPath());
  Out.Commit();
}

// The options of the library's own quantizer from the keyword arguments; nothing when
// none of method, colors and dither is given (the described reductions then run).
std::optional<TKvQuantizeOptions> quantize_options(bool Fine, py::handle Method, py::handle Colors,
                                                   bool Dither, int32_t MaxColors) {
  if (Method.is_none() && Colors.is_none() && !Dither) return std::nullopt;
  TKvQuantizeOptions O;
  O.Method = Fine ? kvQmFine : kvQmNormal;
  if (!Method.is_none()) {
    const std::string Name = py::cast<std::string>(Method);
    if (!ParseQuantizeMethod(Name, O.Method))
      throw py::value_error("method must be 'normal', 'fine', 'refine' or 'best', not '" + Name + "'");
    if (Fine && O.Method != kvQmFine) throw py::value_error("fine=True contradicts method='" + Name + "'");
  }
  O.Colors = Colors.is_none() ? MaxColors : py::cast<int32_t>(Colors);
  if (O.Colors < kMinQuantizeColors || O.Colors > MaxColors)
    throw py::value_error("colors must be from 2 to " + std::to_string(MaxColors) + ", not " +
                          std::to_string(O.Colors));
  O.Dither = Dither ? kvDmFloydSteinberg : kvDmNone;
  return O;
}

std::unique_ptr<TPyImage> convert(const TPyImage& Image, const std::string& To, bool Fine, py::handle Key,
                                  py::object Progress, py::handle Method, py::handle Colors, bool Dither) {
  const TKvPixelFormat Target = target_of(To);
  const TColor KeyColor = key_color_of(Key);
  const bool Palette8 = Target == kvPf8Bit || Target == kvPf8BitRLE;
  const bool Palette4 = Target == kvPf4Bit || Target == kvPf4BitRLE;
  const std::optional<TKvQuantizeOptions> Quantize =
      quantize_options(Fine, Method, Colors, Dither, Palette4 ? 16 : 256);
  if (Quantize && !Palette8 && !Palette4)
    throw py::value_error("method, colors and dither apply to the '8bit' and '4bit' formats, not '" + To +
                          "'");
  if (Quantize && Image.Dib().GetPixelFormat() != kvPf24Bit)
    throw py::value_error("method, colors and dither reduce 24-bit images; this one is " +
                          std::string(frontend::FormatName(Image.Dib().GetPixelFormat())));
  TProgressRelay Relay(std::move(Progress));
  const py::gil_scoped_release NoGil;
  // The result never changes the source: it starts sharing the source's storage, and a
  // conversion of shared storage puts its result into storage of its own.
  std::unique_ptr<TPyImage> Out = Image.Share();
  Out->Dib().FineMethod = Fine;
  Out->Dib().BackgroundColor = KeyColor;
  const frontend::TScopedProgress Scope(Out->Dib(), Relay.Proc());
  if (Quantize) Out->Dib().Quantize(*Quantize);  // then widened or encoded below as asked
  Out->Dib().SetPixelFormat(Target);
  return Out;
}

py::tuple quantize(py::handle Rgb, int32_t Colors, bool Fine, py::handle Method, bool Dither) {
  // 256 or 16 colours with no method or dithering: the described reductions.
  const bool Described = Method.is_none() && !Dither && (Colors == 256 || Colors == 16);
  const std::optional<TKvQuantizeOptions> Options =
      Described ? std::nullopt : quantize_options(Fine, Method, py::int_(Colors), Dither, 256);
  const py::array Source = uint8_array(Rgb, 3, 3, "rgb");
  const TByteView V = view_of(Source);
  py::array_t<uint8_t> Indices({V.Shape[0], V.Shape[1]});
  uint8_t* Out = Indices.mutable_data();
  uint8_t Palette[256 * 3];
  py::ssize_t Count = 0;
  TProgressRelay Relay{py::none()};
  {
    const py::gil_scoped_release NoGil;
    TKvDIB Image;
    FillTrueColor(Image, V);
    Image.FineMethod = Fine;
    const frontend::TScopedProgress Scope(Image, Relay.Proc());
    if (Described)
      Image.SetPixelFormat(Colors == 256 ? kvPf8Bit : kvPf4Bit);
    else
      Image.Quantize(*Options);
    ReadIndices(Image, Out);
    ReadPalette(Image, Palette);
    Count = Image.GetColorCount();
  }
  py::array_t<uint8_t> Pal({Count, py::ssize_t{3}});
  std::memcpy(Pal.mutable_data(), Palette, static_cast<size_t>(Count) * 3);
  return py::make_tuple(std::move(Indices), std::move(Pal));
}

}  // namespace

}  // namespace kv::python

using kv::python::TPyImage;

PYBIND11_MODULE(_kvdib, m) {
  namespace kp = kv::python;
  m.doc() = "Native part of the kvdib package: images, conversions and numpy arrays over the kvdib library.";
  kp::RegisterErrors(m);

  py::class_<TPyImage> Image(m, "Image", R"doc(
An image as the library holds it: 1, 4, 8 or 24 bits per pixel, 4 and 8 bits optionally
RLE-compressed. Images never change once made; convert() makes a new one and shares
the pixels it does not change. Make them with open(), from_numpy() or from_bytes().
numpy.asarray(image) gives its pixels as an (h, w, 3) uint8 RGB array.)doc");

  Image
      .def_property_readonly(
          "width", [](const TPyImage& I) { return I.Dib().GetWidth(); }, "Width in pixels.")
      .def_property_readonly(
          "height", [](const TPyImage& I) { return I.Dib().GetHeight(); }, "Height in pixels.")
      .def_property_readonly(
          "bit_count", [](const TPyImage& I) { return I.Dib().GetBitCount(); },
          "Bits per pixel: 1, 4, 8 or 24.")
      .def_property_readonly(
          "pixel_format",
          [](const TPyImage& I) { return kv::frontend::FormatName(I.Dib().GetPixelFormat()); },
          "The storage format: '1bit', '4bit', '4bit-rle', '8bit', '8bit-rle' or '24bit'.")
      .def_property_readonly(
          "palette", [](const TPyImage& I) { return kp::palette_of(I.Dib(), true); },
          "The colour table, an (n, 3) uint8 RGB array (read-only) of the n colours in use; (0, 3) for a "
          "24-bit image without one.")
      .def_property_readonly(
          "indices", [](py::handle Self) { return kp::indices_of(Self); },
          "The palette index of every pixel, an (h, w) uint8 array (read-only), top row first; 1- and "
          "4-bit and RLE images unpacked. For an uncompressed 8-bit image it is a view of the image's "
          "own pixels. Raises ValueError for a 24-bit image.")
      .def(
          "to_numpy", [](py::handle Self, bool Copy) { return kp::rgb_of(Self, Copy); },
          py::arg("copy") = false,
          R"doc(The pixels as an (h, w, 3) uint8 RGB array, top row first, for any format.

Without copy the array is read-only; for an uncompressed 24-bit image it is a view of the
image's own pixels (no copy is made) that keeps the image alive. With copy=True it is a
new, writable, C-contiguous array.)doc")
      .def(
          "__array__",
          [](py::handle Self, py::object Dtype, py::object Copy) {
            const bool Always = !Copy.is_none() && py::cast<bool>(Copy);
            const bool Never = !Copy.is_none() && !Always;
            const TPyImage& I = py::cast<const TPyImage&>(Self);
            if (Never && (I.Dib().GetBitCount() != 24 || kp::IsCompressed(I.Dib()) || !Dtype.is_none()))
              throw py::value_error("the RGB pixels of this image are not held as such: they need a copy");
            py::object A = kp::rgb_of(Self, Always);
            if (!Dtype.is_none()) A = A.attr("astype")(Dtype);
            return A;
          },
          py::arg("dtype") = py::none(), py::arg("copy") = py::none(),
          "numpy's array protocol: numpy.asarray(image) is image.to_numpy(); copy=False refuses a "
          "format whose RGB pixels need a copy.")
      .def("convert", &kp::convert, py::arg("to"), py::arg("fine") = false, py::arg("key_color") = py::none(),
           py::arg("progress") = py::none(), py::kw_only(), py::arg("method") = py::none(),
           py::arg("colors") = py::none(), py::arg("dither") = false,
           R"doc(A new image in the pixel format `to`; this image stays as it is.

to: '1bit', '4bit', '4bit-rle', '8bit', '8bit-rle', '24bit', 'halftone' or 'halftone-bw'.
    From 24 bits '8bit' and '4bit' are the normal colour reductions (fine=True: the fine
    ones); '1bit' is the mask of key_color (its pixels become set bits); 'halftone' and
    'halftone-bw' are the error-diffusion halftones (8-bit and 1-bit results).
key_color: None (white), 'RRGGBB' / '#RRGGBB', or (red, green, blue).
progress: called as progress(percent) each time the library reports (0 first, then
    0..99, then 100) during colour reductions. An exception raised in it cancels the
    conversion and propagates; it is not called again after that.

method, colors, dither (keywords; for '8bit', '4bit' and their RLE forms from 24 bits): the
    library's own quantizer. method: 'normal', 'fine' (the described reductions), 'refine'
    (better than the common quantizers at about the normal method's cost) or 'best' (the
    highest quality); colors: 2..256 for '8bit', 2..16 for '4bit' (default 256 or 16);
    dither=True: serpentine Floyd-Steinberg error diffusion with the method's palette.

Converting to the image's own format shares its pixels. The interpreter lock is released
while the conversion runs.)doc")
      .def("save", &kp::save, py::arg("path"),
           R"doc(Writes the image to path: .bmp or .dib through the library's BMP writer exactly as
held (RLE included), .png as an indexed PNG of 1, 4 or 8 bits or an RGB PNG (not for RLE
formats). The file appears only once it is complete.)doc")
      .def("to_bytes", &kp::to_bytes, py::arg("kind") = "bmp",
           R"doc(The image as bytes: kind 'bmp' gives a BMP file, exactly as save() writes a .bmp
file; kind 'dib' a packed DIB, the clipboard's CF_DIB layout (the same header, colour table
and pixels without the 14-byte file header).)doc")
      .def(
          "__repr__",
          [](const TPyImage& I) {
            return "<kvdib.Image " + std::to_string(I.Dib().GetWidth()) + "x" +
                   std::to_string(I.Dib().GetHeight()) + " " +
                   kv::frontend::FormatName(I.Dib().GetPixelFormat()) + ">";
          },
          "Size and pixel format.")
      .def(py::pickle([](const TPyImage& I) { return py::make_tuple(kp::to_bytes(I, "bmp")); },
                      [](const py::tuple& State) { return kp::from_bytes(State[0]); }));

  m.def("open", &kp::open_file, py::arg("path"), py::kw_only(),
        py::arg("max_pixels") = kv::frontend::kDefaultMaxPixels, py::arg("background") = py::none(),
        R"doc(Loads an image file, recognised by its first bytes, as the kvdib tool reads it: BMP/DIB
through the library's reader (larger header forms handed over in the 40-byte form), PNG
(palette and low-depth grey PNGs at their own depth, colour ones as 24-bit images), JPEG and
binary PGM/PPM. Transparent pixels are composited onto background (None: white, or
'RRGGBB' / (red, green, blue)). An image of more than max_pixels pixels (0: no limit) is
refused from its header, before any memory is taken. Raises kvdib.FileError or a
kvdib.Error subclass.)doc");
  m.def("from_numpy", &kp::from_numpy, py::arg("pixels"), py::arg("palette") = py::none(),
        R"doc(An image from numpy arrays (or anything numpy.asarray takes, such as a Pillow image).

from_numpy(rgb): rgb is (h, w, 3) uint8 red, green, blue, top row first -> a 24-bit image.
from_numpy(indices, palette): (h, w) uint8 indices and an (n, 3) uint8 RGB palette with at
most 256 colours -> an 8-bit image; an index beyond the palette raises ValueError.)doc");
  m.def("from_bytes", &kp::from_bytes, py::arg("data"),
        R"doc(An image from bytes (any bytes-like object): those of a BMP file (starting with
"BM") or of a packed DIB (starting with the header size 40 or 12, as to_bytes('dib') and
the clipboard's CF_DIB data hold them), through the library's readers.)doc");
  m.def("quantize", &kp::quantize, py::arg("rgb"), py::arg("colors") = 256, py::arg("fine") = false,
        py::kw_only(), py::arg("method") = py::none(), py::arg("dither") = false,
        R"doc(Reduces an (h, w, 3) uint8 RGB array to at most `colors` (2..256) colours. Returns
(indices, palette): an (h, w) uint8 array, top row first, and an (n, 3) uint8 RGB palette of
the n colours made; both new and writable.

With colors 256 or 16 and no method or dither, this is exactly
from_numpy(rgb).convert('8bit' or '4bit', fine): the normal method or, with fine=True, the
fine one. method ('normal', 'fine', 'refine', 'best'), other counts and dither=True go
through the library's own quantizer, as Image.convert does.)doc");
  // The conversion targets, the tool's --to names.
  m.attr("formats") = [] {
    py::list Names;
    for (const kv::frontend::TFormatName& F : kv::frontend::FormatNames()) Names.append(F.Name);
    return py::tuple(Names);
  }();
  m.def("_pixel_blocks_in_use", &kv::PixelBlocksInUse,
        "Pixel blocks held by the library now (for leak checks).");
#ifdef KVDIB_VERSION
  m.attr("__version__") = KVDIB_VERSION;
#endif
}
