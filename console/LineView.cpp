#include "LineView.h"

namespace {
int WidthOf(const std::vector<Char> &line, std::size_t from, std::size_t to) {
  int width = 0;
  for (std::size_t i = from; i < to; ++i)
    width += line[i].width;
  return width;
}
} // namespace

std::string LineView::Render(const std::string &prompt, int promptWidth,
                             const std::vector<Char> &line, std::size_t cursor, int columns) {
  // A prompt wider than the row leaves at least a column or two for the line.
  const int room = columns - promptWidth - 1 > 2 ? columns - promptWidth - 1 : 2;
  if (WidthOf(line, 0, line.size()) < room) {
    first = 0;
  } else if (cursor < first) {
    // Scrolling back, keep half a row before the cursor in view, so that
    // what the next Backspace takes is visible.
    first = cursor;
    while (first > 0 && WidthOf(line, first - 1, cursor) < room / 2)
      --first;
  }
  while (first < cursor && WidthOf(line, first, cursor) >= room)
    ++first;

  std::string out = "\r" + prompt;
  int used = 0;
  for (std::size_t i = first; i < line.size() && used + line[i].width <= room; ++i) {
    out += line[i].glyph;
    used += line[i].width;
  }
  out += "\x1b[K";
  cursorColumn = promptWidth + WidthOf(line, first, cursor);
  out += "\r";
  if (cursorColumn > 0)
    out += "\x1b[" + std::to_string(cursorColumn) + "C";
  return out;
}
