// The editor's output drawn on a console without virtual-terminal
// processing, against a model of a console screen buffer: a buffer taller
// than its window, processed output (CR, LF, wrapping, scrolling at the
// buffer's end), the cursor, fill and scroll calls, and each cell's
// attributes.
#include "ConsoleScreenWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
class FakeConsoleScreen : public ConsoleScreen {
public:
  FakeConsoleScreen(int width, int height, int windowRows)
      : width(width), rows(static_cast<std::size_t>(height), std::string(width, ' ')),
        attributes(static_cast<std::size_t>(height), Attributes(width, defaults)),
        windowRows(windowRows) {}

  bool GetLayout(Layout &layout) override {
    if (!Call())
      return false;
    layout = Layout{width, static_cast<int>(rows.size()), top, top + windowRows - 1, column, row};
    return true;
  }
  bool MoveCursor(int toColumn, int toRow) override {
    if (!Call() || toColumn < 0 || toColumn >= width || toRow < 0 ||
        toRow >= static_cast<int>(rows.size()))
      return false;
    column = toColumn;
    row = toRow;
    Follow();
    return true;
  }
  bool WriteText(const char *bytes, std::size_t length) override {
    if (!Call())
      return false;
    texts.emplace_back(bytes, length);
    for (std::size_t i = 0; i < length; ++i) {
      if (bytes[i] == '\r') {
        column = 0;
      } else if (bytes[i] == '\n') {
        NewLine();
      } else {
        rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = bytes[i];
        attributes[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = current;
        if (++column == width)
          NewLine();
      }
    }
    return true;
  }
  bool Erase(int fromColumn, int fromRow, int count) override {
    if (!Call())
      return false;
    for (long cell = static_cast<long>(fromRow) * width + fromColumn;
         count-- > 0 && cell < static_cast<long>(rows.size()) * width; ++cell) {
      rows[static_cast<std::size_t>(cell / width)][static_cast<std::size_t>(cell % width)] = ' ';
      attributes[static_cast<std::size_t>(cell / width)][static_cast<std::size_t>(cell % width)] =
          defaults;
    }
    return true;
  }
  bool ScrollDown(int first, int last) override {
    if (!Call())
      return false;
    for (int r = last; r > first; --r) {
      rows[static_cast<std::size_t>(r)] = rows[static_cast<std::size_t>(r - 1)];
      attributes[static_cast<std::size_t>(r)] = attributes[static_cast<std::size_t>(r - 1)];
    }
    rows[static_cast<std::size_t>(first)] = std::string(width, ' ');
    attributes[static_cast<std::size_t>(first)] = Attributes(width, defaults);
    return true;
  }
  unsigned short DefaultAttributes() override { return defaults; }
  bool SetAttributes(unsigned short set) override {
    if (!Call())
      return false;
    current = set;
    return true;
  }

  // The row with its blanks at the end dropped.
  std::string Row(int at) const {
    const std::string &text = rows[static_cast<std::size_t>(at)];
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }
  void Fill(int at, const std::string &text) {
    rows[static_cast<std::size_t>(at)] = text + std::string(width - text.size(), ' ');
  }

  // The attributes raw mode began with: yellow (red, green, intensity) on
  // blue, with a high bit as consoles keep them (COMMON_LVB_GRID_HORIZONTAL).
  static constexpr unsigned short defaults = 0x041e;

  using Attributes = std::vector<unsigned short>;

  const int width;
  std::vector<std::string> rows;
  std::vector<Attributes> attributes; // a cell's, row by row
  unsigned short current = defaults;  // what text is written with
  const int windowRows;
  int top = 0;
  int column = 0;
  int row = 0;
  std::vector<std::string> texts; // what WriteText was given, call by call
  int calls = 0;
  int failFrom = 0; // the first call that fails, and all after it; 0: none

private:
  bool Call() { return ++calls < failFrom || failFrom == 0; }
  void NewLine() {
    column = 0;
    if (row + 1 < static_cast<int>(rows.size())) {
      ++row;
    } else {
      rows.erase(rows.begin());
      rows.emplace_back(width, ' ');
      attributes.erase(attributes.begin());
      attributes.emplace_back(width, current);
    }
    Follow();
  }
  // The window shows the cursor, as the console keeps it in view.
  void Follow() {
    if (row >= top + windowRows)
      top = row - windowRows + 1;
    if (row < top)
      top = row;
  }
};

TEST(ConsoleScreenWriter, RedrawsTheInputRowAndPlacesTheCursor) {
  FakeConsoleScreen screen(20, 10, 10);
  ConsoleScreenWriter writer(screen);
  screen.Fill(0, "$ hello world, long");
  screen.column = 19;
  // What the editor writes for "$ hello" with the cursor behind "hel".
  ASSERT_TRUE(writer.Write("\r$ hello\x1b[K\r\x1b[5C"));
  EXPECT_EQ(screen.Row(0), "$ hello");
  EXPECT_EQ(screen.column, 5);
  EXPECT_EQ(screen.row, 0);
  // Received text above the input row: erase it, write, draw it again.
  ASSERT_TRUE(writer.Write("\r\x1b[Ktick 0\n$ hello\x1b[K\r\x1b[3C"));
  EXPECT_EQ(screen.Row(0), "tick 0");
  EXPECT_EQ(screen.Row(1), "$ hello");
  EXPECT_EQ(screen.row, 1);
  EXPECT_EQ(screen.column, 3);
}

TEST(ConsoleScreenWriter, CursorMovesStopAtTheWindowsEdges) {
  FakeConsoleScreen screen(20, 30, 10);
  ConsoleScreenWriter writer(screen);
  screen.top = 12;
  screen.row = 14;
  screen.column = 4;
  ASSERT_TRUE(writer.Write("\x1b[1A"));
  EXPECT_EQ(screen.row, 13);
  ASSERT_TRUE(writer.Write("\x1b[5A\x1b[A"));
  EXPECT_EQ(screen.row, 12) << "up stops at the window's top, not the buffer's";
  ASSERT_TRUE(writer.Write("\x1b[100C"));
  EXPECT_EQ(screen.column, 19);
  ASSERT_TRUE(writer.Write("\x1b[7D\x1b[D"));
  EXPECT_EQ(screen.column, 11);
  ASSERT_TRUE(writer.Write("\x1b[100D"));
  EXPECT_EQ(screen.column, 0);
  ASSERT_TRUE(writer.Write("\x1b[3C\x1b[H"));
  EXPECT_EQ(screen.column, 0);
  EXPECT_EQ(screen.row, 12) << "home is the window's first row";
}

TEST(ConsoleScreenWriter, ErasesToTheRowsEndTheWindowsEndOrTheWholeWindow) {
  FakeConsoleScreen screen(10, 20, 5);
  ConsoleScreenWriter writer(screen);
  for (int r = 0; r < 20; ++r)
    screen.Fill(r, "row" + std::to_string(r));
  screen.top = 10;
  screen.row = 12;
  screen.column = 2;
  ASSERT_TRUE(writer.Write("\x1b[K"));
  EXPECT_EQ(screen.Row(12), "ro");
  EXPECT_EQ(screen.Row(13), "row13");
  ASSERT_TRUE(writer.Write("\x1b[1A\x1b[J"));
  EXPECT_EQ(screen.Row(10), "row10");
  EXPECT_EQ(screen.Row(11), "ro");
  for (int r = 12; r <= 14; ++r)
    EXPECT_EQ(screen.Row(r), "") << r;
  EXPECT_EQ(screen.Row(15), "row15") << "below the window stays";
  ASSERT_TRUE(writer.Write("\x1b[H\x1b[2J"));
  for (int r = 10; r <= 14; ++r)
    EXPECT_EQ(screen.Row(r), "") << r;
  EXPECT_EQ(screen.Row(9), "row9") << "the history above the window stays";
  EXPECT_EQ(screen.Row(15), "row15");
  EXPECT_EQ(screen.row, 10);
  EXPECT_EQ(screen.column, 0);
}

TEST(ConsoleScreenWriter, SavedCursorKeepsItsWindowRowWhenTheBufferScrolls) {
  FakeConsoleScreen screen(10, 4, 4);
  ConsoleScreenWriter writer(screen);
  screen.row = 3;
  screen.column = 7;
  // Saved on the last row, then a line feed scrolls the buffer: the
  // cursor comes back to the last row, as on a terminal.
  ASSERT_TRUE(writer.Write("\x1b"
                           "7\nnext\x1b"
                           "8x"));
  EXPECT_EQ(screen.row, 3);
  EXPECT_EQ(screen.Row(3), "next   x");
}

TEST(ConsoleScreenWriter, IndexAndReverseIndexScrollAtTheEdgesAndKeepTheColumn) {
  FakeConsoleScreen screen(10, 3, 3);
  ConsoleScreenWriter writer(screen);
  screen.Fill(0, "a");
  screen.Fill(1, "b");
  screen.Fill(2, "c");
  screen.row = 1;
  screen.column = 5;
  ASSERT_TRUE(writer.Write("\x1b"
                           "D"));
  EXPECT_EQ(screen.row, 2);
  EXPECT_EQ(screen.column, 5);
  ASSERT_TRUE(writer.Write("\x1b"
                           "D"));
  EXPECT_EQ(screen.row, 2);
  EXPECT_EQ(screen.column, 5);
  EXPECT_EQ(screen.Row(0), "b") << "index on the last row scrolls up";
  EXPECT_EQ(screen.Row(2), "");

  ASSERT_TRUE(writer.Write("\x1bM\x1bM"));
  EXPECT_EQ(screen.row, 0);
  ASSERT_TRUE(writer.Write("\x1bM"));
  EXPECT_EQ(screen.row, 0);
  EXPECT_EQ(screen.column, 5);
  EXPECT_EQ(screen.Row(0), "") << "reverse index on the top row scrolls down";
  EXPECT_EQ(screen.Row(1), "b");
  EXPECT_EQ(screen.Row(2), "c");
}

TEST(ConsoleScreenWriter, OtherEscapesAndReceivedBytesAreWrittenAsTheyAre) {
  FakeConsoleScreen screen(60, 5, 5);
  ConsoleScreenWriter writer(screen);
  // Nor is a sequence with a rendition's parameters but another final byte,
  // or with private parameters, a rendition.
  const std::string received =
      "a \x1b[31;1x, \x1b[>4;2m, \x1b[5;1H, \x1b[3J, \x1b]0;t\a, \x1b[?25l and \x1b";
  ASSERT_TRUE(writer.Write(received));
  std::string written;
  for (const std::string &text : screen.texts)
    written += text;
  EXPECT_EQ(written, received);
  EXPECT_EQ(screen.row, 0) << "nothing moved the cursor to another row";
  // A sequence of ours inside received text still acts.
  screen.texts.clear();
  ASSERT_TRUE(writer.Write("ab\x1b[2Dc"));
  EXPECT_EQ(screen.texts, (std::vector<std::string>{"ab", "c"}));
}

// The attributes of the character written behind the sequence, which must
// draw nothing itself.
unsigned short AttributesAfter(const std::string &sequence) {
  FakeConsoleScreen screen(10, 2, 2);
  ConsoleScreenWriter writer(screen);
  EXPECT_TRUE(writer.Write(sequence + "x")) << sequence;
  EXPECT_EQ(screen.Row(0), "x") << sequence;
  return screen.attributes[0][0];
}

TEST(ConsoleScreenWriter, RenditionsBecomeTheConsolesColours) {
  // The default is yellow (6 | 8) on blue (1 << 4); red is 4, green 2.
  const unsigned short high = 0x0400;
  const struct {
    const char *sequence;
    unsigned short attributes;
  } cases[] = {
      {"\x1b[31m", high | 0x14},          {"\x1b[32m", high | 0x12},
      {"\x1b[34m", high | 0x11},          {"\x1b[30m", high | 0x10},
      {"\x1b[37m", high | 0x17},          {"\x1b[33m", high | 0x16},
      {"\x1b[35m", high | 0x15},          {"\x1b[36m", high | 0x13},
      {"\x1b[41m", high | 0x4e},          {"\x1b[47m", high | 0x7e},
      {"\x1b[92m", high | 0x1a},          {"\x1b[104m", high | 0x9e},
      {"\x1b[1;31m", high | 0x1c},        {"\x1b[31;1;22m", high | 0x14},
      {"\x1b[7m", high | 0xe1},           {"\x1b[31;42;7m", high | 0x42},
      {"\x1b[7;27m", high | 0x1e},        {"\x1b[31;39m", high | 0x1e},
      {"\x1b[41;49m", high | 0x1e},       {"\x1b[31;41;0m", high | 0x1e},
      {"\x1b[31;41m\x1b[m", high | 0x1e}, {"\x1b[31;;42m", high | 0x2e},
  };
  for (const auto &expected : cases)
    EXPECT_EQ(AttributesAfter(expected.sequence), expected.attributes) << expected.sequence;
}

TEST(ConsoleScreenWriter, OtherRenditionsChangeNothingAndShowNothing) {
  const unsigned short red = 0x0414;
  // Italic, underline, blink, strike-through, overline and the like.
  EXPECT_EQ(AttributesAfter("\x1b[31m\x1b[3;4;5;9;53;2;8m"), red);
  // An extended colour's numbers are no renditions of their own: neither
  // the 1 (bold) of 38;5;1, nor the 0 (reset) and 7 (reverse) of
  // 38;2;1;0;7, nor anything in its colon form.
  EXPECT_EQ(AttributesAfter("\x1b[31m\x1b[48;5;1m"), red);
  EXPECT_EQ(AttributesAfter("\x1b[31m\x1b[38;2;1;0;7m"), red);
  EXPECT_EQ(AttributesAfter("\x1b[31m\x1b[38:2::0:7:1m\x1b[58:5:0m"), red);
  EXPECT_EQ(AttributesAfter("\x1b[38;5;0;31m"), red) << "what follows counts again";
  // Numbers too long for any rendition.
  EXPECT_EQ(AttributesAfter("\x1b[31m\x1b[99999999999999999999m"), red);
}

TEST(ConsoleScreenWriter, MaskedBytesShowReversedAndColoursLastUntilReset) {
  FakeConsoleScreen screen(20, 3, 3);
  ConsoleScreenWriter writer(screen);
  // Bytes set apart in reverse video amid text, as received text has them.
  ASSERT_TRUE(writer.Write("ab\x1b[0;7m^[\x1b[0mcd"));
  EXPECT_EQ(screen.Row(0), "ab^[cd");
  EXPECT_EQ(screen.texts, (std::vector<std::string>{"ab", "^[", "cd"}));
  const unsigned short plain = FakeConsoleScreen::defaults;
  const unsigned short reversed = 0x04e1;
  EXPECT_EQ(screen.attributes[0],
            (FakeConsoleScreen::Attributes{plain, plain, reversed, reversed, plain, plain, plain,
                                           plain, plain, plain,    plain,    plain, plain, plain,
                                           plain, plain, plain,    plain,    plain, plain}));
  // A colour set in one write holds for the next, and the editor's erase
  // does not take it.
  ASSERT_TRUE(writer.Write("\r\n\x1b[32m"));
  ASSERT_TRUE(writer.Write("green\x1b[K"));
  EXPECT_EQ(screen.attributes[1][4], 0x0412);
  EXPECT_EQ(screen.attributes[1][5], plain);
  // Forgotten, a rendition that changes one thing changes it from the
  // default attributes.
  writer.ResetAttributes();
  ASSERT_TRUE(writer.Write("\x1b[1mx"));
  EXPECT_EQ(screen.attributes[1][5], 0x041e | 0x08);
  // A failed attribute call fails the write.
  screen.failFrom = screen.calls + 1;
  EXPECT_FALSE(writer.Write("\x1b[31m"));
}

TEST(ConsoleScreenWriter, AFullRowWrapsOnlyWhenTheNextCharacterComes) {
  FakeConsoleScreen screen(10, 6, 6);
  ConsoleScreenWriter writer(screen);
  // CR LF after a full row starts one row below it, not two.
  ASSERT_TRUE(writer.Write("0123456789"));
  EXPECT_EQ(screen.column, 9);
  EXPECT_EQ(screen.row, 0);
  ASSERT_TRUE(writer.Write("\r\nnext"));
  EXPECT_EQ(screen.Row(0), "0123456789");
  EXPECT_EQ(screen.Row(1), "next");
  EXPECT_EQ(screen.row, 1);
  // The next character, also in a later write, wraps.
  ASSERT_TRUE(writer.Write("\r\nabcdefghij"));
  ASSERT_TRUE(writer.Write("kl"));
  EXPECT_EQ(screen.Row(2), "abcdefghij");
  EXPECT_EQ(screen.Row(3), "kl");
  EXPECT_EQ(screen.column, 2);
  // What the editor writes behind such a row before it saves the cursor: a
  // blank that wraps, and back over it.
  ASSERT_TRUE(writer.Write("\r\n0123456789 \x1b[D"));
  EXPECT_EQ(screen.row, 5);
  EXPECT_EQ(screen.column, 0);
  // A cursor move drops the pending wrap, as on a terminal.
  ASSERT_TRUE(writer.Write("\x1b[1A\r0123456789\x1b[3Dx"));
  EXPECT_EQ(screen.Row(4), "012345x789");
  EXPECT_EQ(screen.row, 4);
}

TEST(ConsoleScreenWriter, AFullLastRowScrollsOnceAndKeepsTheCursorOnIt) {
  FakeConsoleScreen screen(10, 3, 3);
  ConsoleScreenWriter writer(screen);
  ASSERT_TRUE(writer.Write("top\r\nmiddle\r\n0123456789"));
  // The console scrolled when the row filled; the cursor waits on it.
  EXPECT_EQ(screen.Row(1), "0123456789");
  EXPECT_EQ(screen.row, 1);
  EXPECT_EQ(screen.column, 9);
  ASSERT_TRUE(writer.Write("\r\n$ "));
  EXPECT_EQ(screen.Row(0), "middle") << "no second scroll";
  EXPECT_EQ(screen.Row(2), "$");
}

TEST(ConsoleScreenWriter, StopsAtTheFirstFailedCall) {
  // The update takes nine calls: text and where it ended (two), erase
  // (two), a carriage return, move (two), text and where it ended (two).
  for (int failing = 1; failing <= 9; ++failing) {
    FakeConsoleScreen screen(20, 5, 5);
    ConsoleScreenWriter writer(screen);
    screen.failFrom = failing;
    EXPECT_FALSE(writer.Write("\r$ \x1b[K\r\x1b[2Cmore")) << failing;
    EXPECT_EQ(screen.calls, failing) << "no call after the failed one";
  }
  FakeConsoleScreen screen(20, 5, 5);
  ConsoleScreenWriter writer(screen);
  EXPECT_TRUE(writer.Write("\r$ \x1b[K\r\x1b[2Cmore"));
  EXPECT_EQ(screen.calls, 9);
}
} // namespace
