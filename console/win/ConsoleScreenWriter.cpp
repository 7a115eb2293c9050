#include "ConsoleScreenWriter.h"

#include <utility>

namespace {
const char Escape = '\x1b';

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

bool IsRenditionByte(char c) { return (c >= '0' && c <= '9') || c == ';' || c == ':'; }

// An SGR colour number (0 black, 1 red, 2 green, 4 blue and their sums) as
// the console's colour bits, where blue is 1 and red 4.
int ConsoleColour(int colour) {
  return ((colour & 1) != 0 ? 4 : 0) | (colour & 2) | ((colour & 4) != 0 ? 1 : 0);
}

const int Intensity = 8;
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
  std::size_t rendition = i;
  while (rendition < bytes.size() && IsRenditionByte(bytes[rendition]))
    ++rendition;
  if (rendition < bytes.size() && bytes[rendition] == 'm') {
    end = rendition + 1;
    ok = Rendition(bytes, i, rendition);
    return true;
  }
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

void ConsoleScreenWriter::ResetAttributes() {
  foreground = -1;
  background = -1;
  bold = false;
  reverse = false;
}

bool ConsoleScreenWriter::Rendition(const std::string &bytes, std::size_t from, std::size_t to) {
  // Parameters of an extended colour (38;5;N or 38;2;R;G;B, for the
  // foreground, background or underline) still to pass over; -1 while its
  // kind comes next.
  int extension = 0;
  for (std::size_t at = from; at <= to; ++at) {
    int parameter = 0;
    bool subparameters = false;
    for (; at < to && bytes[at] != ';'; ++at) {
      if (bytes[at] == ':')
        subparameters = true;
      else if (!subparameters && parameter < 10000)
        parameter = parameter * 10 + (bytes[at] - '0');
    }
    if (extension < 0)
      extension = parameter == 5 ? 1 : parameter == 2 ? 3 : 0;
    else if (extension > 0)
      --extension;
    else if (parameter == 38 || parameter == 48 || parameter == 58)
      extension = subparameters ? 0 : -1;
    else if (!subparameters)
      Select(parameter);
  }
  return screen.SetAttributes(Attributes());
}

void ConsoleScreenWriter::Select(int parameter) {
  if (parameter == 0) {
    ResetAttributes();
  } else if (parameter == 1) {
    bold = true;
  } else if (parameter == 22) {
    bold = false;
  } else if (parameter == 7) {
    reverse = true;
  } else if (parameter == 27) {
    reverse = false;
  } else if (parameter >= 30 && parameter <= 37) {
    foreground = ConsoleColour(parameter - 30);
  } else if (parameter == 39) {
    foreground = -1;
  } else if (parameter >= 40 && parameter <= 47) {
    background = ConsoleColour(parameter - 40);
  } else if (parameter == 49) {
    background = -1;
  } else if (parameter >= 90 && parameter <= 97) {
    foreground = ConsoleColour(parameter - 90) | Intensity;
  } else if (parameter >= 100 && parameter <= 107) {
    background = ConsoleColour(parameter - 100) | Intensity;
  }
}

unsigned short ConsoleScreenWriter::Attributes() {
  const unsigned defaults = screen.DefaultAttributes();
  unsigned front = foreground < 0 ? defaults & 0x0f : static_cast<unsigned>(foreground);
  unsigned back = background < 0 ? (defaults >> 4) & 0x0f : static_cast<unsigned>(background);
  if (bold)
    front |= Intensity;
  // Reverse video swaps the two colours, as a terminal shows it.
  if (reverse)
    std::swap(front, back);
  return static_cast<unsigned short>((defaults & 0xff00) | back << 4 | front);
}
