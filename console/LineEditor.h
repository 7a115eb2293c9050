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
#include <deque>
#include <string>
#include <vector>

// Edits lines on a terminal: keys in, the line with its history, search
// and completion, the accepted line out. It is fed one event at a time
// (Feed); ReadLine is the loop that reads them from the terminal, and draws
// once for all the events of one read. What it draws goes through the
// compositor, which keeps other threads' output above the input row; the
// editing itself holds no lock.
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
  // Reads the terminal for up to `milliseconds` while no line is being
  // edited and the caller waits on something else: the keys are kept, in
  // order, for the lines that follow. False when the operator asks to stop
  // waiting: a Ctrl-C, which drops every key before it, or the end of the
  // input or a signal to end, which the next ReadLine acts on. Ctrl-Z
  // suspends at once.
  bool ReadAhead(int milliseconds);
  // The names Tab offers (pipes that any local process may create) are
  // shown in the mask's notation where they hold controls; what goes into
  // the line is still the name's bytes. Without a mask they show as the
  // terminal decodes them.
  void QuoteNamesWith(const TextMask *mask) { names = mask; }

private:
  enum Step { Going, Accepted, Ended };

  // Acts on one event without drawing the line.
  Result Act(const Terminal::Event &event, std::string &line);
  Step Apply(const Key &key);
  Step ApplyInSearch(const Key &key);
  Step ApplyControl(char letter);
  void Browse(bool older);
  // From history line `from`, in it from character `start` on.
  void Search(std::size_t from, std::size_t start = 0);
  // `again`: the Tab right after one that left several candidates.
  void Complete(bool again);
  std::string Listing(const std::vector<std::string> &candidates) const;
  // The characters of a name Tab offers, as they are shown.
  std::vector<Char> Offered(const std::string &candidate) const;
  // The bytes that draw the input row.
  std::string Row();
  void Draw();
  // Ends the row with `mark` behind it, drawn as it stands.
  void Leave(const std::string &mark);
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
  bool tabbed = false;  // the last key was a Tab that left several candidates
  bool changed = false; // the row differs from what was last drawn
  // Events read and not yet acted on: the rest of a read, or keys read
  // ahead.
  std::deque<Terminal::Event> queued;
  const TextMask *names = nullptr;

  std::size_t browsing = 0; // the history line shown; Size() for the new line
  CharString fresh;         // the new line while history is shown
  bool searching = false;
  std::vector<Char> query;
  std::size_t match = 0; // the history line the search stands on
  bool matched = false;
  bool failedSearch = false;
  CharString unsearched; // the line as it was before the search
  std::size_t unsearchedCursor = 0;
};

#endif
