// The shell's output on the line editor's compositor: where each kind of
// run the receiver hands on is placed, against a model of a VT screen.
#include "EditorConsole.h"
#include "LineEditor.h"
#include "ReceivedPieces.h"
#include "ScreenCompositor.h"
#include "ScriptedTerminal.h"
#include "TextMask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using namespace receivedpieces;
TEST(EditorConsoleTest, PiecesStartRowsAndStreamsAndPartsGoOnWhereTheTextStopped) {
  ScriptedTerminal terminal(40, 8);
  ScreenCompositor screen(terminal);
  EditorConsole console(screen);
  EXPECT_TRUE(Show(console, {Whole("a"), Whole("b\n")}));
  EXPECT_TRUE(Show(console, {Read("one ")}));
  EXPECT_TRUE(Show(console, {Read("two")}));
  EXPECT_TRUE(Show(console, {First("long ")}));
  EXPECT_TRUE(Show(console, {Last("piece")}));
  EXPECT_TRUE(console.Reply("OK Connection closed\n", 21));

  const std::string picture = terminal.screen.Picture();
  EXPECT_EQ(terminal.screen.Row(0), "a") << picture;
  EXPECT_EQ(terminal.screen.Row(1), "b") << picture;
  EXPECT_EQ(terminal.screen.Row(2), "one two") << picture;
  EXPECT_EQ(terminal.screen.Row(3), "long piece") << picture;
  EXPECT_EQ(terminal.screen.Row(4), "OK Connection closed") << picture;
  // The two pieces of one read went out in one write.
  ASSERT_FALSE(terminal.writes.empty());
  EXPECT_NE(terminal.writes[0].find('b'), std::string::npos) << terminal.writes[0];
}
class NoCompletion : public Completer {
public:
  std::vector<std::string> Candidates(const std::string &, const std::string &) override {
    return {};
  }
};

// On a terminal the server's text is masked: its colours stay on its own
// text, across a stream's reads too, its other sequences show as text, and
// the prompt and the typed line keep the terminal's own attributes.
TEST(EditorConsoleTest, AMaskedServerKeepsItsColoursToItselfAndDrivesNothing) {
  ScriptedTerminal terminal(40, 8);
  ScreenCompositor screen(terminal);
  NoCompletion completer;
  LineEditor editor(terminal, screen, completer, "$ ");
  TextMask mask(true, nullptr, TextMask::KeepColours);
  EditorConsole console(screen, &mask);
  const auto read = [&](const std::string &bytes) {
    terminal.During([&console, bytes] { Show(console, {Read(bytes)}); });
  };
  ASSERT_TRUE(editor.Start());
  terminal.Type("typ");
  // An SGR cut between two reads, a clear-screen and a title in the text.
  read("\x1b[3");
  read("1mred");
  terminal.Type("ed");
  read(" still\x1b[2J\x1b]2;t\x07\n");
  terminal.Type("\r");
  std::string line;
  EXPECT_EQ(editor.ReadLine(line), LineEditor::GotLine);
  EXPECT_EQ(line, "typed");
  editor.Stop();

  const std::string picture = terminal.screen.Picture();
  EXPECT_EQ(terminal.screen.Row(0), "red still^[[2J^[]2;t^G") << picture;
  EXPECT_EQ(terminal.screen.Row(1), "$ typed") << picture;
  // In colour: the server's text and the masked bytes (reverse video),
  // nothing of the prompt or the line.
  EXPECT_EQ(terminal.screen.Coloured(), "red still^[[2J^[]2;t^G");
  EXPECT_TRUE(terminal.screen.Unknown().empty()) << terminal.screen.Unknown().front();
}

// A piece of many masked bytes reaches the terminal in writes that stay
// within the 64 KiB the client holds, and the input row is drawn between
// them in the terminal's own attributes.
TEST(EditorConsoleTest, AMaskedPieceTakesBoundedWritesAndLeavesTheRowUncoloured) {
  ScriptedTerminal terminal(80, 8);
  ScreenCompositor screen(terminal);
  NoCompletion completer;
  LineEditor editor(terminal, screen, completer, "$ ");
  TextMask mask(true, nullptr, TextMask::KeepColours);
  EditorConsole console(screen, &mask);
  std::string piece = "\x1b[31m";
  while (piece.size() < 40 * 1024)
    piece += "\ax";
  piece += "\n";
  ASSERT_TRUE(editor.Start());
  terminal.Type("typ");
  terminal.During([&] { Show(console, {Whole(piece), Whole("last\n")}); });
  terminal.Type("\r");
  std::string line;
  EXPECT_EQ(editor.ReadLine(line), LineEditor::GotLine);
  editor.Stop();

  std::size_t total = 0;
  for (const std::string &write : terminal.writes) {
    EXPECT_LE(write.size(), 64u * 1024);
    total += write.size();
  }
  EXPECT_LE(total, 16 * piece.size());
  const std::string picture = terminal.screen.Picture();
  const std::vector<std::string> rows = terminal.screen.Rows();
  ASSERT_GE(rows.size(), 3u) << picture;
  EXPECT_EQ(rows[rows.size() - 3], "last") << picture;
  EXPECT_EQ(rows[rows.size() - 2], "$ typ") << picture;
  EXPECT_EQ(terminal.screen.Coloured().find('$'), std::string::npos)
      << "the prompt was drawn in the server's colour";
  EXPECT_TRUE(terminal.screen.Unknown().empty()) << terminal.screen.Unknown().front();
}
} // namespace
