// The public BMP conformance suite, read from the folder the build names
// (KVDIB_BMPSUITE_DIR). It is not part of the project: its tests belong to test suites
// named BmpSuite*, which ctest labels bmpsuite, and each begins with
// KVDIB_REQUIRE_BMPSUITE() so that it skips, naming the folder, where the suite is absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kv::test {

inline const std::string& BmpSuiteDir() {
  static const std::string Dir = KVDIB_BMPSUITE_DIR;
  return Dir;
}

// A file of the suite by its path inside it ("g/pal8.bmp").
inline std::string BmpSuiteFile(const std::string& Name) { return BmpSuiteDir() + "/" + Name; }

inline bool BmpSuitePresent() { return std::filesystem::is_directory(BmpSuiteFile("g")); }

}  // namespace kv::test

#define KVDIB_REQUIRE_BMPSUITE()                                                                             \
  do {                                                                                                       \
    if (!::kv::test::BmpSuitePresent())                                                                      \
      GTEST_SKIP() << "BMP suite not found at " << ::kv::test::BmpSuiteDir() << " (set KVDIB_BMPSUITE_DIR)"; \
  } while (0)
