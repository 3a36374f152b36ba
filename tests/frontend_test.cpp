// The frontend's text forms: format names both ways and colour text.
#include <gtest/gtest.h>

#include "frontend/KvColorText.h"
#include "frontend/KvFormatNames.h"

namespace kv::frontend {
namespace {

TEST(FormatNames, EveryFormatHasOneNameThatParsesBack) {
  ASSERT_EQ(FormatNames().size(), 8u);
  for (int F = kvPf1Bit; F <= kvPfHalfToneBW; ++F) {
    const auto Format = static_cast<TKvPixelFormat>(F);
    const auto Parsed = ParseFormat(FormatName(Format));
    ASSERT_TRUE(Parsed) << FormatName(Format);
    EXPECT_EQ(*Parsed, Format);
  }
  EXPECT_FALSE(ParseFormat("8BIT"));
  EXPECT_FALSE(ParseFormat(""));
  EXPECT_STREQ(FormatName(static_cast<TKvPixelFormat>(8)), "?");
  EXPECT_TRUE(IsRleFormat(kvPf4BitRLE));
  EXPECT_FALSE(IsRleFormat(kvPf4Bit));
}

TEST(ColorText, HexTripletsWithOrWithoutHash) {
  EXPECT_EQ(ParseColor("FF8000"), static_cast<TColor>(MakeRGB(255, 128, 0)));
  EXPECT_EQ(ParseColor("#0a0B0c"), static_cast<TColor>(MakeRGB(10, 11, 12)));
  for (const char* Bad : {"", "#", "FFF", "FF80001", "GG0000", "#12345", " 123456"})
    EXPECT_FALSE(ParseColor(Bad)) << Bad;
}

}  // namespace
}  // namespace kv::frontend
