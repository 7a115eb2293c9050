// Output arriving while a line is typed goes above the input row, through
// the compositor, while the editor takes keys: scripted keys and received
// text against a model of a VT screen.
#include "EditorFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
class ScreenCompositorTest : public EditorFixture {
protected:
  // The rows, from the first, and the cursor's row and column.
  void ExpectScreen(const std::vector<std::string> &rows, int cursorColumn) {
    for (std::size_t i = 0; i < rows.size(); ++i)
      EXPECT_EQ(terminal.screen.Row(static_cast<int>(i)), rows[i]) << Picture();
    EXPECT_EQ(terminal.screen.CursorRow(), static_cast<int>(rows.size()) - 1) << Picture();
    EXPECT_EQ(terminal.screen.CursorColumn(), cursorColumn) << Picture();
    for (int r = static_cast<int>(rows.size()); r < 8; ++r)
      EXPECT_EQ(terminal.screen.Row(r), "") << Picture();
  }
  // Reads until the script ends and checks the line typed so far stayed.
  void Play() {
    std::string line;
    writesBefore = terminal.writes.size();
    EXPECT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
  }
  std::size_t writesBefore = 0;
};

TEST_F(ScreenCompositorTest, MessagesGoAboveTheLineWhichStaysWithItsCursor) {
  terminal.Type("hello wor" + left + left);
  terminal.Receive("tick 0\n");
  terminal.Receive("tick 1 is longer than the forty columns of the row\n");
  terminal.Type(right + right);
  terminal.Type("ld\r");
  EXPECT_EQ(Line(), "hello world");
  ExpectScreen(
      {"tick 0", "tick 1 is longer than the forty columns", "of the row", "$ hello world", ""}, 0);
}

TEST_F(ScreenCompositorTest, EachMessageIsOneWriteThatLeavesNoRemnants) {
  terminal.Type("a much longer line typed");
  terminal.Receive("short\n");
  std::string line;
  terminal.Type(Ctrl('U') + "x");
  terminal.Receive("z\n");
  ASSERT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
  ExpectScreen({"short", "z", "$ x", ""}, 0);
  std::size_t messageWrites = 0;
  for (const std::string &write : terminal.writes)
    messageWrites += write.find("short\n") != std::string::npos ? 1 : 0;
  EXPECT_EQ(messageWrites, 1u);
}

TEST_F(ScreenCompositorTest, TextWithoutALineFeedStaysAboveAndAStreamGoesOnThere) {
  terminal.Type("typed");
  terminal.Receive("one ", true);
  terminal.Receive("two", true);
  terminal.Type("!");
  terminal.Receive(" three\nfour", true);
  Play();
  ExpectScreen({"one two three", "four", "$ typed!", ""}, 0);
}

TEST_F(ScreenCompositorTest, AStreamTextThatFillsItsRowGoesOnBelowIt) {
  const std::string row(40, '=');
  terminal.Type("typed");
  terminal.Receive(row, true);
  terminal.Receive("next", true);
  terminal.Receive("\r", true);
  terminal.Receive("\n", true);
  terminal.Receive("text\r", true);
  terminal.Receive("TE", true);
  Play();
  ExpectScreen({row, "next", "TExt", "$ typed", ""}, 0);
}

TEST_F(ScreenCompositorTest, EveryMessagePieceStartsARowOfItsOwn) {
  terminal.Type("typed");
  terminal.Receive("a");
  terminal.Receive("b");
  terminal.Receive("");
  terminal.Receive("c\n");
  Play();
  ExpectScreen({"a", "b", "c", "$ typed", ""}, 0);
}

TEST_F(ScreenCompositorTest, ALongPieceShownInPartsReadsAsOneText) {
  terminal.Type("typed");
  terminal.Receive("first part, ");
  terminal.Receive("middle, ", true);
  terminal.Type("!");
  terminal.Receive("end", true);
  terminal.Receive("next");
  Play();
  ExpectScreen({"first part, middle, end", "next", "$ typed!", ""}, 0);
}

TEST_F(ScreenCompositorTest, ThePiecesOfOneReadShareOneWriteAndOneRedraw) {
  terminal.Type("typed");
  terminal.Receive("a", false, true);
  terminal.Receive("", false, true);
  terminal.Receive("b\n", false, true);
  terminal.Receive("one ", true, true);
  terminal.Receive("two", true);
  Play();
  ExpectScreen({"a", "b", "one two", "$ typed", ""}, 0);
  std::vector<std::string> shown;
  for (const std::string &write : terminal.writes) {
    for (const char *piece : {"a", "b\n", "one ", "two"}) {
      if (write.find(piece) != std::string::npos) {
        shown.push_back(write);
        break;
      }
    }
  }
  ASSERT_EQ(shown.size(), 1u) << "the pieces took several writes";
  EXPECT_EQ(shown[0].find("$ typed"), shown[0].rfind("$ typed")) << "the row was drawn twice";
}

TEST_F(ScreenCompositorTest, PendingPiecesGoOutBeforeAnythingElse) {
  terminal.Type("typed");
  terminal.Receive("a", false, true);
  terminal.Type("!");
  terminal.Receive("b", false, true);
  terminal.Receive("c");
  terminal.Type("\r");
  EXPECT_EQ(Line(), "typed!");
  ExpectScreen({"a", "b", "c", "$ typed!", ""}, 0);
  // Between lines, and then the editor stops: what is pending still shows.
  screen.ShowReceived("late\n", 5, false, true);
  editor.Stop();
  ExpectScreen({"a", "b", "c", "$ typed!", "late", ""}, 0);
}

TEST_F(ScreenCompositorTest, OutputAtTheBottomScrollsAndTheLineFollows) {
  terminal.Type("typed");
  for (int i = 0; i < 10; ++i)
    terminal.Receive("line " + std::to_string(i) + "\n");
  terminal.Receive("par", true);
  terminal.Receive("tial", true);
  Play();
  ExpectScreen({"line 5", "line 6", "line 7", "line 8", "line 9", "partial", "$ typed", ""}, 0);
}

TEST_F(ScreenCompositorTest, RepliesBetweenLinesComeBeforeTheNextPrompt) {
  terminal.Type("close\r");
  EXPECT_EQ(Line(), "close");
  screen.Write("OK Connection closed\n", 21);
  terminal.Receive("late\n");
  Play();
  ExpectScreen({"$ close", "OK Connection closed", "late", "$", ""}, 0);
}

TEST_F(ScreenCompositorTest, AResizeRedrawsTheLineAtTheNewWidth) {
  std::string typed(30, 'r');
  terminal.Receive("above\n");
  terminal.Type(typed);
  terminal.ResizeTo(20, 8);
  terminal.Type("s");
  terminal.Receive("after\n");
  terminal.Type("\r");
  EXPECT_EQ(Line(), typed + "s");
  // The reflowed row is gone whole; what was above it stays.
  EXPECT_EQ(terminal.screen.Row(0), "above") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "after") << Picture();
  EXPECT_EQ(terminal.screen.Row(2), "$ " + std::string(15, 'r') + "s") << Picture();
  EXPECT_EQ(terminal.screen.Row(3), "") << Picture();
}

TEST_F(ScreenCompositorTest, AResizeWithOutputPendingClearsTheReflowedRowFirst) {
  terminal.Type(std::string(30, 'r'));
  terminal.Receive("a", false, true);
  terminal.ResizeTo(20, 8);
  terminal.Receive("c");
  terminal.Type("\r");
  EXPECT_EQ(Line(), std::string(30, 'r'));
  EXPECT_EQ(terminal.screen.Row(0), "a") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "c") << Picture();
  EXPECT_EQ(terminal.screen.Row(2), "$ " + std::string(16, 'r')) << Picture();
  EXPECT_EQ(terminal.screen.Row(3), "") << Picture();
}

TEST_F(ScreenCompositorTest, ResumedFromOutsideTheLineIsDrawnAfreshBelow) {
  terminal.Type("ab");
  terminal.Meanwhile("\r\n[1]+ Stopped\r\nsh> fg\r\n");
  terminal.Then(Terminal::Event::Resumed);
  terminal.Type("c\r");
  EXPECT_EQ(Line(), "abc");
  EXPECT_EQ(terminal.screen.Row(0), "$ ab") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "[1]+ Stopped") << Picture();
  EXPECT_EQ(terminal.screen.Row(2), "sh> fg") << Picture();
  EXPECT_EQ(terminal.screen.Row(3), "$ abc") << Picture();
  EXPECT_EQ(terminal.screen.CursorRow(), 4) << Picture();
}

} // namespace
