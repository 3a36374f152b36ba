#include <gtest/gtest.h>
#include "image/KvDIB.h"
TEST(Smoke, Default) { kv::TKvDIB D; EXPECT_EQ(D.GetWidth(), 1); }
