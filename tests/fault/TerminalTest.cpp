#include "ClientSession.h"
#include "TestPrograms.h"
#include "TestServer.h"
#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

namespace {

const int kColumns = 80;
const int kRows = 24;
const std::string kMessage = "news from the server";

// The screen with its rows numbered, for a failure message.
std::string Picture(const std::vector<std::string> &screen) {
  std::string picture;
  for (std::size_t row = 0; row < screen.size(); ++row) {
    picture += std::to_string(row) + "|" + screen[row] + "|\n";
  }
  return picture;
}

// The cursor waits on a row that holds just the prompt; `above` is shown
// on the row before it, at column 0; nothing is shown below.
testing::AssertionResult PromptWaitsBelow(TmuxTerminal &terminal, const std::string &above) {
  const std::vector<std::string> screen = terminal.Screen();
  const TmuxTerminal::Cursor cursor = terminal.CursorPosition();
  const std::size_t row = static_cast<std::size_t>(cursor.row);
  if (cursor.row < 1 || row >= screen.size()) {
    return testing::AssertionFailure() << "cursor at row " << cursor.row << "\n" << Picture(screen);
  }
  if (screen[row].compare(0, 2, "$ ") != 0 || TmuxTerminal::Trimmed(screen[row]) != "$" ||
      cursor.column != 2) {
    return testing::AssertionFailure() << "no prompt where the cursor waits, at row " << row
                                       << " column " << cursor.column << "\n"
                                       << Picture(screen);
  }
  if (TmuxTerminal::Trimmed(screen[row - 1]) != above) {
    return testing::AssertionFailure() << "row " << row - 1 << " is not \"" << above << "\"\n"
                                       << Picture(screen);
  }
  for (std::size_t below = row + 1; below < screen.size(); ++below) {
    if (!TmuxTerminal::Trimmed(screen[below]).empty()) {
      return testing::AssertionFailure() << "row " << below << " below the prompt is not "
                                         << "blank\n"
                                         << Picture(screen);
    }
  }
  return testing::AssertionSuccess();
}

// Waits until the prompt waits below `above`.
testing::AssertionResult WaitForPromptBelow(TmuxTerminal &terminal, const std::string &above) {
  const auto deadline = std::chrono::steady_clock::now() + ChildProcess::kDefaultTimeout;
  for (;;) {
    testing::AssertionResult waiting = PromptWaitsBelow(terminal, above);
    if (waiting || std::chrono::steady_clock::now() >= deadline) {
      return waiting;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST(Terminal, MessageArrivingWhileThePromptWaitsIsShownAboveAFreshPrompt) {
  if (TmuxTerminal::Program().empty()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  // The server replies to the first line it gets with the message.
  TestServer server({"--on-message", "--send", kMessage + "\\n"});
  TmuxTerminal terminal(testprograms::Client(), kColumns, kRows);
  ASSERT_TRUE(terminal.WaitForRow("$", ChildProcess::kDefaultTimeout))
      << Picture(terminal.Screen());

  terminal.TypeLine("connect " + server.Name());
  ASSERT_TRUE(WaitForPromptBelow(terminal, "OK Connected"));

  // Stopped, the server holds the message back until the client has shown
  // the prompt for its next line and waits there.
  server.Process().Signal(SIGSTOP);
  terminal.TypeLine("go");
  const testing::AssertionResult waiting = WaitForPromptBelow(terminal, "$ go");
  server.Process().Signal(SIGCONT);
  ASSERT_TRUE(waiting);

  ASSERT_TRUE(WaitForPromptBelow(terminal, kMessage));
  const std::vector<std::string> screen = terminal.Screen();
  ASSERT_GE(screen.size(), 4u);
  EXPECT_EQ(TmuxTerminal::Trimmed(screen[0]), "$ connect " + server.Name()) << Picture(screen);
  EXPECT_EQ(TmuxTerminal::Trimmed(screen[1]), "OK Connected") << Picture(screen);
  EXPECT_EQ(TmuxTerminal::Trimmed(screen[2]), "$ go") << Picture(screen);

  // The fresh prompt takes the next command.
  terminal.TypeLine("close");
  EXPECT_TRUE(WaitForPromptBelow(terminal, "OK Connection closed"));
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

} // namespace
