// The line's kept width and bytes after each way of changing it.
#include "LineBuffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {
const Char wide{"\xe6\x97\xa5", "\xe6\x97\xa5", 2};
const Char accented{"\xc3\xa9", "\xc3\xa9", 1};
const Char pastedTab{"\t", "^I", 2};

Char Ascii(char c) { return Char{std::string(1, c), std::string(1, c), 1}; }

// "ab 日é\tcd": 8 characters, 10 columns, the cursor at the end.
LineBuffer Start() {
  LineBuffer buffer;
  buffer.Insert(std::vector<Char>{Ascii('a'), Ascii('b'), Ascii(' '), wide, accented, pastedTab,
                                  Ascii('c'), Ascii('d')});
  return buffer;
}

CharString Other() {
  LineBuffer buffer;
  buffer.Insert(std::vector<Char>{wide, wide, Ascii('z')});
  return buffer.Chars();
}

TEST(LineBuffer, TheKeptWidthFollowsEveryChange) {
  struct Case {
    const char *name;
    std::function<void(LineBuffer &)> edit;
    std::string bytes;
    std::size_t width;
    std::size_t cursor;
  } cases[] = {
      {"nothing", [](LineBuffer &) {}, "ab \xe6\x97\xa5\xc3\xa9\tcd", 10, 8},
      {"insert", [](LineBuffer &b) { b.Insert(wide); }, "ab \xe6\x97\xa5\xc3\xa9\tcd\xe6\x97\xa5",
       12, 9},
      {"insert inside",
       [](LineBuffer &b) {
         b.MoveTo(1);
         b.Insert(wide);
       },
       "a\xe6\x97\xa5"
       "b \xe6\x97\xa5\xc3\xa9\tcd",
       12, 2},
      {"backspace", [](LineBuffer &b) { b.Backspace(); }, "ab \xe6\x97\xa5\xc3\xa9\tc", 9, 7},
      {"backspace a wide one",
       [](LineBuffer &b) {
         b.MoveTo(4);
         b.Backspace();
       },
       "ab \xc3\xa9\tcd", 8, 3},
      {"delete a pasted tab",
       [](LineBuffer &b) {
         b.MoveTo(5);
         b.DeleteUnder();
       },
       "ab \xe6\x97\xa5\xc3\xa9"
       "cd",
       8, 5},
      {"kill to the start",
       [](LineBuffer &b) {
         b.MoveTo(4);
         b.KillToStart();
       },
       "\xc3\xa9\tcd", 5, 0},
      {"kill to the end",
       [](LineBuffer &b) {
         b.MoveTo(4);
         b.KillToEnd();
       },
       "ab \xe6\x97\xa5", 5, 4},
      {"kill a word", [](LineBuffer &b) { b.KillBlankWordLeft(); }, "ab \xe6\x97\xa5\xc3\xa9\t", 8,
       6},
      {"kill two words",
       [](LineBuffer &b) {
         b.KillBlankWordLeft();
         b.KillBlankWordLeft();
       },
       "ab ", 3, 3},
      {"replace",
       [](LineBuffer &b) {
         b.MoveTo(5);
         b.Replace(3, {Ascii('x'), wide});
       },
       "ab x\xe6\x97\xa5\tcd", 10, 5},
      {"set", [](LineBuffer &b) { b.Set(Other()); }, "\xe6\x97\xa5\xe6\x97\xa5z", 5, 3},
      {"set, then edit",
       [](LineBuffer &b) {
         b.Set(Other());
         b.MoveTo(0);
         b.DeleteUnder();
         b.Insert(Ascii('q'));
       },
       "q\xe6\x97\xa5z", 4, 1},
      {"clear", [](LineBuffer &b) { b.Clear(); }, "", 0, 0},
  };
  for (const Case &c : cases) {
    LineBuffer buffer = Start();
    c.edit(buffer);
    EXPECT_EQ(buffer.Bytes(), c.bytes) << c.name;
    EXPECT_EQ(buffer.Chars().Width(), c.width) << c.name;
    EXPECT_EQ(buffer.Cursor(), c.cursor) << c.name;
  }
}
} // namespace
