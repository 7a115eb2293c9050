#include "PString.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {
using namespace std::string_literals;

TEST(PStringTest, SizeCountsTheTerminatingNul) {
  PString empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.GetSize(), 1u);
  PString text = "\\\\.\\pipe\\" + PString("abc");
  EXPECT_EQ(std::string(text), "\\\\.\\pipe\\abc");
  EXPECT_EQ(text.GetLength(), 12u);
  EXPECT_EQ(text.GetSize(), 13u);
  text += '\n';
  EXPECT_EQ(std::string(text), "\\\\.\\pipe\\abc\n");
}

TEST(PStringTest, ReadsLinesAsTheShellNeeds) {
  std::istringstream input("plain\r\nbare cr\r\r\nnul\0rest\nlast\r"s);
  PString line;
  const char *expected[] = {"plain", "bare cr\r", "nul", "last"};
  for (const char *text : expected) {
    ASSERT_TRUE(line.ReadFrom(input)) << text;
    EXPECT_EQ(std::string(line), text);
  }
  EXPECT_FALSE(line.ReadFrom(input)) << "nothing left is the end of input";
}

TEST(PStringTest, ReadsAVeryLongLine) {
  std::string longLine(3 * 1024 * 1024, 'q');
  std::istringstream input(longLine + "\n");
  PString line;
  ASSERT_TRUE(line.ReadFrom(input));
  EXPECT_EQ(line.GetLength(), longLine.size());
}
} // namespace
