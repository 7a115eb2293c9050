#include "PCaselessString.h"

#include <gtest/gtest.h>

namespace {
TEST(PCaselessStringTest, ComparesWithoutRegardToLetterCase) {
  EXPECT_EQ(PCaselessString("Exit").Compare("EXIT"), 0);
  EXPECT_NE(PCaselessString("exit").Compare("exits"), 0);
  EXPECT_NE(PString("exit").Compare("EXIT"), 0);
}
} // namespace
