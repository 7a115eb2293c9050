#include "CommandTable.h"

#include <gtest/gtest.h>

namespace {
TEST(CommandTableTest, WholeWordsInAnyLetterCase) {
  EXPECT_EQ(CommandTable::Lookup("connect"), CommandTable::Connect);
  EXPECT_EQ(CommandTable::Lookup("CONNECT"), CommandTable::Connect);
  EXPECT_EQ(CommandTable::Lookup("Close"), CommandTable::Close);
  EXPECT_EQ(CommandTable::Lookup("eXiT"), CommandTable::Exit);
}

TEST(CommandTableTest, PrefixesLongerWordsAndOthersAreNotCommands) {
  for (const char *word : {"connectx", "closed", "exi", "ex", "", "-c", "hello"})
    EXPECT_EQ(CommandTable::Lookup(word), CommandTable::NotACommand) << word;
}
} // namespace
