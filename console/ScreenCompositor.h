#ifndef SKELLAN_CONSOLE_SCREENCOMPOSITOR_H
#define SKELLAN_CONSOLE_SCREENCOMPOSITOR_H

#include "Terminal.h"

#include <cstddef>
#include <mutex>
#include <string>

// Keeps the line editor's input row below everything else on the screen.
// Output from any thread (the server's text, the shell's replies, the
// editor's listings) goes above the row: the row is taken off the screen,
// the output written and the row drawn back, in one write. Each call is
// whole under a lock of the compositor's own, so that the editor's keys
// and other threads' output can come in any order; the editor's own work
// between them (completion, a suspend) holds nothing.
class ScreenCompositor {
public:
  explicit ScreenCompositor(Terminal &terminal);
  ScreenCompositor(const ScreenCompositor &) = delete;
  ScreenCompositor &operator=(const ScreenCompositor &) = delete;

  // Draws the input row: `row` redraws the cursor's row and places the
  // cursor at `cursorColumn` (as LineView renders it). Output pending
  // goes first. From here on output goes above the row.
  bool DrawRow(const std::string &row, int cursorColumn);
  // Ends the row with `mark` behind it: the cursor goes to the start of
  // the next row, where output then goes, until the next DrawRow.
  bool LeaveRow(const std::string &mark);
  // Draws the row as it ends (as DrawRow), then leaves it (as LeaveRow),
  // in one write.
  bool LeaveRow(const std::string &mark, const std::string &lastRow, int lastCursorColumn);
  // The terminal reflowed the rows at a new width: the old row, cut into
  // several, is cleared from its first part, and `row` drawn in its place.
  bool Reflow(int columns, const std::string &row, int cursorColumn);

  // Text of the program's own, which starts a row of its own.
  bool Write(const char *bytes, std::size_t length);
  // Received text, which may hold SGRs and ends with the attributes at
  // their default. With `continues` it goes on where the text before it
  // stopped (a stream's next read, the next part of a long piece); with
  // `more` another comes at once, and this one waits for it so that both
  // cost one write and one redraw of the row.
  bool ShowReceived(const char *bytes, std::size_t length, bool continues, bool more);
  // A listing above the row (it ends in a line feed).
  bool List(const std::string &listing);
  // Clears the screen; the row is drawn again at the top.
  bool ClearScreen();
  // The screen may have changed while the program was stopped: the row is
  // drawn afresh where the cursor is.
  bool Resumed();
  // Writes what is pending and ends the row if it is on the screen: the
  // editor stops.
  bool Finish();

  bool Failed();

  // Received text held back for more that comes at once is written when
  // it reaches this much, so that the room it takes stays bounded.
  static constexpr std::size_t maxPending = 16 * 1024;

private:
  bool Show(const char *bytes, std::size_t length, bool continues, bool more);
  // Adds the bytes that put a text above the row to those pending; its
  // last character ends at `end`, SGRs behind.
  void Place(const char *bytes, std::size_t length, std::size_t end, bool continues);
  // Writes what is pending, the row drawn back where that took it off,
  // then `bytes`.
  bool Send(const std::string &bytes);
  bool Leave(const std::string &mark);

  Terminal &terminal;
  std::mutex mutex;
  std::string row; // the bytes that draw the input row
  int cursorColumn = 0;
  bool shown = false; // the input row is on the screen
  // Output ended inside a row, whose end the terminal saved (ESC 7); the
  // input row is right below it and the text may go on there.
  bool partial = false;
  // The cursor went back within the output's last row (a carriage return),
  // so it may stand on text.
  bool overText = false;
  bool failed = false;
  std::string pending; // output not yet written, in order
  bool rowOff = false; // the input row is to be on the screen but was taken off
};

#endif
