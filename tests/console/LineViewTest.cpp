// The input row's window on a line wider than the row: where it stands
// after the cursor moved a little or jumped, with wide characters at its
// edges, and on lines long enough that a window found by walking the whole
// line would not come back.
#include "LineView.h"
#include "CharString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
const std::string wide = "\xe6\x97\xa5";

// "$ " on 20 columns leaves 17 for the line.
const int columns = 20;

CharString Line(const std::string &ascii, std::size_t wideCount = 0) {
  CharString line;
  for (const char byte : ascii)
    line.Insert(line.Size(), Char{std::string(1, byte), std::string(1, byte), 1});
  for (std::size_t i = 0; i < wideCount; ++i)
    line.Insert(line.Size(), Char{wide, wide, 2});
  return line;
}

std::string Letters(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i)
    text += static_cast<char>('a' + i % 26);
  return text;
}

std::string Repeat(const std::string &text, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i)
    out += text;
  return out;
}

// The bytes that draw `shown` behind the prompt, the cursor at `column`.
std::string Drawn(const std::string &shown, int column) {
  return "\r$ " + shown + "\x1b[K\r\x1b[" + std::to_string(column) + "C";
}

struct Step {
  std::size_t cursor;
  std::string shown;
  int column;
};

void Walk(LineView &view, const CharString &line, const std::vector<Step> &steps) {
  for (const Step &step : steps) {
    EXPECT_EQ(view.Render("$ ", 2, line, step.cursor, columns), Drawn(step.shown, step.column))
        << "cursor at " << step.cursor;
    EXPECT_EQ(view.CursorColumn(), step.column);
  }
}

TEST(LineView, TheWindowFollowsTheCursorByStepsAndJumps) {
  const std::string text = Letters(100);
  LineView view;
  Walk(view, Line(text),
       {
           // Within the first row nothing moves.
           {0, text.substr(0, 17), 2},
           {16, text.substr(0, 17), 18},
           // One past the row: the window moves by one.
           {17, text.substr(1, 17), 18},
           // Back inside the window: it stays.
           {5, text.substr(1, 17), 6},
           // A jump to the end: the characters before the cursor fill the
           // row but its last column.
           {100, text.substr(84), 18},
           // Back before the window: half a row before the cursor.
           {50, text.substr(43, 17), 9},
           {51, text.substr(43, 17), 10},
           // A jump to the start.
           {0, text.substr(0, 17), 2},
       });
}

TEST(LineView, WideCharactersAreNeverCutAtTheWindowsEdges) {
  LineView view;
  // Eight wide characters take 16 of the 17 columns: a ninth does not fit,
  // not even half of it.
  Walk(view, Line("", 20),
       {
           {0, Repeat(wide, 8), 2},
           {20, Repeat(wide, 8), 18},
           // Scrolling back: half a row is 8 columns, so three wide ones.
           {10, Repeat(wide, 8), 8},
       });
  LineView other;
  // A narrow character first: nine characters fill the 17 columns exactly.
  Walk(other, Line("a", 20), {{0, "a" + Repeat(wide, 8), 2}, {21, Repeat(wide, 8), 18}});
}

TEST(LineView, AShortLineShowsFromItsStartWhereverTheWindowWas) {
  LineView view;
  Walk(view, Line(Letters(100)), {{100, Letters(100).substr(84), 18}});
  Walk(view, Line("abc"), {{3, "abc", 5}});
  Walk(view, Line(Letters(16)), {{16, Letters(16), 18}});
  // A prompt wider than the row still leaves two columns for the line.
  EXPECT_EQ(view.Render(std::string(30, '>'), 30, Line("abcdef"), 6, columns),
            "\r" + std::string(30, '>') + "f\x1b[K\r\x1b[31C");
}

TEST(LineView, AMillionCharacterLineIsDrawnAtEveryJump) {
  const std::size_t size = 1000000;
  const std::string text = Letters(size);
  const CharString line = Line(text);
  LineView view;
  Walk(view, line,
       {
           {size, text.substr(size - 16), 18},
           {size / 2, text.substr(size / 2 - 7, 17), 9},
           {0, text.substr(0, 17), 2},
           {size - 1, text.substr(size - 17, 17), 18},
           {1, text.substr(0, 17), 3},
       });
  // Moving along the whole line a character at a time.
  for (std::size_t cursor = 1; cursor <= size; ++cursor)
    view.Render("$ ", 2, line, cursor, columns);
  EXPECT_EQ(view.Render("$ ", 2, line, size, columns), Drawn(text.substr(size - 16), 18));
}
} // namespace
