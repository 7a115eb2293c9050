#include "LineTokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace {
TEST(LineTokenizerTest, SkipsDelimitersAndEndsWithAnEmptyThenANullToken) {
  const char text[] = "  connect \t pipe\n";
  LineTokenizer tokens(text, " \t\n", 0);
  EXPECT_STREQ(tokens.Token(), "connect");
  EXPECT_STREQ(tokens.NextToken(), "connect");
  EXPECT_STREQ(tokens.Token(), "pipe");
  tokens.NextToken();
  EXPECT_STREQ(tokens.Token(), "");
  tokens.NextToken();
  EXPECT_EQ(tokens.Token(), nullptr);
  EXPECT_STREQ(text, "  connect \t pipe\n") << "the caller's text is not cut";
}

TEST(LineTokenizerTest, BlankLineHasOnlyAnEmptyToken) {
  LineTokenizer tokens(" \t\n", " \t\n", 0);
  EXPECT_STREQ(tokens.Token(), "");
  tokens.NextToken();
  EXPECT_EQ(tokens.Token(), nullptr);
}

TEST(LineTokenizerTest, NonSkippingModeYieldsEmptyTokensBetweenDelimiters) {
  LineTokenizer tokens("a  b", " ", 1);
  EXPECT_STREQ(tokens.Token(), "a");
  tokens.NextToken();
  EXPECT_STREQ(tokens.Token(), "");
  tokens.NextToken();
  EXPECT_STREQ(tokens.Token(), "b");
  tokens.NextToken();
  EXPECT_EQ(tokens.Token(), nullptr);
}
} // namespace
