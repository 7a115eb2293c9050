#include "LineView.h"

std::string LineView::Render(const std::string &prompt, int promptWidth, const CharString &line,
                             std::size_t cursor, int columns) {
  // A prompt wider than the row leaves at least a column or two for the line.
  const int room = columns - promptWidth - 1 > 2 ? columns - promptWidth - 1 : 2;
  if (line.Width() < static_cast<std::size_t>(room)) {
    first = 0;
  } else if (cursor < first) {
    // Scrolling back, keep half a row before the cursor in view, so that
    // what the next Backspace takes is visible.
    first = cursor;
    int before = 0;
    while (first > 0 && before + line.WidthAt(first - 1) < room / 2)
      before += line.WidthAt(--first);
  }
  // The window starts at `first` unless the cursor would then be out of
  // the row: then it starts where the characters before the cursor just
  // fill the row. Either way only the characters in view are looked at.
  std::size_t start = cursor;
  int before = 0;
  while (start > first && before + line.WidthAt(start - 1) < room)
    before += line.WidthAt(--start);
  first = start;

  // The characters from `first` on that fit in the row, and the bytes
  // their glyphs take: the row is written in one piece.
  std::size_t last = first;
  std::size_t glyphBytes = 0;
  for (int used = 0; last < line.Size() && used + line.WidthAt(last) <= room; ++last) {
    used += line.WidthAt(last);
    glyphBytes += line.GlyphAt(last).size();
  }
  std::string out;
  out.reserve(1 + prompt.size() + glyphBytes + 16);
  out += '\r';
  out += prompt;
  std::size_t end = out.size();
  out.resize(end + glyphBytes);
  for (std::size_t i = first; i < last; ++i) {
    for (const char byte : line.GlyphAt(i))
      out[end++] = byte;
  }
  out += "\x1b[K";
  cursorColumn = promptWidth + before;
  out += "\r";
  if (cursorColumn > 0)
    out += "\x1b[" + std::to_string(cursorColumn) + "C";
  return out;
}
