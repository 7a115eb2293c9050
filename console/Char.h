#ifndef SKELLAN_CONSOLE_CHAR_H
#define SKELLAN_CONSOLE_CHAR_H

#include <string>

// One character of the input line, as the backend decoded it. The core
// never looks inside: it sends `bytes`, shows `glyph` and counts `width`,
// so it needs no knowledge of encodings.
struct Char {
  // What goes to the pipe: the bytes a cooked read of the same key gives
  // (UTF-8 or the locale's bytes on a POSIX terminal, the input code page's
  // bytes on the Windows console).
  std::string bytes;
  // What goes to the screen; the terminal's output encoding.
  std::string glyph;
  // Columns the glyph takes: 1, or 2 for a wide character.
  int width = 1;
};

#endif
