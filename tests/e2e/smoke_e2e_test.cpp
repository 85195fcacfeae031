#include <gtest/gtest.h>
TEST(SmokeE2e, Runs) { EXPECT_EQ(1, 1); }
