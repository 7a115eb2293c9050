#include "EditorScreen.h"
#include "TestPrograms.h"
#include "TestServer.h"
#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {
const int kColumns = 100;
const int kRows = 20;

// The client on a terminal, connected to a server that logs what it gets.
class TerminalKeys : public testing::Test {
protected:
  void SetUp() override {
    if (TmuxTerminal::Program().empty())
      GTEST_SKIP() << "tmux is not installed";
    Start(testprograms::TerminalClient());
  }
  void Start(const std::vector<std::string> &command) {
    terminal = std::make_unique<TmuxTerminal>(command, kColumns, kRows);
    screen = std::make_unique<EditorScreen>(*terminal);
    ASSERT_TRUE(screen->WaitForInput("$", 2));
    terminal->TypeLine("connect " + server.Name());
    ASSERT_TRUE(screen->WaitForRow("OK Connected"));
    ASSERT_TRUE(screen->WaitForInput("$", 2));
  }
  // The messages the server got, in order, as its log writes them.
  std::vector<std::string> Received(std::size_t count) {
    EXPECT_TRUE(server.WaitForLogCount("data 1 ", count));
    std::istringstream log(server.Process().Output());
    std::vector<std::string> messages;
    for (std::string line; std::getline(log, line);) {
      if (line.compare(0, 7, "data 1 ") == 0)
        messages.push_back(line.substr(7));
    }
    return messages;
  }

  TestServer server{{"--no-echo", "--log-data"}};
  std::unique_ptr<TmuxTerminal> terminal;
  std::unique_ptr<EditorScreen> screen;
};

using Messages = std::vector<std::string>;

TEST_F(TerminalKeys, EditingKeysAndHistorySendExactlyTheEditedText) {
  terminal->TypeLine("first line");
  ASSERT_TRUE(screen->WaitForInput("$", 2));
  // The keys that used to reach the server as escape sequences.
  terminal->Type("abc");
  terminal->Press({"Up", "Left"});
  terminal->Type("x");
  ASSERT_TRUE(screen->WaitForInput("$ first linxe", 12));
  terminal->Press({"Enter"});

  terminal->Type("one two three");
  terminal->Press({"C-w", "M-b", "C-k"});
  terminal->Type("2");
  terminal->Press({"Home"});
  terminal->Type(">");
  terminal->Press({"End"});
  terminal->Type("<");
  ASSERT_TRUE(screen->WaitForInput("$ >one 2<", 9));
  terminal->Press({"Enter"});

  terminal->Type("abcdef");
  terminal->Press({"C-a", "DC", "C-e", "BSpace", "C-b", "C-b", "C-d", "C-Left"});
  terminal->Type("_");
  terminal->Press({"C-Right"});
  terminal->Type("+");
  ASSERT_TRUE(screen->WaitForInput("$ _bce+", 7));
  terminal->Press({"Enter"});

  terminal->Type("junk");
  terminal->Press({"C-u"});
  terminal->Type("clean");
  terminal->Press({"Right", "Right", "Enter"});

  EXPECT_EQ(Received(5),
            (Messages{"first line\\n", "first linxe\\n", ">one 2<\\n", "_bce+\\n", "clean\\n"}));
}

TEST_F(TerminalKeys, ReverseSearchFindsOlderLinesStepByStep) {
  terminal->TypeLine("alpha 1");
  terminal->TypeLine("beta 2");
  terminal->TypeLine("alpha 3");
  ASSERT_EQ(Received(3).size(), 3u);
  terminal->Press({"C-r"});
  terminal->Type("alp");
  ASSERT_TRUE(screen->WaitForInput("(reverse-i-search)`alp': alpha 3", 25));
  terminal->Press({"C-r"});
  ASSERT_TRUE(screen->WaitForInput("(reverse-i-search)`alp': alpha 1", 25));
  terminal->Press({"Enter"});
  EXPECT_EQ(Received(4), (Messages{"alpha 1\\n", "beta 2\\n", "alpha 3\\n", "alpha 1\\n"}));
}

TEST_F(TerminalKeys, TabCompletesCommandsAndLivePipeNames) {
  const std::string stem = TestServer::UniqueName();
  TestServer alpha({}, stem + "-tab-alpha");
  TestServer beta({}, stem + "-tab-beta");
  terminal->Type("connect " + stem + "-t");
  terminal->Press({"Tab"});
  const std::string common = "$ connect " + stem + "-tab-";
  ASSERT_TRUE(screen->WaitForInput(common, static_cast<int>(common.size())));
  terminal->Press({"Tab"});
  ASSERT_TRUE(screen->WaitForRow(stem + "-tab-alpha  " + stem + "-tab-beta"));
  ASSERT_TRUE(screen->WaitForInput(common, static_cast<int>(common.size())));
  terminal->Press({"C-u"});

  terminal->Type("CONN");
  terminal->Press({"Tab"});
  ASSERT_TRUE(screen->WaitForInput("$ connect", 10));
  terminal->Type(stem + "-tab-b");
  terminal->Press({"Tab"});
  const std::string completed = "$ connect " + stem + "-tab-beta";
  ASSERT_TRUE(screen->WaitForInput(completed, static_cast<int>(completed.size()) + 1));
  terminal->Press({"Enter"});
  EXPECT_TRUE(beta.WaitForLog("connect 1"));
  EXPECT_EQ(alpha.CountLog("connect"), 0u);
}

TEST_F(TerminalKeys, APasteOfManyLinesSendsEachLineInOrder) {
  std::string paste;
  Messages expected;
  for (int i = 0; i < 200; ++i) {
    const std::string line = "pasted line " + std::to_string(i) + "\twith a tab";
    paste += line + "\n";
    expected.push_back("pasted line " + std::to_string(i) + "\\twith a tab\\n");
  }
  terminal->Paste(paste);
  EXPECT_EQ(Received(200), expected);
}

TEST_F(TerminalKeys, ALineOfThreeHundredCharactersScrollsWithinTheRow) {
  std::string line;
  for (int i = 0; i < 300; ++i)
    line += static_cast<char>('A' + i % 26);
  terminal->Type(line);
  terminal->Press({"Home"});
  terminal->Type("<");
  // From the start, as much as the row holds before its last column.
  ASSERT_TRUE(screen->WaitForInput("$ " + ("<" + line).substr(0, 97), 3));
  terminal->Press({"End"});
  terminal->Type(">");
  const std::string tail = (line + ">").substr(301 - 96);
  ASSERT_TRUE(screen->WaitForInput("$ " + tail, 98));
  terminal->Press({"Enter"});
  EXPECT_TRUE(
      screen->WaitForScreen({"$ connect " + server.Name(), "OK Connected", "$ " + tail, "$"}, 2));
  EXPECT_EQ(Received(1), Messages{"<" + line + ">\\n"});
}

// A long line pasted where the terminal brackets nothing: every character
// a key, each drawn, all of them sent.
TEST_F(TerminalKeys, ALongLinePastedAsKeysReachesTheServerWhole) {
  std::string line;
  for (int i = 0; i < 300000; ++i)
    line += static_cast<char>('a' + i % 26);
  line.back() = '!';
  terminal->PasteAsKeys(line + "\n");
  // The whole log line, however long it takes to come; the time is only a
  // guard against a client that never gets there.
  EXPECT_TRUE(server.WaitForLog("data 1 " + line + "\\n", std::chrono::seconds(120)));
  EXPECT_EQ(Received(1), Messages{line + "\\n"});
  EXPECT_TRUE(screen->WaitForInput("$", 2));
  EXPECT_TRUE(screen->WaitForRow("$ " + line.substr(line.size() - 96)));
}

// Ctrl-C abandons the line typed before it, and only that line: the keys
// behind it go to the next prompt.
TEST_F(TerminalKeys, CtrlCAmongKeysInOneBurstActsInItsPlace) {
  terminal->Press({"first", "Enter", "half", "C-c", "second", "Enter"});
  EXPECT_TRUE(screen->WaitForScreen(
      {"$ connect " + server.Name(), "OK Connected", "$ first", "$ half^C", "$ second", "$"}, 2));
  EXPECT_EQ(Received(2), (Messages{"first\\n", "second\\n"}));
}

// The Ctrl-C typed on its own right after many keys, while the client is
// still drawing them. The keys behind it come once it has acted: under
// Wine a Ctrl-C is a signal, and keys typed at once behind it can be read
// before its handler runs (the burst case above covers them natively).
TEST_F(TerminalKeys, CtrlCRightAfterTypedKeysActsInItsPlace) {
  std::string typed;
  for (int i = 0; i < 80; ++i)
    typed += static_cast<char>('a' + i % 26);
  terminal->Type("first");
  terminal->Press({"Enter"});
  // The first line shown before the burst, which races only the Ctrl-C.
  ASSERT_TRUE(
      screen->WaitForScreen({"$ connect " + server.Name(), "OK Connected", "$ first", "$"}, 2));
  terminal->Type(typed);
  terminal->Press({"C-c"});
  ASSERT_TRUE(screen->WaitForRow("$ " + typed + "^C"));
  terminal->Type("second");
  terminal->Press({"Enter"});
  EXPECT_TRUE(screen->WaitForScreen({"$ connect " + server.Name(), "OK Connected", "$ first",
                                     "$ " + typed + "^C", "$ second", "$"},
                                    2));
  EXPECT_EQ(Received(2), (Messages{"first\\n", "second\\n"}));
}

class TerminalUtf8 : public TerminalKeys {
protected:
  void SetUp() override {
    if (TmuxTerminal::Program().empty())
      GTEST_SKIP() << "tmux is not installed";
    Start(testprograms::TerminalClient("LC_ALL=C.UTF-8 exec \"$@\""));
  }
};

TEST_F(TerminalUtf8, CharactersAreEditedWholeAndWideOnesTakeTwoColumns) {
  terminal->Type("gr\xc3\xbc\xc3\x9f"
                 "e\xe6\x97\xa5\xe6\x9c\xac");
  ASSERT_TRUE(screen->WaitForInput("$ gr\xc3\xbc\xc3\x9f"
                                   "e\xe6\x97\xa5\xe6\x9c\xac",
                                   11));
  terminal->Press({"BSpace", "BSpace", "BSpace", "Left"});
  terminal->Type("x");
  terminal->Press({"Home"});
  terminal->Type("\xe6\x97\xa5");
  ASSERT_TRUE(screen->WaitForInput("$ \xe6\x97\xa5gr\xc3\xbcx\xc3\x9f", 4));
  terminal->Press({"Enter"});
  EXPECT_EQ(Received(1), Messages{"\\xe6\\x97\\xa5gr\\xc3\\xbcx\\xc3\\x9f\\n"});
}
} // namespace
