// Library exceptions as Python exceptions. Every library class derives directly from
// kv::Exception, so its dynamic type picks the Python class; a class added later without
// a row here still arrives as kvdib.Error with its message.
#include "python/src/KvPyErrors.h"

#include <array>
#include <string>
#include <typeinfo>

#include "frontend/KvImageFiles.h"
#include "platform/core/Exceptions.h"

namespace kv::python {

namespace {

template <typename E>
[[noreturn]] void raise_as(const std::string& Message) {
  throw E(Message);
}

struct TErrorClass {
  const std::type_info& Type;
  void (*Raise)(const std::string&);
  const char* Name;
  const char* Doc;
  PyObject* Class = nullptr;
};

std::array<TErrorClass, 13> g_Classes = {{
    {typeid(EKvDIBInvalidDIB), raise_as<EKvDIBInvalidDIB>, "EKvDIBInvalidDIB",
     "An image or BMP header the library cannot hold."},
    {typeid(EKvDIBInvalidDIBFile), raise_as<EKvDIBInvalidDIBFile>, "EKvDIBInvalidDIBFile",
     "Data that is not a BMP file."},
    {typeid(EKvDIBInvalidDIBPara), raise_as<EKvDIBInvalidDIBPara>, "EKvDIBInvalidDIBPara",
     "A width, height, bit count or size out of range."},
    {typeid(EKvDIBBadDIBType), raise_as<EKvDIBBadDIBType>, "EKvDIBBadDIBType",
     "An operation the image's format does not allow."},
    {typeid(EKvDIBPaletteIndexRange), raise_as<EKvDIBPaletteIndexRange>, "EKvDIBPaletteIndexRange",
     "A palette index or palette size out of range."},
    {typeid(EKvDIBPixelPositionRange), raise_as<EKvDIBPixelPositionRange>, "EKvDIBPixelPositionRange",
     "A pixel position outside the image."},
    {typeid(EKvDIBInvalidPalette), raise_as<EKvDIBInvalidPalette>, "EKvDIBInvalidPalette",
     "A palette the library cannot use."},
    {typeid(EKvDIBCompressionFailed), raise_as<EKvDIBCompressionFailed>, "EKvDIBCompressionFailed",
     "RLE encoding or decoding failed."},
    {typeid(EKvDIBAssert), raise_as<EKvDIBAssert>, "EKvDIBAssert",
     "A broken internal rule, or a conversion the library does not offer."},
    {typeid(EOutOfResources), raise_as<EOutOfResources>, "EOutOfResources",
     "Pixel memory could not be obtained."},
    {typeid(EOutOfMemory), raise_as<EOutOfMemory>, "EOutOfMemory", "Memory could not be obtained."},
    {typeid(EInvalidGraphic), raise_as<EInvalidGraphic>, "EInvalidGraphic",
     "Data that is not an image of this kind."},
    {typeid(EStreamError), raise_as<EStreamError>, "EStreamError",
     "A file or stream that could not be read or written."},
}};

PyObject* g_Error = nullptr;
PyObject* g_FileError = nullptr;

PyObject* new_class(pybind11::module_& Module, const char* Name, const char* Doc, PyObject* Bases) {
  const std::string Qualified = std::string("kvdib.") + Name;
  PyObject* Class = PyErr_NewExceptionWithDoc(Qualified.c_str(), Doc, Bases, nullptr);
  if (Class == nullptr) throw pybind11::error_already_set();
  Module.add_object(Name, pybind11::handle(Class));  // the module keeps the reference
  return Class;
}

PyObject* class_of(const Exception& Error) {
  for (const TErrorClass& C : g_Classes)
    if (C.Type == typeid(Error)) return C.Class;
  return g_Error;
}

}  // namespace

void RegisterErrors(pybind11::module_& Module) {
  g_Error =
      new_class(Module, "Error", "Base class of every error the image library raises.", PyExc_Exception);
  for (TErrorClass& C : g_Classes) C.Class = new_class(Module, C.Name, C.Doc, g_Error);
  const pybind11::tuple FileBases =
      pybind11::make_tuple(pybind11::handle(g_Error), pybind11::handle(PyExc_OSError));
  g_FileError = new_class(Module, "FileError",
                          "A file that could not be opened, read or written, or PNG or JPEG data that "
                          "could not be decoded or encoded (an OSError too).",
                          FileBases.ptr());

  Module.def(
      "_raise_library_error",
      [](const std::string& Name, const std::string& Message) {
        for (const TErrorClass& C : g_Classes)
          if (Name == C.Name) C.Raise(Message);
        throw pybind11::value_error("no library class " + Name);
      },
      "Raises the library's exception class Name with Message, as the library would (for tests).");

  pybind11::register_exception_translator([](std::exception_ptr Pending) {
    try {
      if (Pending) std::rethrow_exception(Pending);
    } catch (const Exception& Error) {
      PyErr_SetString(class_of(Error), Error.what());
    } catch (const frontend::TFileError& Error) {
      PyErr_SetString(g_FileError, Error.what());
    }
  });
}

}  // namespace kv::python
