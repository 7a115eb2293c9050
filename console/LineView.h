#ifndef SKELLAN_CONSOLE_LINEVIEW_H
#define SKELLAN_CONSOLE_LINEVIEW_H

#include "CharString.h"

#include <cstddef>
#include <string>

// Draws the prompt and the line on one row of the screen. A line wider
// than the row scrolls sideways under the cursor: the input stays one row,
// so taking it off the screen is one erase, whatever was printed above and
// however the terminal reflowed on a resize. Drawing looks at the
// characters around the cursor that fit in the row, never at the whole
// line, so that it costs the same for a long line as for a short one.
class LineView {
public:
  // The bytes that redraw the row the cursor is on, cursor placed; the
  // last column stays free, so the terminal never wraps.
  std::string Render(const std::string &prompt, int promptWidth, const CharString &line,
                     std::size_t cursor, int columns);
  // The column the cursor was left at by the last Render.
  int CursorColumn() const { return cursorColumn; }
  // The next Render starts the window afresh.
  void Reset() { first = 0; }

private:
  std::size_t first = 0; // the first character in view
  int cursorColumn = 0;
};

#endif
