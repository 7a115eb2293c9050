#ifndef SKELLAN_CONSOLE_WIN_CONSOLESCREENWRITER_H
#define SKELLAN_CONSOLE_WIN_CONSOLESCREENWRITER_H

#include "ConsoleScreen.h"

#include <cstddef>
#include <string>

// Draws the line editor's output on a console that has no virtual-terminal
// processing: the few control sequences the editor uses become cursor,
// erase and scroll calls, the colours of received text (SGR: ESC [, digits,
// ';' and ':', then 'm') become attributes or are dropped, and text between
// them is written as it is. Anything else, an escape that is no such
// sequence included, is text.
// The console wraps as soon as a character fills a row's last column; a VT
// terminal, which the editor counts on, waits for the next character, so
// the wrap is held back until one comes.
class ConsoleScreenWriter {
public:
  explicit ConsoleScreenWriter(ConsoleScreen &screen);

  // Draws the bytes; false as soon as a console call fails.
  bool Write(const std::string &bytes);
  // Forgets the colours set so far: the console shows its default
  // attributes again.
  void ResetAttributes();

private:
  // Acts on the sequence that starts at bytes[at] (an ESC) and sets `end`
  // behind it; false when it is no sequence of ours.
  bool Sequence(const std::string &bytes, std::size_t at, std::size_t &end, bool &ok);
  bool Control(char final, int count);
  // Acts on the parameters of an SGR sequence, bytes[from, to).
  bool Rendition(const std::string &bytes, std::size_t from, std::size_t to);
  void Select(int parameter);
  unsigned short Attributes();
  bool Text(const char *bytes, std::size_t length);
  bool Index();
  bool ReverseIndex();

  ConsoleScreen &screen;
  // Where ESC 7 saved the cursor: its column and its row in the window, as
  // a terminal keeps it.
  int savedColumn = 0;
  int savedRow = 0;
  // The cursor stands in the last column of its row, the console's wrap
  // undone, and the next character goes to the start of the row below.
  bool wrapPending = false;
  // The colours SGR asked for, as the console's four bits each (red, green,
  // blue, intensity); -1 for the default attributes' own.
  int foreground = -1;
  int background = -1;
  bool bold = false;
  bool reverse = false;
};

#endif
