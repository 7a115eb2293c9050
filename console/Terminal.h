#ifndef SKELLAN_CONSOLE_TERMINAL_H
#define SKELLAN_CONSOLE_TERMINAL_H

#include "Char.h"
#include "Key.h"

#include <deque>
#include <string>
#include <vector>

// The seam between the line editor and a platform's terminal: raw input
// decoded into keys, resize and signal events, the size, and output. One
// backend per platform (console/posix, console/win).
//
// The editor's output is text in the terminal's encoding with these
// control sequences only, so that a backend without a VT terminal can
// interpret them: CR; LF (a new line, scrolling at the bottom); ESC[K (erase
// to the end of the row); ESC[J (erase to the end of the screen); ESC[nC and
// ESC[nD (n columns right, left); ESC[nA (n rows up); ESC[H ESC[2J (home,
// clear the screen); ESC 7 and ESC 8 (save, restore the cursor); ESC D and
// ESC M (index, reverse index: down or up one row at the same column,
// scrolling at the screen's edge). A character written in the last column
// leaves the cursor there until the next one wraps, as on a VT terminal.
// Received text comes masked (TextMask): text, CR, LF, TAB and SGR only.
class Terminal {
public:
  struct Size {
    int columns;
    int rows;
  };

  struct Event {
    enum Type {
      KeyPressed, // `key`
      Resized,    // the size changed: redraw at the new size
      Resumed,    // the screen may have changed while stopped: redraw
      EndOfInput, // input ended or failed
      Terminated, // a signal asks the program to end (SIGTERM, SIGHUP)
    };
    Type type = EndOfInput;
    Key key;
  };

  virtual ~Terminal() = default;

  // Switches to raw input and the editor's output modes (bracketed paste
  // where there is one); false when the terminal cannot do it, and nothing
  // changed.
  virtual bool EnterRaw() = 0;
  // Puts every mode back as EnterRaw found it. Harmless when not raw.
  virtual void LeaveRaw() = 0;
  // Waits up to `milliseconds` (negative: without limit) for input, and
  // adds every event that is ready to `events`: the keys of a paste come
  // together, so that the editor applies them all before it draws.
  virtual void ReadEvents(std::deque<Event> &events, int milliseconds) = 0;
  virtual Size GetSize() = 0;
  // Writes the bytes in one write; false once the output has failed.
  virtual bool Write(const std::string &bytes) = 0;
  // Stops the program as a job-control stop would, with the modes restored
  // meanwhile, and returns raw once it is resumed. A platform without job
  // control returns at once.
  virtual void Suspend() = 0;
  // Splits bytes as they go to the pipe (a completed pipe name) into the
  // characters the backend would have decoded for them.
  virtual std::vector<Char> Characters(const std::string &bytes) = 0;
};

#endif
