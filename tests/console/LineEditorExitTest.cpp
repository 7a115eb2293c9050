#include "TempDirectory.h"
#include "TestPrograms.h"
#include "TestServer.h"
#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {
const int kColumns = 100;
const int kRows = 20;

// The first line of the file, once it has one; "" if it never does. The
// tests keep the terminal's modes there, as `stty -g` prints them.
std::string FirstLine(const std::string &path) {
  const auto deadline = std::chrono::steady_clock::now() + ChildProcess::kDefaultTimeout;
  for (;;) {
    std::ifstream in(path);
    std::string line;
    if (std::getline(in, line) && in.good())
      return line;
    if (std::chrono::steady_clock::now() >= deadline)
      return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// The client on its terminal, the terminal's modes written to `before` in
// `modes` ahead of it and to `after` behind it, where "exit STATUS" shows.
std::vector<std::string> ClientBetweenModes(const TempDirectory &modes) {
  return testprograms::TerminalClient("cd " + modes.Path() +
                                      " && stty -g > before; \"$@\"; echo \"exit $?\"; "
                                      "stty -g > after; exec sleep 100");
}

// The words as one line of shell, each quoted.
std::string ShellLine(const std::vector<std::string> &words) {
  std::string line;
  for (const std::string &word : words) {
    line += line.empty() ? "'" : " '";
    for (const char c : word)
      line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += "'";
  }
  return line;
}

// The process the pane's shell runs: the client.
pid_t ChildOf(int parent) {
  std::ifstream children("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                         "/children");
  int child = 0;
  children >> child;
  return child;
}

enum class WayOut { ExitCommand, CtrlD, CtrlC, Terminate, HangUp, Interrupt };

std::string NameOf(WayOut way) {
  switch (way) {
  case WayOut::ExitCommand:
    return "ExitCommand";
  case WayOut::CtrlD:
    return "CtrlD";
  case WayOut::CtrlC:
    return "CtrlC";
  case WayOut::Terminate:
    return "Terminate";
  case WayOut::HangUp:
    return "HangUp";
  case WayOut::Interrupt:
    return "Interrupt";
  }
  return "";
}

std::string Name(const testing::TestParamInfo<WayOut> &info) { return NameOf(info.param); }

// For the test's name in ctest's list.
void PrintTo(WayOut way, std::ostream *out) { *out << NameOf(way); }

class LineEditorExit : public testing::TestWithParam<WayOut> {};

TEST_P(LineEditorExit, TheTerminalIsLeftAsItWasFoundAndThePipeClosed) {
  if (TmuxTerminal::Program().empty())
    GTEST_SKIP() << "tmux is not installed";
  const TempDirectory modes("skellan-stty");
  TestServer server({"--no-echo", "--log-data"});
  TmuxTerminal terminal(ClientBetweenModes(modes), kColumns, kRows);
  ASSERT_TRUE(terminal.Connect(server.Name()));
  terminal.Type("half a line");
  ASSERT_TRUE(terminal.WaitForInput("$ half a line", 13));

  switch (GetParam()) {
  case WayOut::ExitCommand:
    terminal.Press({"C-u"});
    terminal.TypeLine("exit");
    break;
  case WayOut::CtrlD:
    // With text, Ctrl-D deletes; on an empty line it is the end of input.
    terminal.Press({"C-a", "C-d"});
    ASSERT_TRUE(terminal.WaitForInput("$ alf a line", 2));
    terminal.Press({"C-e", "C-u", "C-d"});
    break;
  case WayOut::CtrlC:
    // With text, Ctrl-C abandons the line; on an empty line it leaves.
    terminal.Press({"C-c"});
    ASSERT_TRUE(terminal.WaitForRow("$ half a line^C"));
    ASSERT_TRUE(terminal.WaitForInput("$", 2));
    terminal.TypeLine("kept");
    ASSERT_TRUE(server.WaitForLog("data 1 kept\\n"));
    ASSERT_TRUE(terminal.WaitForInput("$", 2));
    terminal.Press({"C-c"});
    break;
  case WayOut::Terminate:
  case WayOut::HangUp:
  case WayOut::Interrupt: {
    const pid_t client = ChildOf(terminal.PanePid());
    ASSERT_GT(client, 0);
    const int signal = GetParam() == WayOut::Terminate ? SIGTERM
                       : GetParam() == WayOut::HangUp  ? SIGHUP
                                                       : SIGINT;
    kill(client, signal);
    break;
  }
  }
  // The shell's next line starts at the first column: the client left the
  // cursor at the start of a fresh row.
  EXPECT_TRUE(terminal.WaitForRow("exit 0"));
  const std::string before = FirstLine(modes.Path() + "/before");
  EXPECT_FALSE(before.empty());
  EXPECT_EQ(FirstLine(modes.Path() + "/after"), before);
  EXPECT_TRUE(server.WaitForLog("close 1"));
  // Nothing but the line kept after Ctrl-C ever reached the server.
  EXPECT_EQ(server.CountLog("data "), GetParam() == WayOut::CtrlC ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryWayOut, LineEditorExit,
                         testing::Values(WayOut::ExitCommand, WayOut::CtrlD, WayOut::CtrlC,
                                         WayOut::Terminate, WayOut::HangUp, WayOut::Interrupt),
                         Name);

// A server that has stopped reading, as a stuck program does: a paste fills
// the pipe and the write behind it waits. Ctrl-C abandons that write and
// drops the rest of the paste, and the connection is the operator's to
// close; a signal to end ends the client. Either way the terminal is left
// as it was found.
enum class WhileWriting { CtrlC, Terminate, HangUp };

std::string NameOf(WhileWriting way) {
  switch (way) {
  case WhileWriting::CtrlC:
    return "CtrlC";
  case WhileWriting::Terminate:
    return "Terminate";
  case WhileWriting::HangUp:
    return "HangUp";
  }
  return "";
}

// For the test's name in ctest's list.
void PrintTo(WhileWriting way, std::ostream *out) { *out << NameOf(way); }

class LineEditorStuckWrite : public testing::TestWithParam<std::tuple<WhileWriting, bool>> {};

TEST_P(LineEditorStuckWrite, TheOperatorGetsOutAndTheTerminalIsLeftAsItWasFound) {
  if (TmuxTerminal::Program().empty())
    GTEST_SKIP() << "tmux is not installed";
  const WhileWriting way = std::get<0>(GetParam());
  const TempDirectory modes("skellan-stty");
  std::vector<std::string> options = {"--no-read"};
  if (std::get<1>(GetParam()))
    options.push_back("--byte");
  TestServer server(options);
  TmuxTerminal terminal(ClientBetweenModes(modes), kColumns, kRows);
  ASSERT_TRUE(terminal.Connect(server.Name()));
  // More short messages than the pipe holds unread.
  const int lines = testprograms::LinesThatFillAPipe();
  std::string paste;
  for (int i = 0; i < lines; ++i)
    paste += "line " + std::to_string(i) + " of the paste\n";
  terminal.Paste(paste);
  // Once a write waits, the keys behind it are kept and not drawn: the
  // screen stands still.
  std::vector<std::string> last;
  auto since = std::chrono::steady_clock::now();
  ASSERT_TRUE(terminal.WaitFor(
      [&](const std::vector<std::string> &rows, TmuxTerminal::Cursor) {
        const auto now = std::chrono::steady_clock::now();
        if (rows != last) {
          last = rows;
          since = now;
        }
        return now - since >= std::chrono::milliseconds(500);
      },
      "the screen standing still", std::chrono::seconds(60)));

  if (way == WhileWriting::CtrlC) {
    terminal.Press({"C-c"});
    ASSERT_TRUE(terminal.WaitForRow("ERROR Cannot write to pipe"));
    ASSERT_TRUE(terminal.WaitForInput("$", 2));
    terminal.TypeLine("close");
    ASSERT_TRUE(terminal.WaitForRow("OK Connection closed"));
    terminal.TypeLine("exit");
  } else {
    const pid_t client = ChildOf(terminal.PanePid());
    ASSERT_GT(client, 0);
    kill(client, way == WhileWriting::Terminate ? SIGTERM : SIGHUP);
  }
  EXPECT_TRUE(terminal.WaitForRow("exit 0"));
  const std::string before = FirstLine(modes.Path() + "/before");
  EXPECT_FALSE(before.empty());
  EXPECT_EQ(FirstLine(modes.Path() + "/after"), before);
  // Nothing of the paste was typed after the write that waited.
  const std::string lastLine = "line " + std::to_string(lines - 1) + " ";
  for (const std::string &row : terminal.Screen())
    EXPECT_EQ(row.find(lastLine), std::string::npos) << terminal.Picture();
}

INSTANTIATE_TEST_SUITE_P(DeafServer, LineEditorStuckWrite,
                         testing::Combine(testing::Values(WhileWriting::CtrlC,
                                                          WhileWriting::Terminate,
                                                          WhileWriting::HangUp),
                                          testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<WhileWriting, bool>> &info) {
                           return NameOf(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) ? "OnAByteTypePipe" : "OnAMessagePipe");
                         });

// A script's end waits for a server's last answers; an operator at a
// terminal has seen them and leaves at once, whatever the server goes on
// sending.
TEST(LineEditorExitNow, ExitLeavesAtOnceAlthoughTheServerGoesOnSending) {
  if (TmuxTerminal::Program().empty())
    GTEST_SKIP() << "tmux is not installed";
  TestServer server({"--no-echo", "--tick", "100"});
  TmuxTerminal terminal(testprograms::TerminalClient("\"$@\"; echo \"exit $?\"; exec sleep 100"),
                        kColumns, 40);
  ASSERT_TRUE(terminal.WaitForInput("$", 2));
  terminal.TypeLine("connect " + server.Name());
  ASSERT_TRUE(terminal.WaitForRow("tick 2"));
  terminal.TypeLine("exit");
  ASSERT_TRUE(terminal.WaitForRow("exit 0"));
  // Waiting for the server to be quiet would have shown a tick every
  // 100 ms for 2 s below the exit.
  const std::vector<std::string> rows = terminal.Screen();
  std::size_t exitRow = rows.size();
  std::size_t ticksAfter = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (TmuxTerminal::Trimmed(rows[r]) == "$ exit")
      exitRow = r;
    else if (r > exitRow && rows[r].compare(0, 5, "tick ") == 0)
      ++ticksAfter;
  }
  EXPECT_LT(exitRow, rows.size()) << terminal.Picture();
  EXPECT_LT(ticksAfter, 5u) << terminal.Picture();
}

// How the operator's shell started the client.
enum class Started { Directly, ByAScript };

std::string NameOf(Started started) {
  return started == Started::Directly ? "Directly" : "ByAScript";
}

// For the test's name in ctest's list.
void PrintTo(Started started, std::ostream *out) { *out << NameOf(started); }

class LineEditorSuspend : public testing::TestWithParam<Started> {};

// Ctrl-Z stops the whole job, as the terminal's own Ctrl-Z would: the
// client, and a script that started it and waits for it, so that the shell
// gets its prompt back. fg resumes it raw, the line drawn again.
TEST_P(LineEditorSuspend, CtrlZGivesTheShellItsPromptWithTheModesRestoredAndFgComesBackRaw) {
  if (TmuxTerminal::Program().empty())
    GTEST_SKIP() << "tmux is not installed";
  const TempDirectory modes("skellan-stty");
  TestServer server({"--no-echo", "--log-data"});
  const bool byScript = GetParam() == Started::ByAScript;
  // A script that runs the client and waits for it, as scripts/demo.sh does.
  {
    std::ofstream wrapper(modes.Path() + "/wrapper");
    wrapper << ShellLine(testprograms::Client()) << "\necho \"client exit $?\"\n";
    ASSERT_TRUE(wrapper.good());
  }
  // A shell with job control, as an operator has.
  TmuxTerminal terminal({"env", "PS1=sh> ", "bash", "--norc", "--noprofile", "-i"}, kColumns,
                        kRows);
  ASSERT_TRUE(terminal.WaitForInput("sh>", 4));
  terminal.TypeLine("cd " + modes.Path());
  terminal.TypeLine("stty -g > before");
  terminal.TypeLine(byScript ? "sh wrapper" : ShellLine(testprograms::Client()));
  ASSERT_TRUE(terminal.WaitForInput("$", 2));
  terminal.TypeLine("connect " + server.Name());
  ASSERT_TRUE(terminal.WaitForRow("OK Connected"));
  terminal.Type("half");
  ASSERT_TRUE(terminal.WaitForInput("$ half", 6));

  terminal.Press({"C-z"});
  ASSERT_TRUE(terminal.WaitForInput("sh>", 4));
  terminal.TypeLine("stty -g > stopped");
  terminal.TypeLine("fg");
  ASSERT_TRUE(terminal.WaitForInput("$ half", 6));
  // Raw again: Ctrl-A moves to the start instead of showing as ^A.
  terminal.Type(" line");
  terminal.Press({"C-a"});
  terminal.Type("X");
  ASSERT_TRUE(terminal.WaitForInput("$ Xhalf line", 3));
  terminal.Press({"Enter"});
  EXPECT_TRUE(server.WaitForLog("data 1 Xhalf line\\n"));
  terminal.TypeLine("exit");
  // A script went on waiting for the client throughout.
  if (byScript) {
    ASSERT_TRUE(terminal.WaitForRow("client exit 0"));
  }
  ASSERT_TRUE(terminal.WaitForInput("sh>", 4));
  terminal.TypeLine("stty -g > after");

  const std::string before = FirstLine(modes.Path() + "/before");
  EXPECT_FALSE(before.empty());
  EXPECT_EQ(FirstLine(modes.Path() + "/stopped"), before);
  EXPECT_EQ(FirstLine(modes.Path() + "/after"), before);
  EXPECT_TRUE(server.WaitForLog("close 1"));
  EXPECT_EQ(server.CountLog("data "), 1u);
}

INSTANTIATE_TEST_SUITE_P(FromAShell, LineEditorSuspend,
                         testing::Values(Started::Directly, Started::ByAScript),
                         [](const testing::TestParamInfo<Started> &info) {
                           return NameOf(info.param);
                         });
} // namespace
