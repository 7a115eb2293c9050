#include "EditorScreen.h"
#include "TestPrograms.h"
#include "TestServer.h"
#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {
const int kColumns = 100;
const int kRows = 20;

#define SKIP_WITHOUT_TMUX()                                                                        \
  if (TmuxTerminal::Program().empty())                                                             \
  GTEST_SKIP() << "tmux is not installed"

TEST(TerminalOutput, MessagesArrivingWhileTypingLeaveTheTypedLineWhole) {
  SKIP_WITHOUT_TMUX();
  // The server answers the first line with two messages.
  TestServer server({"--log-data", "--on-message", "--send", "tick 0\\n", "--send", "tick 1\\n"});
  TmuxTerminal terminal(testprograms::TerminalClient(), kColumns, kRows);
  EditorScreen screen(terminal);
  ASSERT_TRUE(screen.WaitForInput("$", 2));
  const std::string connect = "$ connect " + server.Name();
  terminal.TypeLine("connect " + server.Name());
  ASSERT_TRUE(screen.WaitForScreen({connect, "OK Connected", "$"}, 2));

  // Stopped, the server answers only once the operator is halfway through
  // the next line.
  server.Process().Signal(SIGSTOP);
  terminal.TypeLine("go");
  terminal.Type("hello wor");
  const testing::AssertionResult typed = screen.WaitForInput("$ hello wor", 11);
  server.Process().Signal(SIGCONT);
  ASSERT_TRUE(typed);
  EXPECT_TRUE(screen.WaitForScreen(
      {connect, "OK Connected", "$ go", "tick 0", "tick 1", "$ hello wor"}, 11));

  terminal.TypeLine("ld");
  EXPECT_TRUE(screen.WaitForScreen(
      {connect, "OK Connected", "$ go", "tick 0", "tick 1", "$ hello world", "hello world", "$"},
      2));
  EXPECT_TRUE(server.WaitForLog("data 1 go\\n"));
  EXPECT_TRUE(server.WaitForLog("data 1 hello world\\n"));
  EXPECT_EQ(server.CountLog("data "), 2u);
}

TEST(TerminalOutput, AStreamReadsAsOneTextAndItsLastLineStaysInView) {
  SKIP_WITHOUT_TMUX();
  TestServer server({"--byte", "--on-message", "--send", "one ", "--send", "two", "--send",
                     " three\\nfour\\0five", "--send", "\\r\\nsix"});
  TmuxTerminal terminal(testprograms::TerminalClient(), kColumns, kRows);
  EditorScreen screen(terminal);
  ASSERT_TRUE(screen.WaitForInput("$", 2));
  const std::string connect = "$ connect " + server.Name();
  terminal.TypeLine("connect " + server.Name());
  ASSERT_TRUE(screen.WaitForScreen({connect, "OK Connected", "$"}, 2));

  server.Process().Signal(SIGSTOP);
  terminal.TypeLine("go");
  terminal.Type("typed");
  const testing::AssertionResult typed = screen.WaitForInput("$ typed", 7);
  server.Process().Signal(SIGCONT);
  ASSERT_TRUE(typed);
  // However the reads cut the stream, its text is continuous (the NUL
  // shows nothing), and "six", with no line feed, stays above the line.
  EXPECT_TRUE(screen.WaitForScreen(
      {connect, "OK Connected", "$ go", "one two three", "fourfive", "six", "$ typed"}, 7));
}

// The input row reads `row`, the cursor at `column`, below "OK Connected"
// and above blank rows, and no other row shows any of the typed line.
testing::AssertionResult InputAlone(EditorScreen &screen, const std::string &row, int column) {
  return screen.WaitFor(
      [&](const std::vector<std::string> &rows, TmuxTerminal::Cursor cursor) {
        if (cursor.row < 1 || cursor.column != column ||
            TmuxTerminal::Trimmed(rows[cursor.row]) != row ||
            TmuxTerminal::Trimmed(rows[cursor.row - 1]) != "OK Connected")
          return false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
          const std::string shown = TmuxTerminal::Trimmed(rows[i]);
          if (static_cast<int>(i) > cursor.row && !shown.empty())
            return false;
          if (static_cast<int>(i) != cursor.row && shown.find("klm") != std::string::npos)
            return false;
        }
        return true;
      },
      "\"" + row + "\" alone, cursor at column " + std::to_string(column));
}

TEST(TerminalOutput, AResizedTerminalShowsTheLineAtItsNewWidth) {
  SKIP_WITHOUT_TMUX();
  TestServer server({"--no-echo", "--log-data"});
  TmuxTerminal terminal(testprograms::TerminalClient(), kColumns, kRows);
  EditorScreen screen(terminal);
  ASSERT_TRUE(screen.WaitForInput("$", 2));
  const std::string connect = "$ connect " + server.Name();
  terminal.TypeLine("connect " + server.Name());
  ASSERT_TRUE(screen.WaitForScreen({connect, "OK Connected", "$"}, 2));

  std::string line;
  for (int i = 0; i < 90; ++i)
    line += static_cast<char>('a' + i % 26);
  terminal.Type(line);
  ASSERT_TRUE(screen.WaitForInput("$ " + line, 92));
  terminal.Resize(50, kRows);
  // The row tmux reflowed onto two is gone whole (tmux may have pushed the
  // top row into its history meanwhile); the line scrolls within the new
  // width, the cursor behind its end.
  EXPECT_TRUE(InputAlone(screen, "$ " + line.substr(90 - 46), 48));
  terminal.Resize(kColumns, kRows);
  EXPECT_TRUE(InputAlone(screen, "$ " + line, 92));
  terminal.TypeLine("!");
  EXPECT_TRUE(server.WaitForLog("data 1 " + line + "!\\n"));
}
} // namespace
