#ifndef SKELLAN_CONSOLE_WIN_CONSOLESCREEN_H
#define SKELLAN_CONSOLE_WIN_CONSOLESCREEN_H

#include <cstddef>

// The calls of a Windows console screen buffer that draw without
// virtual-terminal sequences. Positions are in buffer cells; the window is
// the part of the buffer in view. Each call returns false when it fails.
class ConsoleScreen {
public:
  struct Layout {
    int width;     // columns of the buffer
    int height;    // rows of the buffer
    int windowTop; // the first and last buffer rows in view
    int windowBottom;
    int column; // the cursor
    int row;
  };

  virtual bool GetLayout(Layout &layout) = 0;
  virtual bool MoveCursor(int column, int row) = 0;
  // Writes text at the cursor with the console's own handling of CR, LF,
  // wrapping and scrolling (processed output).
  virtual bool WriteText(const char *bytes, std::size_t length) = 0;
  // Blanks `count` cells from (column, row) on, continuing on the rows
  // below, in the default attributes.
  virtual bool Erase(int column, int row, int count) = 0;
  // Moves the rows first..last down by one row; the top row becomes blank,
  // in the default attributes.
  virtual bool ScrollDown(int first, int last) = 0;
  // The attributes (colours) text had when raw mode began.
  virtual unsigned short DefaultAttributes() = 0;
  // The attributes of the text written from now on.
  virtual bool SetAttributes(unsigned short attributes) = 0;

protected:
  ~ConsoleScreen() = default;
};

#endif
