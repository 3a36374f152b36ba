// The frontend's own failure: PNG, JPEG or PNM data, BMP variants the library does not
// read, limits, the file system.
#pragma once

#include <stdexcept>

namespace kv::frontend {

class TFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kv::frontend
