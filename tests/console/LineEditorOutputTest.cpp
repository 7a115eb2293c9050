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

// Messages that come while the prompt waits, empty or with half a line
// typed, show above it; the typed line stays whole and the prompt takes the
// next command.
TEST(LineEditorOutput, MessagesArrivingWhileThePromptWaitsShowAboveItAndLeaveTheLineWhole) {
  SKIP_WITHOUT_TMUX();
  for (const std::string typed : {"", "hello wor"}) {
    SCOPED_TRACE("\"" + typed + "\" typed");
    // The server answers the first line with two messages.
    TestServer server({"--log-data", "--on-message", "--send", "tick 0\\n", "--send", "tick 1\\n"});
    TmuxTerminal terminal(testprograms::TerminalClient(), kColumns, kRows);
    ASSERT_TRUE(terminal.Connect(server.Name()));
    std::vector<std::string> rows{"$ connect " + server.Name(), "OK Connected", "$ go"};

    // Stopped, the server answers only once the prompt of the next line
    // waits, with what the operator typed in it.
    server.Process().Signal(SIGSTOP);
    terminal.TypeLine("go");
    terminal.Type(typed);
    const std::string input = typed.empty() ? "$" : "$ " + typed;
    const int column = 2 + static_cast<int>(typed.size());
    rows.push_back(input);
    const testing::AssertionResult waiting = terminal.WaitForScreen(rows, column);
    server.Process().Signal(SIGCONT);
    ASSERT_TRUE(waiting);
    rows.insert(rows.end() - 1, {"tick 0", "tick 1"});
    EXPECT_TRUE(terminal.WaitForScreen(rows, column));

    rows.pop_back();
    if (!typed.empty()) {
      terminal.TypeLine("ld");
      rows.insert(rows.end(), {"$ hello world", "hello world", "$"});
      EXPECT_TRUE(terminal.WaitForScreen(rows, 2));
      rows.pop_back();
    }
    terminal.TypeLine("close");
    rows.insert(rows.end(), {"$ close", "OK Connection closed", "$"});
    EXPECT_TRUE(terminal.WaitForScreen(rows, 2));
    EXPECT_TRUE(server.WaitForLog("close 1"));
    std::vector<std::string> sent{"go\\n"};
    if (!typed.empty())
      sent.push_back("hello world\\n");
    EXPECT_EQ(server.Data(sent.size()), sent);
  }
}

TEST(LineEditorOutput, AStreamReadsAsOneTextAndItsLastLineStaysInView) {
  SKIP_WITHOUT_TMUX();
  TestServer server({"--byte", "--on-message", "--send", "one ", "--send", "two", "--send",
                     " three\\nfour\\0five", "--send", "\\r\\nsix"});
  TmuxTerminal terminal(testprograms::TerminalClient(), kColumns, kRows);
  ASSERT_TRUE(terminal.Connect(server.Name()));
  const std::string connect = "$ connect " + server.Name();

  server.Process().Signal(SIGSTOP);
  terminal.TypeLine("go");
  terminal.Type("typed");
  const testing::AssertionResult typed = terminal.WaitForInput("$ typed", 7);
  server.Process().Signal(SIGCONT);
  ASSERT_TRUE(typed);
  // However the reads cut the stream, its text is continuous (the NUL
  // shows nothing), and "six", with no line feed, stays above the line.
  EXPECT_TRUE(terminal.WaitForScreen(
      {connect, "OK Connected", "$ go", "one two three", "fourfive", "six", "$ typed"}, 7));
}

// The input row reads `row`, the cursor at `column`, below "OK Connected"
// and above blank rows, and no other row shows any of the typed line.
testing::AssertionResult InputAlone(TmuxTerminal &terminal, const std::string &row, int column) {
  return terminal.WaitFor(
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

TEST(LineEditorOutput, AResizedTerminalShowsTheLineAtItsNewWidth) {
  SKIP_WITHOUT_TMUX();
  TestServer server({"--no-echo", "--log-data"});
  TmuxTerminal terminal(testprograms::TerminalClient(), kColumns, kRows);
  ASSERT_TRUE(terminal.Connect(server.Name()));

  std::string line;
  for (int i = 0; i < 90; ++i)
    line += static_cast<char>('a' + i % 26);
  terminal.Type(line);
  ASSERT_TRUE(terminal.WaitForInput("$ " + line, 92));
  terminal.Resize(50, kRows);
  // The row tmux reflowed onto two is gone whole (tmux may have pushed the
  // top row into its history meanwhile); the line scrolls within the new
  // width, the cursor behind its end.
  EXPECT_TRUE(InputAlone(terminal, "$ " + line.substr(90 - 46), 48));
  terminal.Resize(kColumns, kRows);
  EXPECT_TRUE(InputAlone(terminal, "$ " + line, 92));
  terminal.TypeLine("!");
  EXPECT_TRUE(server.WaitForLog("data 1 " + line + "!\\n"));
}
} // namespace
