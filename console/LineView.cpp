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

  std::string out = "\r" + prompt;
  int used = 0;
  for (std::size_t i = first; i < line.Size() && used + line.WidthAt(i) <= room; ++i) {
    const std::string_view glyph = line.GlyphAt(i);
    out.append(glyph.data(), glyph.size());
    used += line.WidthAt(i);
  }
  out += "\x1b[K";
  cursorColumn = promptWidth + before;
  out += "\r";
  if (cursorColumn > 0)
    out += "\x1b[" + std::to_string(cursorColumn) + "C";
  return out;
}
