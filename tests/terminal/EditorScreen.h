#ifndef SKELLAN_TESTS_TERMINAL_EDITORSCREEN_H
#define SKELLAN_TESTS_TERMINAL_EDITORSCREEN_H

#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Waits on what a tmux terminal shows of the line editor. Every wait is
// bounded, by ChildProcess::kDefaultTimeout unless it is given a bound, and
// says what the screen showed when it gives up.
class EditorScreen {
public:
  explicit EditorScreen(TmuxTerminal &terminal) : terminal(terminal) {}

  // The cursor's row reads `row` (blanks at its end dropped), the cursor at
  // `column`.
  testing::AssertionResult WaitForInput(const std::string &row, int column);
  // Some row reads exactly `row`.
  testing::AssertionResult WaitForRow(const std::string &row);
  // The rows from the top read `rows`, the cursor on the last of them at
  // `column`, and every row below is blank: nothing left behind.
  testing::AssertionResult WaitForScreen(const std::vector<std::string> &rows, int column);
  // Until the test says the screen is right.
  testing::AssertionResult
  WaitFor(const std::function<bool(const std::vector<std::string> &, TmuxTerminal::Cursor)> &test,
          const std::string &what, ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);

  std::string Picture();

  TmuxTerminal &terminal;
};

#endif
