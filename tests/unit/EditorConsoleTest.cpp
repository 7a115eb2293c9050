// The shell's output on the line editor's compositor: where each kind of
// run the receiver hands on is placed, against a model of a VT screen.
#include "EditorConsole.h"
#include "ScreenCompositor.h"
#include "console/ScriptedTerminal.h"

#include <gtest/gtest.h>

#include <string>

namespace {
TEST(EditorConsoleTest, PiecesStartRowsAndStreamsAndPartsGoOnWhereTheTextStopped) {
  ScriptedTerminal terminal(40, 8);
  ScreenCompositor screen(terminal);
  EditorConsole console(screen);
  const unsigned whole = EditorConsole::OpensPiece | EditorConsole::ClosesPiece;
  const unsigned stream = whole | EditorConsole::FromStream;

  EXPECT_TRUE(console.Show("a", 1, whole | EditorConsole::MoreFollows));
  EXPECT_TRUE(console.Show("b\n", 2, whole));
  EXPECT_TRUE(console.Show("one ", 4, stream));
  EXPECT_TRUE(console.Show("two", 3, stream));
  EXPECT_TRUE(console.Show("long ", 5, EditorConsole::OpensPiece));
  EXPECT_TRUE(console.Show("piece", 5, EditorConsole::ClosesPiece));
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
} // namespace
