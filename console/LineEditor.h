#ifndef SKELLAN_CONSOLE_LINEEDITOR_H
#define SKELLAN_CONSOLE_LINEEDITOR_H

#include "Completer.h"
#include "History.h"
#include "LineBuffer.h"
#include "LineView.h"
#include "PConsole.h"
#include "Terminal.h"

#include <cstddef>
#include <string>
#include <vector>

// Reads lines on a terminal with editing, history, search and completion,
// and shows the console's other output above the line being typed. While
// it runs it is the console's overlay: every write of another thread comes
// through it, under the console's lock, and it redraws its line behind.
class LineEditor : public PConsole::Overlay {
public:
  enum Result {
    GotLine,
    EndOfInput,   // Ctrl-D or Ctrl-C on an empty line, input gone, a signal
    OutputFailed, // the terminal takes no more output
  };

  LineEditor(Terminal &terminal, Completer &completer);
  ~LineEditor();
  LineEditor(const LineEditor &) = delete;
  LineEditor &operator=(const LineEditor &) = delete;

  // Puts the terminal in raw mode and takes the console over; false when
  // the terminal cannot, and nothing changed.
  bool Start();
  // Gives the console back and restores the terminal.
  void Stop();
  // Prompts and edits one line; `line` gets its bytes, without a line feed.
  Result ReadLine(std::string &line);

  bool Write(const char *bytes, std::size_t length) override;
  bool ShowReceived(const char *bytes, std::size_t length, unsigned flags) override;

private:
  enum Step { Editing, Accepted, Ended };

  Step Apply(const Key &key);
  Step ApplyInSearch(const Key &key);
  Step ApplyControl(char letter);
  void Browse(bool older);
  void Search(std::size_t from);
  // `again`: the Tab right after one that left several candidates.
  void Complete(bool again);
  void List(const std::vector<std::string> &candidates);
  std::string Listing(const std::vector<std::string> &candidates) const;
  void Resize();
  // Ends the line on screen: the cursor goes to the start of the next row.
  void Leave(const std::string &mark);
  // The bytes that draw the input row.
  std::string Row();
  // Shows other output above the input row; with `more`, leaves it
  // pending for the next output or Send.
  bool Show(const char *bytes, std::size_t length, bool continues, bool more);
  // Adds the bytes that put a non-empty text above the input row to those
  // pending.
  void Place(const char *bytes, std::size_t length, bool continues);
  bool Send(const std::string &bytes);

  Terminal &terminal;
  Completer &completer;
  LineBuffer buffer;
  LineView view;
  History history;
  int columns = 80;
  bool started = false;
  bool shown = false; // the input row is on the screen
  // Output ended inside a row, whose end the terminal saved (ESC 7); the
  // input row is right below it and the text may go on there.
  bool partial = false;
  // The cursor went back within the output's last row (a carriage return),
  // so it may stand on text.
  bool overText = false;
  bool failed = false;
  std::string pending; // output not yet written, in order, for the next Send
  bool rowOff = false; // the input row is to be on the screen but was taken off
  bool tabbed = false; // the last key was a Tab that left several candidates

  std::size_t browsing = 0; // the history line shown; Size() for the new line
  std::vector<Char> fresh;  // the new line while history is shown
  bool searching = false;
  std::vector<Char> query;
  std::size_t match = 0; // the history line the search stands on
  bool matched = false;
  bool failedSearch = false;
  std::vector<Char> unsearched; // the line as it was before the search
  std::size_t unsearchedCursor = 0;
};

#endif
