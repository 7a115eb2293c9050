#include "EditorScreen.h"

#include "ChildProcess.h"

#include <chrono>
#include <thread>

testing::AssertionResult EditorScreen::WaitFor(
    const std::function<bool(const std::vector<std::string> &, TmuxTerminal::Cursor)> &test,
    const std::string &what, ChildProcess::Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::vector<std::string> screen = terminal.Screen();
    const TmuxTerminal::Cursor cursor = terminal.CursorPosition();
    if (test(screen, cursor))
      return testing::AssertionSuccess();
    if (std::chrono::steady_clock::now() >= deadline)
      return testing::AssertionFailure() << "the screen never showed " << what << ":\n"
                                         << Picture();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

testing::AssertionResult EditorScreen::WaitForInput(const std::string &row, int column) {
  return WaitFor(
      [&](const std::vector<std::string> &screen, TmuxTerminal::Cursor cursor) {
        return cursor.row >= 0 && static_cast<std::size_t>(cursor.row) < screen.size() &&
               TmuxTerminal::Trimmed(screen[cursor.row]) == row && cursor.column == column;
      },
      "\"" + row + "\" with the cursor at column " + std::to_string(column));
}

testing::AssertionResult EditorScreen::WaitForRow(const std::string &row) {
  return WaitFor(
      [&](const std::vector<std::string> &screen, TmuxTerminal::Cursor) {
        for (const std::string &shown : screen) {
          if (TmuxTerminal::Trimmed(shown) == row)
            return true;
        }
        return false;
      },
      "a row \"" + row + "\"");
}

testing::AssertionResult EditorScreen::WaitForScreen(const std::vector<std::string> &rows,
                                                     int column) {
  std::string what = "these rows, cursor at column " + std::to_string(column) + ":\n";
  for (const std::string &row : rows)
    what += "|" + row + "|\n";
  return WaitFor(
      [&](const std::vector<std::string> &screen, TmuxTerminal::Cursor cursor) {
        if (screen.size() < rows.size() || cursor.row != static_cast<int>(rows.size()) - 1 ||
            cursor.column != column)
          return false;
        for (std::size_t i = 0; i < screen.size(); ++i) {
          const std::string shown = TmuxTerminal::Trimmed(screen[i]);
          if (i < rows.size() ? shown != rows[i] : !shown.empty())
            return false;
        }
        return true;
      },
      what);
}

std::string EditorScreen::Picture() {
  const std::vector<std::string> screen = terminal.Screen();
  const TmuxTerminal::Cursor cursor = terminal.CursorPosition();
  std::string picture;
  for (std::size_t row = 0; row < screen.size(); ++row) {
    picture += std::to_string(row) + "|" + TmuxTerminal::Trimmed(screen[row]) + "|";
    if (static_cast<int>(row) == cursor.row)
      picture += " <- cursor at column " + std::to_string(cursor.column);
    picture += "\n";
  }
  return picture;
}
