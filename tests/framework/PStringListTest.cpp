#include "PStringList.h"
#include "PCaselessString.h"

#include <gtest/gtest.h>

namespace {
// Each entry is looked up as it compares: a caseless one in any case.
TEST(PStringListTest, LooksEachValueUpAsItCompares) {
  PStringList list;
  list.AppendString("plain");
  list.Append(new PCaselessString("Mixed"));
  EXPECT_EQ(list.GetValuesIndex("plain"), 0u);
  EXPECT_EQ(list.GetValuesIndex("PLAIN"), P_MAX_INDEX);
  EXPECT_EQ(list.GetValuesIndex("mIXED"), 1u);
  EXPECT_EQ(list.GetValuesIndex("mixed2"), P_MAX_INDEX);
}
} // namespace
