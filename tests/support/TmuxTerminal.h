#ifndef SKELLAN_TESTS_SUPPORT_TMUXTERMINAL_H
#define SKELLAN_TESTS_SUPPORT_TMUXTERMINAL_H

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// A program on a terminal of its own, as an operator sees it: a tmux pane
// on a tmux server that belongs to this object alone. Keys are typed with
// send-keys and the screen is read with capture-pane; every wait for the
// screen is bounded, by ChildProcess::kDefaultTimeout unless it is given a
// bound, and says what the screen showed when it gives up. The tmux server,
// and with it the program, is killed when the object goes, and its socket
// file removed.
class TmuxTerminal {
public:
  struct Cursor {
    int column;
    int row;
  };

  // The tmux program found on PATH, or "" when there is none.
  static std::string Program();

  // Starts `command` in a pane of the given size; throws if tmux fails.
  TmuxTerminal(const std::vector<std::string> &command, int columns, int rows);
  ~TmuxTerminal();
  TmuxTerminal(const TmuxTerminal &) = delete;
  TmuxTerminal &operator=(const TmuxTerminal &) = delete;

  // Types the text and then Enter.
  void TypeLine(const std::string &text);
  // Types the text as it is, nothing behind.
  void Type(const std::string &text);
  // Presses keys by tmux's names for them ("Up", "C-r", "BSpace").
  void Press(const std::vector<std::string> &keys);
  // Pastes the text as a terminal pastes: in brackets when the program
  // asked for them, line feeds as carriage returns.
  void Paste(const std::string &text);
  // Pastes the text as a terminal without bracketed paste does: all of it
  // at once, as keys, line feeds as carriage returns.
  void PasteAsKeys(const std::string &text);
  void Resize(int columns, int rows);
  // The process tmux started in the pane.
  int PanePid();
  // The screen, one string per row, trailing blanks kept as written.
  std::vector<std::string> Screen();
  // The rows with their attributes, as ScreenModel::PaintedRows gives
  // them, read from what capture-pane -e writes.
  std::vector<std::string> PaintedRows();
  Cursor CursorPosition();
  // The screen with its rows numbered and the cursor, for a failure message.
  std::string Picture();

  // Waits until the cursor's row reads `row` (blanks at its end dropped),
  // the cursor at `column`.
  testing::AssertionResult WaitForInput(const std::string &row, int column);
  // Waits until some row reads exactly `row`.
  testing::AssertionResult WaitForRow(const std::string &row);
  // Waits until the rows from the top read `rows`, the cursor on the last
  // of them at `column`, and every row below is blank: nothing left behind.
  testing::AssertionResult WaitForScreen(const std::vector<std::string> &rows, int column);
  // For the client: once its first prompt shows, types "connect NAME" and
  // waits until the screen reads that, "OK Connected" and the next prompt.
  testing::AssertionResult Connect(const std::string &name);
  // Waits until the test says the screen is right; `what` tells what it
  // waited for.
  testing::AssertionResult
  WaitFor(const std::function<bool(const std::vector<std::string> &, Cursor)> &test,
          const std::string &what, ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);

  // What tmux makes of a format, such as "#{pane_title}", for the pane.
  std::string Format(const std::string &format);
  // Sets a global session or window option of this terminal's server.
  void SetOption(const std::string &option, const std::string &value);
  // Names the window, which also ends its automatic renaming.
  void RenameWindow(const std::string &name);
  // tmux's paste buffers, as list-buffers prints them; "" while there are
  // none.
  std::string Buffers();
  // From now on, appends every byte the program writes to the terminal,
  // as it writes it, to the file at `path`, which must need no quoting in
  // a shell.
  void CopyOutputTo(const std::string &path);

  // A row with the blanks at its end dropped.
  static std::string Trimmed(const std::string &row);

private:
  // Runs one tmux command on this object's server, `input` on its standard
  // input; returns its output.
  std::string Tmux(const std::vector<std::string> &arguments, const std::string &input = "");

  std::string program_;
  std::string socketName_;
  int columns_;
  int rows_;
  // The server's socket file, which outlives the server.
  std::string socketPath_;
};

#endif
