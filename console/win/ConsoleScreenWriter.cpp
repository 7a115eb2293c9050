#include "ConsoleScreenWriter.h"

namespace {
const char Escape = '\x1b';

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }
} // namespace

ConsoleScreenWriter::ConsoleScreenWriter(ConsoleScreen &screen) : screen(screen) {}

bool ConsoleScreenWriter::Write(const std::string &bytes) {
  std::size_t text = 0; // the start of the text not yet written
  std::size_t at = 0;
  while ((at = bytes.find(Escape, at)) != std::string::npos) {
    std::size_t end = at + 1;
    bool ok = true;
    if (at > text && !Text(bytes.data() + text, at - text))
      return false;
    if (Sequence(bytes, at, end, ok)) {
      wrapPending = false;
      if (!ok)
        return false;
      text = end;
    } else {
      text = at;
    }
    at = end;
  }
  return text >= bytes.size() || Text(bytes.data() + text, bytes.size() - text);
}

bool ConsoleScreenWriter::Text(const char *bytes, std::size_t length) {
  ConsoleScreen::Layout layout{};
  if (wrapPending) {
    wrapPending = false;
    // A carriage return, line feed or backspace after a full row starts
    // from its last column; anything else is the character that wraps.
    if (bytes[0] != '\r' && bytes[0] != '\n' && bytes[0] != '\b' &&
        !(screen.GetLayout(layout) && screen.MoveCursor(0, layout.row + 1)))
      return false;
  }
  if (!screen.WriteText(bytes, length))
    return false;
  const char last = bytes[length - 1];
  if (last == '\r' || last == '\n' || last == '\b' || last == '\t' || last == '\a')
    return true;
  if (!screen.GetLayout(layout))
    return false;
  // Back to the last column of the row the text filled: at the buffer's
  // end the console scrolled, and that row is now the one above.
  if (layout.column != 0 || layout.row == 0)
    return true;
  wrapPending = true;
  return screen.MoveCursor(layout.width - 1, layout.row - 1);
}

bool ConsoleScreenWriter::Sequence(const std::string &bytes, std::size_t at, std::size_t &end,
                                   bool &ok) {
  if (at + 1 >= bytes.size())
    return false;
  const char next = bytes[at + 1];
  end = at + 2;
  ConsoleScreen::Layout layout{};
  switch (next) {
  case '7':
    ok = screen.GetLayout(layout);
    savedColumn = layout.column;
    savedRow = layout.row - layout.windowTop;
    return true;
  case '8':
    ok = screen.GetLayout(layout) &&
         screen.MoveCursor(savedColumn, Clamp(layout.windowTop + savedRow, 0, layout.windowBottom));
    return true;
  case 'D':
    ok = Index();
    return true;
  case 'M':
    ok = ReverseIndex();
    return true;
  case '[':
    break;
  default:
    end = at + 1;
    return false;
  }
  std::size_t i = at + 2;
  int count = 0;
  bool digits = false;
  while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9' && count < 10000) {
    count = count * 10 + (bytes[i] - '0');
    digits = true;
    ++i;
  }
  if (i >= bytes.size()) {
    end = at + 1;
    return false;
  }
  const char final = bytes[i];
  const bool known = final == 'A' || final == 'C' || final == 'D' || final == 'H' || final == 'K' ||
                     (final == 'J' && (!digits || count == 0 || count == 2));
  if (!known) {
    end = at + 1;
    return false;
  }
  end = i + 1;
  ok = Control(final, digits ? count : -1);
  return true;
}

bool ConsoleScreenWriter::Control(char final, int count) {
  ConsoleScreen::Layout layout{};
  if (!screen.GetLayout(layout))
    return false;
  const int steps = count < 1 ? 1 : count;
  switch (final) {
  case 'A':
    return screen.MoveCursor(layout.column,
                             Clamp(layout.row - steps, layout.windowTop, layout.row));
  case 'C':
    return screen.MoveCursor(Clamp(layout.column + steps, 0, layout.width - 1), layout.row);
  case 'D':
    return screen.MoveCursor(Clamp(layout.column - steps, 0, layout.width - 1), layout.row);
  case 'H':
    return screen.MoveCursor(0, layout.windowTop);
  case 'K':
    return screen.Erase(layout.column, layout.row, layout.width - layout.column);
  default: {
    // ESC[J from the cursor to the window's end; ESC[2J the whole window,
    // the cursor staying where it is.
    const int rowsBelow = layout.windowBottom - layout.row;
    if (count == 2)
      return screen.Erase(0, layout.windowTop,
                          layout.width * (layout.windowBottom - layout.windowTop + 1));
    return screen.Erase(layout.column, layout.row,
                        layout.width - layout.column + layout.width * rowsBelow);
  }
  }
}

bool ConsoleScreenWriter::Index() {
  // A line feed scrolls as the console does at its bottom; the column
  // then goes back to where it was.
  ConsoleScreen::Layout before{};
  ConsoleScreen::Layout after{};
  return screen.GetLayout(before) && screen.WriteText("\n", 1) && screen.GetLayout(after) &&
         screen.MoveCursor(before.column, after.row);
}

bool ConsoleScreenWriter::ReverseIndex() {
  ConsoleScreen::Layout layout{};
  if (!screen.GetLayout(layout))
    return false;
  if (layout.row > layout.windowTop)
    return screen.MoveCursor(layout.column, layout.row - 1);
  return screen.ScrollDown(layout.windowTop, layout.windowBottom) &&
         screen.MoveCursor(layout.column, layout.row);
}
