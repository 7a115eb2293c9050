#ifndef SKELLAN_TESTS_SUPPORT_TMUXTERMINAL_H
#define SKELLAN_TESTS_SUPPORT_TMUXTERMINAL_H

#include "ChildProcess.h"

#include <string>
#include <vector>

// A program on a terminal of its own, as an operator sees it: a tmux pane
// on a tmux server that belongs to this object alone. Keys are typed with
// send-keys and the screen is read with capture-pane. The tmux server, and
// with it the program, is killed when the object goes, and its socket
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
  // The screen as capture-pane -e writes it: the text with the SGR
  // sequences that give each cell its attributes, trailing blanks dropped.
  std::string AttributedScreen();
  Cursor CursorPosition();
  // Waits until some row of the screen, blanks at its end dropped, is
  // exactly `row`.
  bool WaitForRow(const std::string &row, ChildProcess::Duration timeout);

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
  // The server's socket file, which outlives the server.
  std::string socketPath_;
};

#endif
