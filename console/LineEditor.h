#ifndef SKELLAN_CONSOLE_LINEEDITOR_H
#define SKELLAN_CONSOLE_LINEEDITOR_H

#include "Completer.h"
#include "History.h"
#include "LineBuffer.h"
#include "LineView.h"
#include "ScreenCompositor.h"
#include "Terminal.h"
#include "TextMask.h"

#include <cstddef>
#include <string>
#include <vector>

// Edits lines on a terminal: keys in, the line with its history, search
// and completion, the accepted line out. It is fed one event at a time
// (Feed); ReadLine is the loop that reads them from the terminal. What it
// draws goes through the compositor, which keeps other threads' output
// above the input row; the editing itself holds no lock.
class LineEditor {
public:
  enum Result {
    Editing,      // the line goes on
    GotLine,      // Enter: the line is out
    EndOfInput,   // Ctrl-D or Ctrl-C on an empty line, input gone, a signal
    OutputFailed, // the terminal takes no more output
  };

  LineEditor(Terminal &terminal, ScreenCompositor &screen, Completer &completer,
             const std::string &prompt);
  ~LineEditor();
  LineEditor(const LineEditor &) = delete;
  LineEditor &operator=(const LineEditor &) = delete;

  // Puts the terminal in raw mode; false when the terminal cannot, and
  // nothing changed.
  bool Start();
  // Ends the row on the screen and restores the terminal.
  void Stop();
  // Begins a new line: an empty one behind the prompt.
  Result Begin();
  // Acts on one event; with GotLine, `line` has the line's bytes, without
  // a line feed.
  Result Feed(const Terminal::Event &event, std::string &line);
  // Begins a line and feeds it the terminal's events until it ends.
  Result ReadLine(std::string &line);
  // The names Tab offers (pipes that any local process may create) are
  // shown in the mask's notation where they hold controls; what goes into
  // the line is still the name's bytes. Without a mask they show as the
  // terminal decodes them.
  void QuoteNamesWith(const TextMask *mask) { names = mask; }

private:
  enum Step { Going, Accepted, Ended };

  Step Apply(const Key &key);
  Step ApplyInSearch(const Key &key);
  Step ApplyControl(char letter);
  void Browse(bool older);
  void Search(std::size_t from);
  // `again`: the Tab right after one that left several candidates.
  void Complete(bool again);
  std::string Listing(const std::vector<std::string> &candidates) const;
  // The characters of a name Tab offers, as they are shown.
  std::vector<Char> Offered(const std::string &candidate) const;
  // The bytes that draw the input row.
  std::string Row();
  void Draw();
  Result Status(Result ok);

  Terminal &terminal;
  ScreenCompositor &screen;
  Completer &completer;
  const std::string prompt;
  int promptWidth = 0;
  LineBuffer buffer;
  LineView view;
  History history;
  int columns = 80;
  bool started = false;
  bool tabbed = false; // the last key was a Tab that left several candidates
  const TextMask *names = nullptr;

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
