#include "BuiltLocale.h"
#include "ScreenModel.h"
#include "TestPrograms.h"
#include "TestServer.h"
#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {
const int kColumns = 100;
const int kRows = 30;

// What a server must not change on the operator's terminal: its title, the
// window's name and the modes that a program may set.
const char kTerminalState[] =
    "title=#{pane_title} window=#{window_name} cursor=#{cursor_flag} "
    "alternate=#{alternate_on} mouse=#{mouse_any_flag}#{mouse_standard_flag}"
    "#{mouse_button_flag}#{mouse_all_flag}#{mouse_sgr_flag} "
    "region=#{scroll_region_upper}-#{scroll_region_lower} insert=#{insert_flag} "
    "keypad=#{keypad_cursor_flag}#{keypad_flag} origin=#{origin_flag} wrap=#{wrap_flag}";

// A server's message, as sent and as the operator must see it.
struct Row {
  std::string sent;
  std::string shown;
};

// The bytes in the escapes of the server's --send.
std::string SendText(const std::string &bytes) {
  std::string text;
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      text += hex;
    } else {
      text += c;
    }
  }
  return text;
}

// How the client reaches the operator: through its line editor, or with
// standard input a pipe (cat reading the terminal) and standard output the
// terminal.
enum class Road { Editor, Piped };

struct Way {
  Road road;
  bool byteType;
};

std::string NameOf(const Way &way) {
  return std::string(way.road == Road::Editor ? "Editor" : "Piped") +
         (way.byteType ? "Byte" : "Message");
}

std::string Name(const testing::TestParamInfo<Way> &info) { return NameOf(info.param); }

// For the test's name in ctest's list.
void PrintTo(const Way &way, std::ostream *out) { *out << NameOf(way); }

using Messages = std::vector<std::string>;

// The client on a terminal that does whatever a program asks of it, the
// window's name and the clipboard too, connected to a server that sends it
// what is not text.
class TextMaskTerminal : public testing::TestWithParam<Way> {
protected:
  void SetUp() override {
    if (TmuxTerminal::Program().empty())
      GTEST_SKIP() << "tmux is not installed";
  }

  // Starts the server with the options and the rows as its messages, the
  // client on its terminal, and connects.
  void Start(std::vector<std::string> options, const std::vector<Row> &rows) {
    if (GetParam().byteType)
      options.insert(options.begin(), "--byte");
    for (const Row &row : rows) {
      options.push_back("--send");
      options.push_back(SendText(row.sent + "\n"));
    }
    server = std::make_unique<TestServer>(options);
    const std::string client = Editor() ? locale + " exec \"$@\"" : "cat | " + locale + " \"$@\"";
    terminal =
        std::make_unique<TmuxTerminal>(testprograms::TerminalClient(client), kColumns, kRows);
    // tmux leaves these alone by default, so that a sequence let through
    // would not show without them.
    terminal->SetOption("set-clipboard", "on");
    terminal->SetOption("allow-rename", "on");
    terminal->RenameWindow("operator");
    ASSERT_TRUE(terminal->WaitForInput("$", 2));
    before = terminal->Format(kTerminalState);
    terminal->TypeLine("connect " + server->Name());
    ASSERT_TRUE(terminal->WaitForScreen({Connect(), "OK Connected", "$"}, 2));
  }

  bool Editor() const { return GetParam().road == Road::Editor; }
  std::string Connect() const { return "$ connect " + server->Name(); }

  // The screen from the top: the connection, "$ go" and the rows.
  std::vector<std::string> Shown(const std::vector<Row> &rows) const {
    std::vector<std::string> shown{Connect(), "OK Connected", "$ go"};
    for (const Row &row : rows)
      shown.push_back(row.shown);
    return shown;
  }

  std::unique_ptr<TestServer> server;
  std::unique_ptr<TmuxTerminal> terminal;
  // The terminal's state once the client is up, before it connects.
  std::string before;
  // The client's locale, as variables for the shell.
  std::string locale = "LC_ALL=C.UTF-8";
};

// Sequences and control bytes of every kind a terminal obeys, each row
// short enough that a console which counts the mask's own SGRs as
// characters still has room for it.
const std::vector<Row> kControls{
    {"A clear\x1b[2J\x1b[3J\x1b[Hhome\x1b"
     "creset",
     "A clear^[[2J^[[3J^[[Hhome^[creset"},
    {"B title\x1b]0;zero\a \x1b]2;two\x1b\\", "B title^[]0;zero^G ^[]2;two^[\\"},
    {"C window\x1bkname\x1b\\ clip\x1b]52;c;aGVsbG8=\a",
     "C window^[kname^[\\ clip^[]52;c;aGVsbG8=^G"},
    {"D ask\x1b[>q\x1b[c\x1b[>c\x1b[6n\x1b[5n", "D ask^[[>q^[[c^[[>c^[[6n^[[5n"},
    {"E modes\x1b[?25l\x1b[?1049h\x1b[?1000h\x1b[?1006h",
     "E modes^[[?25l^[[?1049h^[[?1000h^[[?1006h"},
    // DECALN also resets the scroll region, so the region is set behind it.
    {"F fill\x1b#8 set\x1b(0qq\x0eqq\x0f", "F fill^[#8 set^[(0qq^Nqq^O"},
    {"G region\x1b[2;5r\x1b[4h\x1b[?1h", "G region^[[2;5r^[[4h^[[?1h"},
    {"H keys\x1b=\x1b[?6h\x1b[?7l\x1b[>4;2m", "H keys^[=^[[?6h^[[?7l^[[>4;2m"},
    {"I link\x1b]8;;http://x/\ahere\x1b]8;;\a", "I link^[]8;;http://x/^Ghere^[]8;;^G"},
    {"J c0\a\b\v\f\x01\x18\x1a\x7f end\x1b", "J c0^G^H^K^L^A^X^Z^? end^["},
};

TEST_P(TextMaskTerminal, ControlsShowAsTextAndTheTerminalStaysAsItWas) {
  ASSERT_NO_FATAL_FAILURE(Start({"--log-data", "--no-echo", "--on-message"}, kControls));
  // Stopped, the server answers "go" only once the next line is half typed.
  server->Process().Signal(SIGSTOP);
  terminal->TypeLine("go");
  terminal->Type("typed wh");
  // The editor draws the half line itself. Plain, it is only the
  // terminal's echo for cat, which Wine's console may paint over from its
  // own rows; the keys are in the terminal's line once tmux has sent them.
  const testing::AssertionResult typed =
      Editor() ? terminal->WaitForInput("$ typed wh", 10) : testing::AssertionSuccess();
  server->Process().Signal(SIGCONT);
  ASSERT_TRUE(typed);

  // Every earlier row stays. The line editor draws the half line again
  // below the rows; plain output goes over its echo, and the terminal keeps
  // the half line for cat until Enter.
  std::vector<std::string> rows = Shown(kControls);
  rows.push_back(Editor() ? "$ typed wh" : "$");
  EXPECT_TRUE(terminal->WaitForScreen(rows, Editor() ? 10 : 2));
  EXPECT_EQ(terminal->Format(kTerminalState), before);
  EXPECT_EQ(terminal->Buffers(), "");

  terminal->TypeLine("ile");
  if (Editor()) {
    rows.back() = "$ typed while";
    rows.push_back("$");
    EXPECT_TRUE(terminal->WaitForScreen(rows, 2));
  }
  // The terminal was asked nothing, so it typed no answer into the line.
  EXPECT_EQ(server->Data(2), (Messages{"go\\n", "typed while\\n"}));
}

TEST_P(TextMaskTerminal, ColoursStayOnTheServersTextAlone) {
  // Many masked bytes in a row, each in a reverse-video run of its own.
  Row bells{"K", "K"};
  std::string paintedBells = "K";
  for (int i = 0; i < 24; ++i) {
    bells.sent += "\ax";
    bells.shown += "^Gx";
    paintedBells += "{7:^G}x";
  }
  const std::vector<Row> rows{
      {"plain \x1b[31mred\x1b[0m \x1b[1;32mbold green\x1b[22m green\x1b[m",
       "plain red bold green green"},
      {"\x1b[34mblue\ablue \x1b[44mon blue\x1b[49m \x1b[2Jstill blue\x1b[0m",
       "blue^Gblue on blue ^[[2Jstill blue"},
      bells,
      // In the server's reverse video a masked byte stands apart the other
      // way; a font is no attribute and shows as text.
      {"\x1b[7mreversed\a\x1b[11mfont\x1b[10m\x1b[0m", "reversed^G^[[11mfont^[[10m"},
      // No reset: a stream's text goes on in magenta.
      {"\x1b[35mmagenta, never reset", "magenta, never reset"},
  };
  ASSERT_NO_FATAL_FAILURE(Start({"--on-message"}, rows));
  terminal->TypeLine("go");
  std::vector<std::string> shown = Shown(rows);
  shown.push_back("$");
  ASSERT_TRUE(terminal->WaitForScreen(shown, 2));
  // The server echoes the line, and answers close with a reply.
  terminal->TypeLine("more");
  shown.back() = "$ more";
  shown.insert(shown.end(), {"more", "$"});
  ASSERT_TRUE(terminal->WaitForScreen(shown, 2));
  terminal->TypeLine("close");
  shown.back() = "$ close";
  shown.insert(shown.end(), {"OK Connection closed", "$"});
  ASSERT_TRUE(terminal->WaitForScreen(shown, 2));

  // The client's own rows, the prompt and the typed lines wear nothing;
  // a masked byte is in reverse video over the server's colours, which go
  // on behind it.
  const std::vector<std::string> painted{
      Connect(),
      "OK Connected",
      "$ go",
      "plain {31:red} {1;32:bold green}{32: green}",
      "{34:blue}{7;34:^G}{34:blue }{34;44:on blue}{34: }{7;34:^[}{34:[2Jstill blue}",
      paintedBells,
      "{7:reversed}^G^[{7:[11mfont}^[{7:[10m}",
      "{35:magenta, never reset}",
      "$ more",
      GetParam().byteType ? "{35:more}" : "more",
      "$ close",
      "OK Connection closed",
      "$",
  };
  std::vector<std::string> screenRows = terminal->PaintedRows();
  while (!screenRows.empty() && screenRows.back().empty())
    screenRows.pop_back();
  EXPECT_EQ(screenRows, painted);
}

TEST_P(TextMaskTerminal, BytesThatAreNoTextShowAsHexAndCharactersAsText) {
  const std::string wide = "\xe6\x97\xa5";
  std::string wideRow = "P ";
  for (int i = 0; i < 45; ++i)
    wideRow += wide;
  wideRow += "|";
  const std::vector<Row> rows{
      {"L c1 \x9b\x9d\x90\x9f end", "L c1 <9B><9D><90><9F> end"},
      {"M utf-8 c1 \xc2\x9b\xc2\x85 end", "M utf-8 c1 <C2><9B><C2><85> end"},
      {"N bad \xff\xfe \xc0\xaf \xed\xa0\x80 \x80 \xe6\x97 end",
       "N bad <FF><FE> <C0><AF> <ED><A0><80> <80> <E6><97> end"},
      {"O gr\xc3\xbc\xc3\x9f"
       "e \xe6\x97\xa5\xe6\x9c\xac ok",
       "O gr\xc3\xbc\xc3\x9f"
       "e \xe6\x97\xa5\xe6\x9c\xac ok"},
      {wideRow, wideRow},
  };
  ASSERT_NO_FATAL_FAILURE(Start({"--log-data", "--no-echo", "--on-message"}, rows));
  terminal->TypeLine("go");
  std::vector<std::string> shown = Shown(rows);
  shown.push_back("$");
  EXPECT_TRUE(terminal->WaitForScreen(shown, 2));
  terminal->TypeLine("after");
  shown.back() = "$ after";
  shown.push_back("$");
  EXPECT_TRUE(terminal->WaitForScreen(shown, 2));
  EXPECT_EQ(server->Data(2), (Messages{"go\\n", "after\\n"}));
}

// KOI8-R makes letters of the bytes 0x80..0x9F, which the Linux console
// and xterm in 8-bit mode take for C1 controls (0x9B a CSI, 0x9D an OSC):
// none of them may reach the terminal raw, whatever the locale says, while
// the locale's letters do.
TEST_P(TextMaskTerminal, InAnEightBitLocaleNoC1ByteReachesTheTerminal) {
  const BuiltLocale koi8r("ru_RU", "KOI8-R", "ru_RU.KOI8-R");
  ASSERT_TRUE(koi8r.Built()) << koi8r.Report();
  locale = koi8r.Environment();
  std::string c1, c1Shown;
  for (int byte = 0x80; byte < 0xa0; ++byte) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "<%02X>", byte);
    c1 += static_cast<char>(byte);
    c1Shown += hex;
  }
  // "Privet" in KOI8-R, 0xC0 and up.
  const std::string letters = "\xf0\xd2\xc9\xd7\xc5\xd4";
  const std::vector<Row> rows{{"\x9b"
                               "2J\x9d"
                               "0;T\x9c " +
                                   letters,
                               ""},
                              {c1 + " end", ""}};
  ASSERT_NO_FATAL_FAILURE(Start({"--on-message"}, rows));
  const std::string copy = koi8r.Path() + "/terminal";
  terminal->CopyOutputTo(copy);
  terminal->TypeLine("go");

  std::string written;
  const auto deadline = std::chrono::steady_clock::now() + ChildProcess::kDefaultTimeout;
  while (ScreenModel::WithoutSgr(written).find(c1Shown + " end") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream file(copy, std::ios::binary);
    written.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  const std::string shown = ScreenModel::WithoutSgr(written);
  EXPECT_NE(shown.find("<9B>2J<9D>0;T<9C> " + letters), std::string::npos) << shown;
  EXPECT_NE(shown.find(c1Shown + " end"), std::string::npos) << shown;
  for (std::size_t i = 0; i < written.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(written[i]);
    EXPECT_FALSE(byte >= 0x80 && byte < 0xa0) << "a raw C1 byte at " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRoad, TextMaskTerminal,
                         testing::Values(Way{Road::Editor, false}, Way{Road::Editor, true},
                                         Way{Road::Piped, false}, Way{Road::Piped, true}),
                         Name);

// Any local process can name a pipe, controls and all. Tab lists such
// names and completes one without the terminal obeying them, and what is
// connected to is the name chosen.
TEST(TextMaskNames, PipeNamesWithControlsShowMaskedWhenTabListsThem) {
  if (TmuxTerminal::Program().empty())
    GTEST_SKIP() << "tmux is not installed";
  const std::string stem = TestServer::UniqueName();
  TestServer title({}, stem + "\x1b]2;owned\a");
  TestServer clear({}, stem + "\x1b[2J");
  TmuxTerminal terminal(testprograms::TerminalClient("LC_ALL=C.UTF-8 exec \"$@\""), kColumns,
                        kRows);
  terminal.SetOption("allow-rename", "on");
  terminal.RenameWindow("operator");
  ASSERT_TRUE(terminal.WaitForInput("$", 2));
  const std::string before = terminal.Format(kTerminalState);
  terminal.TypeLine("connect " + stem);
  const std::vector<std::string> failed{"$ connect " + stem,
                                        "ERROR Cannot connect to named pipe: " + stem};
  ASSERT_TRUE(terminal.WaitForScreen({failed[0], failed[1], "$"}, 2));

  terminal.Type("connect " + stem);
  terminal.Press({"Tab"});
  const std::string common = "$ connect " + stem + "^[";
  ASSERT_TRUE(terminal.WaitForInput(common, static_cast<int>(common.size())));
  terminal.Press({"Tab"});
  // Each column as wide as the widest name shows, and two blanks.
  const std::string listed = stem + "^[[2J" + std::string(9, ' ') + stem + "^[]2;owned^G";
  ASSERT_TRUE(terminal.WaitForScreen({failed[0], failed[1], listed, common},
                                     static_cast<int>(common.size())));
  EXPECT_EQ(terminal.Format(kTerminalState), before);

  terminal.Type("]");
  terminal.Press({"Tab"});
  const std::string completed = "$ connect " + stem + "^[]2;owned^G";
  ASSERT_TRUE(terminal.WaitForInput(completed, static_cast<int>(completed.size()) + 1));
  terminal.Press({"Enter"});
  EXPECT_TRUE(
      terminal.WaitForScreen({failed[0], failed[1], listed, completed, "OK Connected", "$"}, 2));
  EXPECT_TRUE(title.WaitForLog("connect 1"));
  EXPECT_EQ(clear.CountLog("connect"), 0u);
  EXPECT_EQ(terminal.Format(kTerminalState), before);
}

// A name the shell echoes in a reply shows its controls too.
TEST(TextMaskNames, ANameInAReplyShowsItsControls) {
  if (TmuxTerminal::Program().empty())
    GTEST_SKIP() << "tmux is not installed";
  TmuxTerminal terminal(
      testprograms::TerminalClient(
          "{ printf 'connect no\\033]2;owned\\007such\\033[2J\\n'; exec cat; } | \"$@\""),
      kColumns, kRows);
  terminal.SetOption("allow-rename", "on");
  terminal.RenameWindow("operator");
  const std::string before = terminal.Format(kTerminalState);
  // Plain output: the reply is written behind the prompt.
  EXPECT_TRUE(terminal.WaitForRow("$ ERROR Cannot connect to named pipe: no^[]2;owned^Gsuch^[[2J"));
  EXPECT_EQ(terminal.Format(kTerminalState), before);
}

} // namespace
