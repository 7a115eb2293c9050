// The mask on a Windows console whose output code page has characters of
// two bytes: Wine gives a program in a Japanese locale code page 932
// (Shift JIS), and writes what the console shows to the terminal as UTF-8.
#include "BuiltLocale.h"
#include "TestPrograms.h"
#include "TestServer.h"
#include "TmuxTerminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A message as the server sends it (with --send's escapes) and as the
// operator must see it.
struct Row {
  std::string sent;
  std::string shown;
};

TEST(TextMaskCodePage932, ALeadByteAndItsTrailAreOneCharacterOfText) {
  if (TmuxTerminal::Program().empty())
    GTEST_SKIP() << "tmux is not installed";
  const BuiltLocale japanese("ja_JP", "UTF-8", "ja_JP.UTF-8");
  ASSERT_TRUE(japanese.Built()) << japanese.Report();
  const std::vector<Row> rows{
      // Nihon; a trail byte of 0x7B, '{' on its own.
      {"A \\x93\\xfa\\x96\\x7b", "A \xe6\x97\xa5\xe6\x9c\xac"},
      // Hyou, whose trail byte is a backslash; a half-width katakana A.
      {"B \\x95\\x5c \\xb1", "B \xe8\xa1\xa8 \xef\xbd\xb1"},
      // A lead byte without a trail: masked, and what follows it judged
      // on its own.
      {"C \\x93\\x1b[2J \\x93 x", "C <93>^[[2J <93> x"},
      {"D \\x1b[31m\\x93\\xfa\\x1b[0m end \\x93", "D \xe6\x97\xa5 end <93>"},
  };
  std::vector<std::string> options{"--on-message"};
  for (const Row &row : rows) {
    options.push_back("--send");
    options.push_back(row.sent + "\\n");
  }
  TestServer server(options);
  TmuxTerminal terminal(testprograms::TerminalClient(japanese.Environment() + " exec \"$@\""), 100,
                        20);
  ASSERT_TRUE(terminal.Connect(server.Name()));
  terminal.TypeLine("go");
  std::vector<std::string> shown{"$ connect " + server.Name(), "OK Connected", "$ go"};
  for (const Row &row : rows)
    shown.push_back(row.shown);
  shown.push_back("$");
  EXPECT_TRUE(terminal.WaitForScreen(shown, 2));
}

} // namespace
