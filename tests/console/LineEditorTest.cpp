// The line editor's keys, history, search and completion, with scripted
// keys against a model of a VT screen.
#include "EditorFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
class LineEditorTest : public EditorFixture {};

TEST_F(LineEditorTest, EditingKeysChangeTheLineAtTheCursor) {
  EXPECT_EQ(Edit("hello"), "hello");
  EXPECT_EQ(Edit("ac" + left + "b"), "abc");
  EXPECT_EQ(Edit("bc" + home + "a" + end + "d"), "abcd");
  EXPECT_EQ(Edit("bc" + Ctrl('A') + "a" + Ctrl('E') + "d"), "abcd");
  EXPECT_EQ(Edit("ac" + Ctrl('B') + "b" + Ctrl('F') + "d"), "abcd");
  EXPECT_EQ(Edit("abcd" + left + left + "\x7f"), "acd");
  EXPECT_EQ(Edit("abcd" + left + left + del), "abd");
  EXPECT_EQ(Edit("abcd" + left + left + Ctrl('D')), "abd");
  EXPECT_EQ(Edit("abcd" + left + Ctrl('U')), "d");
  EXPECT_EQ(Edit("abcd" + left + left + Ctrl('K')), "ab");
  // At the edges the keys do nothing and lose nothing.
  EXPECT_EQ(Edit("ab" + right + right + Ctrl('D') + del + home + "\x7f" + left), "ab");
}

TEST_F(LineEditorTest, WordKeysStopAtWordEdges) {
  EXPECT_EQ(Edit("send to pipe" + Ctrl('W')), "send to ");
  EXPECT_EQ(Edit("send to   " + Ctrl('W')), "send ");
  EXPECT_EQ(Edit("one two three" + ctrlLeft + "x"), "one two xthree");
  EXPECT_EQ(Edit("one two three" + ctrlLeft + ctrlLeft +
                 "\x1b"
                 "b" +
                 "x"),
            "xone two three");
  EXPECT_EQ(Edit("one two three" + home + ctrlRight + "x"), "onex two three");
  EXPECT_EQ(Edit("one, two" + home +
                 "\x1b"
                 "f" +
                 "\x1b"
                 "f" +
                 "!"),
            "one, two!");
}

TEST_F(LineEditorTest, EnterSendsNoEditingBytes) {
  // The keys that went to the server in plain mode.
  const std::string line = Edit("abc" + up + left + "x" + "\x1b[15~" + "\x1bOP" + "\x1b[200~");
  EXPECT_EQ(line.find('\x1b'), std::string::npos);
  EXPECT_EQ(Edit("abc" + left + "x" + "\x1b[5~"), "abxc");
}

TEST_F(LineEditorTest, CtrlDOnAnEmptyLineEndsTheInputAndLeavesAFreshRow) {
  terminal.Type("ab" + Ctrl('U') + Ctrl('D'));
  std::string line;
  EXPECT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
  EXPECT_EQ(terminal.screen.CursorColumn(), 0);
  EXPECT_EQ(terminal.screen.Row(terminal.screen.CursorRow() - 1), "$");
  EXPECT_EQ(CursorRow(), "");
}

TEST_F(LineEditorTest, CtrlCAbandonsALineAndOnAnEmptyOneEndsTheInput) {
  terminal.Type("dropped" + Ctrl('C') + "kept\r" + Ctrl('C'));
  EXPECT_EQ(Line(), "kept");
  std::string line;
  EXPECT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
  EXPECT_EQ(terminal.screen.Row(0), "$ dropped^C") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "$ kept") << Picture();
}

TEST_F(LineEditorTest, SignalAndLostInputEndTheInput) {
  terminal.Type("half");
  terminal.Then(Terminal::Event::Terminated);
  std::string line;
  EXPECT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
  EXPECT_EQ(CursorRow(), "");
  terminal.Then(Terminal::Event::EndOfInput);
  EXPECT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
}

TEST_F(LineEditorTest, FailedOutputEndsReading) {
  terminal.Type("a");
  terminal.FailOutput();
  terminal.Type("b\r");
  std::string line;
  EXPECT_EQ(editor.ReadLine(line), LineEditor::OutputFailed);
  // Reading ends at once, not at the end of the script.
  terminal.Type("next\r");
  EXPECT_EQ(editor.ReadLine(line), LineEditor::OutputFailed);
}

TEST_F(LineEditorTest, HistoryKeepsEnteredLinesOnceAndRestoresTheNewLine) {
  Edit("first");
  Edit("second");
  Edit("second");
  Edit("   ");
  Edit("");
  EXPECT_EQ(Edit(up), "second");
  EXPECT_EQ(Edit(up + up), "first");
  // Past the oldest line Up stays; Down comes back to what was typed.
  EXPECT_EQ(Edit(up + up + up + up + up), "first");
  EXPECT_EQ(Edit("draft" + up + up + down + down), "draft");
  // History now: first, second, first, draft.
  EXPECT_EQ(Edit(Ctrl('P') + Ctrl('P') + Ctrl('P') + Ctrl('N')), "first");
  // An entry edited and entered is a new line; the old one stays as it was.
  EXPECT_EQ(Edit(up + "!"), "first!");
  EXPECT_EQ(Edit(up + up), "first");
}

TEST_F(LineEditorTest, ReverseSearchFindsNewestFirstAndCtrlRStepsOlder) {
  Edit("connect alpha");
  Edit("hello");
  Edit("connect beta");
  EXPECT_EQ(Edit(Ctrl('R') + "conn"), "connect beta");
  EXPECT_EQ(Edit(Ctrl('R') + "conn" + Ctrl('R')), "connect alpha");
  // No older match: the search stays on the last one and says it failed.
  terminal.Type(Ctrl('R') + "conn" + Ctrl('R') + Ctrl('R'));
  terminal.Type("\r");
  EXPECT_EQ(Line(), "connect alpha");
  EXPECT_EQ(Edit(Ctrl('R') + "ell"), "hello");
  // Another key leaves the search with the line found, the cursor on the
  // match.
  EXPECT_EQ(Edit(Ctrl('R') + "ell" + right + "X"), "heXllo");
  // Ctrl-G gives back the line as it was.
  EXPECT_EQ(Edit("draft" + Ctrl('R') + "conn" + Ctrl('G')), "draft");
  // A longer query goes on from the shorter one's match, and finds its
  // own first match in the line.
  EXPECT_EQ(Edit("xa xab xabc"), "xa xab xabc");
  EXPECT_EQ(Edit(Ctrl('R') + "abc" + right + "X"), "xa xab xaXbc");
  EXPECT_EQ(Edit(Ctrl('R') + "xab" + right + "Y"), "xa xYab xaXbc");
  // Backspace widens the search again, newest first.
  EXPECT_EQ(Edit(Ctrl('R') + "alpha" + "\x7f\x7f\x7f\x7f\x7f" + "h"), "heXllo");
}

TEST_F(LineEditorTest, ReverseSearchShowsItsPromptAndFailure) {
  Edit("hello");
  terminal.Type(Ctrl('R') + "hel");
  terminal.Receive("");
  terminal.Type("x");
  terminal.Receive("tick\n");
  terminal.Type(Ctrl('G'));
  terminal.Receive("tock\n");
  terminal.Type("\r");
  EXPECT_EQ(Line(), "");
  EXPECT_EQ(terminal.screen.Row(1), "tick") << Picture();
  EXPECT_EQ(terminal.screen.Row(2), "tock") << Picture();
  // The search prompts were shown on the input row and gave way to it.
  bool searched = false, failed = false;
  for (const std::string &write : terminal.writes) {
    searched = searched || write.find("(reverse-i-search)`hel': hello") != std::string::npos;
    failed = failed || write.find("(failed reverse-i-search)`helx': hello") != std::string::npos;
  }
  EXPECT_TRUE(searched);
  EXPECT_TRUE(failed);
  EXPECT_EQ(terminal.screen.Row(3), "$") << Picture();
}

TEST_F(LineEditorTest, TabCompletesOneCandidateWithABlank) {
  completer.words = {"connect", "close", "exit"};
  EXPECT_EQ(Edit("ex\t"), "exit ");
  EXPECT_EQ(completer.asked.back(), "|ex");
  completer.words = {"demo"};
  EXPECT_EQ(Edit("connect -c d\t"), "connect -c demo ");
  EXPECT_EQ(completer.asked.back(), "connect -c |d");
  // In the middle of a line only the word before the cursor is replaced.
  EXPECT_EQ(Edit("connect d tail" + left + left + left + left + left + "\t"), "connect demo  tail");
}

TEST_F(LineEditorTest, TabCompletesACommonPrefixAndASecondTabLists) {
  completer.words = {"pipe-alpha", "pipe-beta", "pipe-gamma", "other"};
  EXPECT_EQ(Edit("connect p\t"), "connect pipe-");
  const std::size_t before = terminal.writes.size();
  terminal.Type("connect pipe-\t\t");
  terminal.Type(Ctrl('U') + "\r");
  EXPECT_EQ(Line(), "");
  // The candidates were listed above the prompt, which came back below.
  std::string listed;
  for (std::size_t i = before; i < terminal.writes.size(); ++i)
    listed += terminal.writes[i];
  EXPECT_NE(listed.find("pipe-alpha  pipe-beta   pipe-gamma\n"), std::string::npos) << Picture();
  const int row = terminal.screen.CursorRow();
  EXPECT_EQ(terminal.screen.Row(row - 2), "pipe-alpha  pipe-beta   pipe-gamma") << Picture();
  EXPECT_EQ(terminal.screen.Row(row - 1), "$") << Picture();
  // No candidate: nothing changes.
  EXPECT_EQ(Edit("connect zz\t\t"), "connect zz");
  // A key between two Tabs makes the next Tab a first one again.
  const std::size_t writesBefore = terminal.writes.size();
  EXPECT_EQ(Edit("connect pipe-\tx\x7f\t"), "connect pipe-");
  for (std::size_t i = writesBefore; i < terminal.writes.size(); ++i)
    EXPECT_EQ(terminal.writes[i].find("pipe-alpha"), std::string::npos);
}

// Any local process may name a pipe: Tab shows the controls of a name in
// the mask's notation, in the listing and in the line, and the line sent
// holds the name's own bytes.
TEST_F(LineEditorTest, NamesWithControlsAreShownMaskedAndSentAsTheyAre) {
  const TextMask mask(true, nullptr, TextMask::KeepColours);
  editor.QuoteNamesWith(&mask);
  completer.words = {"p\x1b]2;owned\x07", "p\x1b[2J"};
  const std::size_t before = terminal.writes.size();
  terminal.Type("connect p\t\t" + Ctrl('U') + "\r");
  EXPECT_EQ(Line(), "");
  std::string listed;
  for (std::size_t i = before; i < terminal.writes.size(); ++i)
    listed += terminal.writes[i];
  // Each column as wide as what shows of the widest name.
  EXPECT_NE(listed.find("p\x1b[7m^[\x1b[27m]2;owned\x1b[7m^G\x1b[27m  p\x1b[7m^[\x1b[27m[2J\n"),
            std::string::npos)
      << listed;
  EXPECT_EQ(terminal.screen.Row(terminal.screen.CursorRow() - 2), "p^[]2;owned^G  p^[[2J")
      << Picture();

  EXPECT_EQ(Edit("connect p\t[\t"), "connect p\x1b[2J ");
  EXPECT_EQ(terminal.screen.Row(terminal.screen.CursorRow() - 1), "$ connect p^[[2J") << Picture();
  EXPECT_EQ(terminal.screen.Coloured().find_first_not_of("^[G"), std::string::npos)
      << "only the notation is in reverse video: " << terminal.screen.Coloured();
  EXPECT_EQ(terminal.screen.CursorColumn(), 0);
}

TEST_F(LineEditorTest, ListingFillsColumnsDownFirst) {
  completer.words = {"a1", "a2",  "a3",  "a4",  "a5",  "a6",  "a7",  "a8",
                     "a9", "a10", "a11", "a12", "a13", "a14", "a15", "a16"};
  terminal.Type("a\t\t" + Ctrl('U') + "\r");
  EXPECT_EQ(Line(), "");
  // Cells of the widest name and two blanks, as many as fit in the 39
  // columns before the last: 7 a row, so 3 rows.
  std::string listed;
  for (const std::string &write : terminal.writes)
    listed += write;
  EXPECT_NE(listed.find("a1   a4   a7   a10  a13  a16\n"
                        "a2   a5   a8   a11  a14\n"
                        "a3   a6   a9   a12  a15\n"),
            std::string::npos)
      << listed;
}

TEST_F(LineEditorTest, PastedLinesAreEnteredOneByOneWithTheirTabs) {
  terminal.Type("\x1b[200~one\ttwo\r\nthree\x1b[A\n\x03"
                "four\x1b[201~\r");
  EXPECT_EQ(Line(), "one\ttwo");
  EXPECT_EQ(Line(), "three[A");
  EXPECT_EQ(Line(), "four");
}

TEST_F(LineEditorTest, ACharacterIsEditedWholeAndWideOnesTakeTwoColumns) {
  EXPECT_EQ(Edit("gr\xc3\xbc\xc3\x9f"
                 "e\x7f\x7f"),
            "gr\xc3\xbc");
  terminal.Type("\xe6\x97\xa5\xe6\x9c\xac"
                "x" +
                left);
  terminal.Receive("");
  terminal.Type(left + left + "a");
  terminal.Receive("note\n");
  terminal.Type("\r");
  EXPECT_EQ(Line(), "a\xe6\x97\xa5\xe6\x9c\xacx");
  // "$ " and a before two wide characters: the cursor stood at column 3.
  EXPECT_EQ(terminal.screen.Row(1), "note") << Picture();
  EXPECT_EQ(terminal.screen.Row(2), "$ a\xe6\x97\xa5\xe6\x9c\xacx") << Picture();
}

TEST_F(LineEditorTest, CursorColumnCountsWideCharacters) {
  terminal.Type("\xe6\x97\xa5\xe6\x9c\xac"
                "x" +
                left);
  terminal.Receive("note\n");
  std::string line;
  ASSERT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
  EXPECT_EQ(terminal.screen.Row(1), "$ \xe6\x97\xa5\xe6\x9c\xacx") << Picture();
  EXPECT_EQ(terminal.screen.Row(0), "note") << Picture();
  // The row was redrawn below the note, cursor on the x (column 6).
  const std::string &last = terminal.writes[terminal.writes.size() - 2];
  EXPECT_EQ(last.substr(last.size() - 5), "\r\x1b[6C") << Picture();
}

TEST_F(LineEditorTest, ALongLineScrollsWithTheCursorAlwaysInView) {
  std::string typed;
  for (int i = 0; i < 300; ++i)
    typed += static_cast<char>('a' + i % 26);
  terminal.Type(typed);
  terminal.Receive("");
  terminal.Type(home);
  terminal.Receive("x\n");
  terminal.Type(end + "\r");
  EXPECT_EQ(Line(), typed);
  // After Home the row began with the line's start, within the width.
  EXPECT_EQ(terminal.screen.Row(0), "x") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "$ " + typed.substr(typed.size() - 36)) << Picture();
  for (const std::string &write : terminal.writes)
    EXPECT_EQ(write.find("$ " + typed.substr(0, 40)), std::string::npos);
  bool startShown = false;
  for (const std::string &write : terminal.writes)
    startShown = startShown ||
                 write.find("$ " + typed.substr(0, 37) + "\x1b[K\r\x1b[2C") != std::string::npos;
  EXPECT_TRUE(startShown);
}

TEST_F(LineEditorTest, ScrollingBackKeepsTextBeforeTheCursorInView) {
  std::string typed(100, 'a');
  typed += "XYZ";
  typed += std::string(100, 'b');
  terminal.Type(typed + home);
  for (int i = 0; i < 103; ++i)
    terminal.Type(right);
  for (int i = 0; i < 60; ++i)
    terminal.Type(right);
  for (int i = 0; i < 60; ++i)
    terminal.Type(left);
  terminal.Type("\r");
  EXPECT_EQ(Line(), typed);
  // Going left past the window's start shows half a row before the cursor.
  const std::string &back = terminal.writes[terminal.writes.size() - 2];
  EXPECT_NE(back.find("aXYZ"), std::string::npos) << back;
}

TEST_F(LineEditorTest, ALongLineIsRecalledAndSearchedWithItsWindowAtTheCursor) {
  std::string half;
  for (int i = 0; i < 50000; ++i)
    half += static_cast<char>('a' + i % 26);
  const std::string line = half + "NEEDLE" + half;
  EXPECT_EQ(Edit(line), line);
  EXPECT_EQ(Edit("short"), "short");
  // Up twice: the row shows the line's end, the cursor behind it.
  terminal.Type(up + up);
  terminal.Receive("");
  terminal.Type("\r");
  EXPECT_EQ(Line(), line);
  EXPECT_EQ(terminal.screen.Row(terminal.screen.CursorRow() - 1),
            "$ " + line.substr(line.size() - 36))
      << Picture();
  // The search stands on the match, with the ten characters before it that
  // fit beside the search's prompt; the line it takes stays behind the
  // shell's prompt, its window where the search left it.
  terminal.Type(Ctrl('R') + "NEEDLE");
  terminal.Receive("");
  terminal.Type("\r");
  EXPECT_EQ(Line(), line);
  bool searchShown = false;
  for (const std::string &write : terminal.writes)
    searchShown = searchShown ||
                  write.find("(reverse-i-search)`NEEDLE': " + line.substr(49990, 11) + "\x1b[K") !=
                      std::string::npos;
  EXPECT_TRUE(searchShown);
  EXPECT_EQ(terminal.screen.Row(terminal.screen.CursorRow() - 1), "$ " + line.substr(49990, 37))
      << Picture();
}

TEST_F(LineEditorTest, CtrlLClearsTheScreenAndRedraws) {
  terminal.Receive("old\n");
  terminal.Type("ab" + Ctrl('L'));
  terminal.Receive("new\n");
  terminal.Type("\r");
  EXPECT_EQ(Line(), "ab");
  EXPECT_EQ(terminal.screen.Row(0), "new") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "$ ab") << Picture();
}

TEST_F(LineEditorTest, CtrlZSuspendsAndRedrawsOnReturn) {
  terminal.Type("half" + Ctrl('Z') + "\r");
  EXPECT_EQ(Line(), "half");
  EXPECT_EQ(terminal.suspensions, 1);
  EXPECT_EQ(terminal.screen.Row(0), "$ half") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "$ half") << Picture();
}

// A paste comes in one read: its keys change the line together and the
// row is drawn once, a finished line's row whole.
TEST_F(LineEditorTest, TheKeysOfOneReadAreDrawnOnceAndALineEndsWhole) {
  const std::size_t before = terminal.writes.size();
  terminal.Paste("first\rsecond half");
  terminal.Type("\r");
  EXPECT_EQ(Line(), "first");
  EXPECT_EQ(Line(), "second half");
  EXPECT_EQ(terminal.screen.Row(0), "$ first") << Picture();
  EXPECT_EQ(terminal.screen.Row(1), "$ second half") << Picture();
  // Per line: the prompt, the row once the read is applied, and its end.
  EXPECT_LE(terminal.writes.size() - before, 7u) << Picture();
}

// While the shell waits on something else (a write that a server does not
// take), keys are read ahead and kept; a Ctrl-C drops those before it, and
// a signal to end drops them all.
TEST_F(LineEditorTest, KeysReadAheadWaitForTheNextLineAndCtrlCDropsThoseBeforeIt) {
  terminal.Type("kept\r");
  EXPECT_TRUE(editor.ReadAhead(0));
  EXPECT_TRUE(editor.ReadAhead(0));
  EXPECT_EQ(Line(), "kept");

  terminal.Paste("dropped\rdropped too\r" + Ctrl('C') + "after\r");
  EXPECT_FALSE(editor.ReadAhead(0));
  EXPECT_EQ(Line(), "after");
  // A pasted Ctrl-C is no request to stop (a paste drops it).
  terminal.Paste("\x1b[200~a" + Ctrl('C') + "b\x1b[201~\r");
  EXPECT_TRUE(editor.ReadAhead(0));
  EXPECT_EQ(Line(), "ab");

  terminal.Type("never sent\r" + Ctrl('Z'));
  for (int i = 0; i < 12; ++i)
    EXPECT_TRUE(editor.ReadAhead(0));
  EXPECT_EQ(terminal.suspensions, 1);
  terminal.Then(Terminal::Event::Terminated);
  EXPECT_FALSE(editor.ReadAhead(0));
  std::string line;
  EXPECT_EQ(editor.ReadLine(line), LineEditor::EndOfInput);
}

} // namespace
