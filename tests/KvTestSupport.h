// Small helpers shared by the library's tests.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <string>

#include "platform/core/Exceptions.h"
#include "platform/memory/FileMap.h"

namespace kv::test {

// Runs Body and expects exception class E with exactly Message.
template <typename E, typename F>
void ExpectThrowMessage(F&& Body, const std::string& Message) {
  try {
    Body();
    ADD_FAILURE() << "expected \"" << Message << "\", nothing was raised";
  } catch (const E& Error) {
    EXPECT_EQ(Error.Message(), Message);
  } catch (const std::exception& Error) {
    ADD_FAILURE() << "expected \"" << Message << "\", got another class: " << Error.what();
  }
}

// Open descriptors and live pixel blocks of this process: a leaked file or block shows here.
inline int64_t OpenResourceCount() {
  int64_t N = PixelBlocksInUse();
  for ([[maybe_unused]] const auto& E : std::filesystem::directory_iterator("/proc/self/fd")) ++N;
  return N;
}

}  // namespace kv::test
