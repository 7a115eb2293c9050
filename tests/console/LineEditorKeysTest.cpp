#include "TestPrograms.h"
#include "TestServer.h"
#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {
const int kColumns = 100;
const int kRows = 20;

// The client on a terminal, connected to a server that logs what it gets.
class LineEditorKeys : public testing::Test {
protected:
  void SetUp() override {
    if (TmuxTerminal::Program().empty())
      GTEST_SKIP() << "tmux is not installed";
    Start(testprograms::TerminalClient());
  }
  void Start(const std::vector<std::string> &command) {
    terminal = std::make_unique<TmuxTerminal>(command, kColumns, kRows);
    ASSERT_TRUE(terminal->Connect(server.Name()));
  }
  TestServer server{{"--no-echo", "--log-data"}};
  std::unique_ptr<TmuxTerminal> terminal;
};

using Messages = std::vector<std::string>;

TEST_F(LineEditorKeys, EditingKeysAndHistorySendExactlyTheEditedText) {
  terminal->TypeLine("first line");
  ASSERT_TRUE(terminal->WaitForInput("$", 2));
  // The keys that used to reach the server as escape sequences.
  terminal->Type("abc");
  terminal->Press({"Up", "Left"});
  terminal->Type("x");
  ASSERT_TRUE(terminal->WaitForInput("$ first linxe", 12));
  terminal->Press({"Enter"});

  terminal->Type("one two three");
  terminal->Press({"C-w", "M-b", "C-k"});
  terminal->Type("2");
  terminal->Press({"Home"});
  terminal->Type(">");
  terminal->Press({"End"});
  terminal->Type("<");
  ASSERT_TRUE(terminal->WaitForInput("$ >one 2<", 9));
  terminal->Press({"Enter"});

  terminal->Type("abcdef");
  terminal->Press({"C-a", "DC", "C-e", "BSpace", "C-b", "C-b", "C-d", "C-Left"});
  terminal->Type("_");
  terminal->Press({"C-Right"});
  terminal->Type("+");
  ASSERT_TRUE(terminal->WaitForInput("$ _bce+", 7));
  terminal->Press({"Enter"});

  terminal->Type("junk");
  terminal->Press({"C-u"});
  terminal->Type("clean");
  terminal->Press({"Right", "Right", "Enter"});

  EXPECT_EQ(server.Data(5),
            (Messages{"first line\\n", "first linxe\\n", ">one 2<\\n", "_bce+\\n", "clean\\n"}));
}

TEST_F(LineEditorKeys, ReverseSearchFindsOlderLinesStepByStep) {
  terminal->TypeLine("alpha 1");
  terminal->TypeLine("beta 2");
  terminal->TypeLine("alpha 3");
  ASSERT_EQ(server.Data(3).size(), 3u);
  terminal->Press({"C-r"});
  terminal->Type("alp");
  ASSERT_TRUE(terminal->WaitForInput("(reverse-i-search)`alp': alpha 3", 25));
  terminal->Press({"C-r"});
  ASSERT_TRUE(terminal->WaitForInput("(reverse-i-search)`alp': alpha 1", 25));
  terminal->Press({"Enter"});
  EXPECT_EQ(server.Data(4), (Messages{"alpha 1\\n", "beta 2\\n", "alpha 3\\n", "alpha 1\\n"}));
}

TEST_F(LineEditorKeys, TabCompletesCommandsAndLivePipeNames) {
  const std::string stem = TestServer::UniqueName();
  TestServer alpha({}, stem + "-tab-alpha");
  TestServer beta({}, stem + "-tab-beta");
  terminal->Type("connect " + stem + "-t");
  terminal->Press({"Tab"});
  const std::string common = "$ connect " + stem + "-tab-";
  ASSERT_TRUE(terminal->WaitForInput(common, static_cast<int>(common.size())));
  terminal->Press({"Tab"});
  ASSERT_TRUE(terminal->WaitForRow(stem + "-tab-alpha  " + stem + "-tab-beta"));
  ASSERT_TRUE(terminal->WaitForInput(common, static_cast<int>(common.size())));
  terminal->Press({"C-u"});

  terminal->Type("CONN");
  terminal->Press({"Tab"});
  ASSERT_TRUE(terminal->WaitForInput("$ connect", 10));
  terminal->Type(stem + "-tab-b");
  terminal->Press({"Tab"});
  const std::string completed = "$ connect " + stem + "-tab-beta";
  ASSERT_TRUE(terminal->WaitForInput(completed, static_cast<int>(completed.size()) + 1));
  terminal->Press({"Enter"});
  EXPECT_TRUE(beta.WaitForLog("connect 1"));
  EXPECT_EQ(alpha.CountLog("connect"), 0u);
}

TEST_F(LineEditorKeys, APasteOfManyLinesSendsEachLineInOrder) {
  std::string paste;
  Messages expected;
  for (int i = 0; i < 200; ++i) {
    const std::string line = "pasted line " + std::to_string(i) + "\twith a tab";
    paste += line + "\n";
    expected.push_back("pasted line " + std::to_string(i) + "\\twith a tab\\n");
  }
  terminal->Paste(paste);
  EXPECT_EQ(server.Data(200), expected);
}

TEST_F(LineEditorKeys, ALineOfThreeHundredCharactersScrollsWithinTheRow) {
  std::string line;
  for (int i = 0; i < 300; ++i)
    line += static_cast<char>('A' + i % 26);
  terminal->Type(line);
  terminal->Press({"Home"});
  terminal->Type("<");
  // From the start, as much as the row holds before its last column.
  ASSERT_TRUE(terminal->WaitForInput("$ " + ("<" + line).substr(0, 97), 3));
  terminal->Press({"End"});
  terminal->Type(">");
  const std::string tail = (line + ">").substr(301 - 96);
  ASSERT_TRUE(terminal->WaitForInput("$ " + tail, 98));
  terminal->Press({"Enter"});
  EXPECT_TRUE(
      terminal->WaitForScreen({"$ connect " + server.Name(), "OK Connected", "$ " + tail, "$"}, 2));
  EXPECT_EQ(server.Data(1), Messages{"<" + line + ">\\n"});
}

// A long line pasted where the terminal brackets nothing: every character
// a key, each drawn, all of them sent.
TEST_F(LineEditorKeys, ALongLinePastedAsKeysReachesTheServerWhole) {
  std::string line;
  for (int i = 0; i < 300000; ++i)
    line += static_cast<char>('a' + i % 26);
  line.back() = '!';
  terminal->PasteAsKeys(line + "\n");
  // The whole log line, however long it takes to come; the time is only a
  // guard against a client that never gets there.
  EXPECT_TRUE(server.WaitForLog("data 1 " + line + "\\n", std::chrono::seconds(120)));
  EXPECT_EQ(server.Data(1), Messages{line + "\\n"});
  EXPECT_TRUE(terminal->WaitForInput("$", 2));
  EXPECT_TRUE(terminal->WaitForRow("$ " + line.substr(line.size() - 96)));
}

// Ctrl-C abandons the line typed before it, and only that line: the keys
// behind it go to the next prompt.
TEST_F(LineEditorKeys, CtrlCAmongKeysInOneBurstActsInItsPlace) {
  terminal->Press({"first", "Enter", "half", "C-c", "second", "Enter"});
  EXPECT_TRUE(terminal->WaitForScreen(
      {"$ connect " + server.Name(), "OK Connected", "$ first", "$ half^C", "$ second", "$"}, 2));
  EXPECT_EQ(server.Data(2), (Messages{"first\\n", "second\\n"}));
}

// The Ctrl-C typed on its own right after many keys, while the client is
// still drawing them. The keys behind it come once it has acted: under
// Wine a Ctrl-C is a signal, and keys typed at once behind it can be read
// before its handler runs (the burst case above covers them natively).
TEST_F(LineEditorKeys, CtrlCRightAfterTypedKeysActsInItsPlace) {
  std::string typed;
  for (int i = 0; i < 80; ++i)
    typed += static_cast<char>('a' + i % 26);
  terminal->Type("first");
  terminal->Press({"Enter"});
  // The first line shown before the burst, which races only the Ctrl-C.
  ASSERT_TRUE(
      terminal->WaitForScreen({"$ connect " + server.Name(), "OK Connected", "$ first", "$"}, 2));
  terminal->Type(typed);
  terminal->Press({"C-c"});
  ASSERT_TRUE(terminal->WaitForRow("$ " + typed + "^C"));
  terminal->Type("second");
  terminal->Press({"Enter"});
  EXPECT_TRUE(terminal->WaitForScreen({"$ connect " + server.Name(), "OK Connected", "$ first",
                                       "$ " + typed + "^C", "$ second", "$"},
                                      2));
  EXPECT_EQ(server.Data(2), (Messages{"first\\n", "second\\n"}));
}

// Waits until tmux makes `value` of the format.
testing::AssertionResult WaitForFormat(TmuxTerminal &terminal, const std::string &format,
                                       const std::string &value) {
  const auto deadline = std::chrono::steady_clock::now() + ChildProcess::kDefaultTimeout;
  std::string shown;
  while ((shown = terminal.Format(format)) != value) {
    if (std::chrono::steady_clock::now() >= deadline)
      return testing::AssertionFailure() << format << " stayed \"" << shown << "\"";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return testing::AssertionSuccess();
}

// A terminal answers whoever asked, and into the input of whatever reads
// it: queries that another program on the terminal makes while the
// operator types (a background job, a shell's hook) bring answers that the
// line editor must not take for keys.
TEST_F(LineEditorKeys, AnswersToAnotherProgramsQueriesAreNeverTyped) {
  terminal->Type("half");
  ASSERT_TRUE(terminal->WaitForInput("$ half", 6));
  // tmux answers a DCS to the first, CSIs to the others; the title set
  // behind them shows once it has answered them all.
  const std::string queries = "\x1b[>q\x1b[c\x1b[>c\x1b[6n\x1b[5n\x1b]2;asked\a";
  const int tty = open(terminal->Format("#{pane_tty}").c_str(), O_WRONLY | O_NOCTTY);
  ASSERT_GE(tty, 0);
  const ssize_t written = write(tty, queries.data(), queries.size());
  close(tty);
  ASSERT_EQ(written, static_cast<ssize_t>(queries.size()));
  ASSERT_TRUE(WaitForFormat(*terminal, "#{pane_title}", "asked"));

  terminal->TypeLine(" line");
  EXPECT_TRUE(terminal->WaitForScreen(
      {"$ connect " + server.Name(), "OK Connected", "$ half line", "$"}, 2));
  EXPECT_EQ(server.Data(1), Messages{"half line\\n"});
}

class LineEditorUtf8 : public LineEditorKeys {
protected:
  void SetUp() override {
    if (TmuxTerminal::Program().empty())
      GTEST_SKIP() << "tmux is not installed";
    Start(testprograms::TerminalClient("LC_ALL=C.UTF-8 exec \"$@\""));
  }
};

TEST_F(LineEditorUtf8, CharactersAreEditedWholeAndWideOnesTakeTwoColumns) {
  terminal->Type("gr\xc3\xbc\xc3\x9f"
                 "e\xe6\x97\xa5\xe6\x9c\xac");
  ASSERT_TRUE(terminal->WaitForInput("$ gr\xc3\xbc\xc3\x9f"
                                     "e\xe6\x97\xa5\xe6\x9c\xac",
                                     11));
  terminal->Press({"BSpace", "BSpace", "BSpace", "Left"});
  terminal->Type("x");
  terminal->Press({"Home"});
  terminal->Type("\xe6\x97\xa5");
  ASSERT_TRUE(terminal->WaitForInput("$ \xe6\x97\xa5gr\xc3\xbcx\xc3\x9f", 4));
  terminal->Press({"Enter"});
  EXPECT_EQ(server.Data(1), Messages{"\\xe6\\x97\\xa5gr\\xc3\\xbcx\\xc3\\x9f\\n"});
}
} // namespace
