// The toolkit's screen model, which the line editor's, the mask's and the
// fuzzers' checks stand on: it must refuse what a terminal would not take
// as text or colour, and paint what it does take as a terminal would.
#include "ScreenModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
bool Latin1(unsigned char byte) { return byte >= 0xa0; }
bool Lead(unsigned char byte) { return byte >= 0x81 && byte <= 0x9f; }
bool Pair(unsigned char, unsigned char trail) { return trail >= 0x40; }

TEST(ScreenModel, TakesTextAndItsSequencesAndNotesAnythingElse) {
  const ScreenModel::Sequences editor = ScreenModel::Sequences::Editor,
                               sgr = ScreenModel::Sequences::Sgr,
                               none = ScreenModel::Sequences::None;
  const struct {
    std::string bytes;
    ScreenModel::Sequences sequences;
    ScreenModel::Encoding encoding;
    bool taken;
  } cases[] = {
      {"text\r\n\ttab \xc3\xbc\xe6\x97\xa5", none, {}, true},
      {"\x1b[1;38;5;100;48:2::1:2:3mcolour\x1b[m\x1b[39;49m", sgr, {}, true},
      {"\x1b[K\x1b[J\x1b[2J\x1b[3C\x1b[2D\x1b[A\x1b[H\x1b"
       "7\x1b"
       "8\x1b"
       "D\x1b"
       "M",
       editor,
       {},
       true},
      {"\x1b[K", sgr, {}, false},
      {"\x1b[1m", none, {}, false},
      {"\x1b[2K", editor, {}, false},
      {"\x1b]2;title\a", editor, {}, false},
      {"\x1b[?25l", editor, {}, false},
      {"\x1b[11mfont", sgr, {}, false},
      {"\x1b[1;2;3;4;5;6;7;8;9;1;2;3;4;5;6;7m", sgr, {}, true},
      {"\x1b[1;2;3;4;5;6;7;8;9;1;2;3;4;5;6;7;8m", sgr, {}, false},
      {"bell\a", sgr, {}, false},
      {"del\x7f", sgr, {}, false},
      {"c1 \xc2\x9b", sgr, {}, false},
      {"overlong \xc0\xaf", sgr, {}, false},
      {"surrogate \xed\xa0\x80", sgr, {}, false},
      {"cut \xe6\x97", sgr, {}, false},
      {"latin \xe9", sgr, {Latin1}, true},
      {"latin c1 \x9b", sgr, {Latin1}, false},
      {"pair \x93\xfa", sgr, {nullptr, Lead, Pair}, true},
      {"lead alone \x93", sgr, {nullptr, Lead, Pair}, false},
      {"lead before no trail \x93\x1b", sgr, {nullptr, Lead, Pair}, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bytes);
    ScreenModel screen(40, 4, c.sequences, c.encoding);
    std::string shown, reversed, problem;
    EXPECT_EQ(screen.Read(c.bytes.data(), c.bytes.size(), shown, reversed, problem), c.taken)
        << problem;
    EXPECT_EQ(problem.empty(), c.taken);
    EXPECT_EQ(screen.Unknown().empty(), c.taken);
  }
}

TEST(ScreenModel, KeepsEachCellsAttributesAsTheSgrsSetThem) {
  ScreenModel screen(40, 3);
  screen.Feed("a\x1b[1;32mb\x1b[22mc\x1b[7md\x1b[27m\x1b[39me \x1b[44m \x1b[0m\r\n");
  screen.Feed("\x1b[38;5;100mx\x1b[4m\x1b[24my\x1b[0mz\xe6\x97");
  screen.Feed("\xa5\x1b[7m");
  EXPECT_EQ(screen.PaintedRows(), (std::vector<std::string>{"a{1;32:b}{32:c}{7;32:d}e {44: }",
                                                            "{38;5;100:xy}z\xe6\x97\xa5", ""}));
  EXPECT_EQ(screen.Rows(), (std::vector<std::string>{"abcde", "xyz\xe6\x97\xa5", ""}));
  EXPECT_EQ(screen.Coloured(), "bcd xy");
  EXPECT_FALSE(screen.AtDefault());
  EXPECT_TRUE(screen.Unknown().empty()) << screen.Unknown().front();
  screen.Restart();
  EXPECT_TRUE(screen.AtDefault());
  EXPECT_EQ(screen.Rows(), (std::vector<std::string>{"", "", ""}));
}

TEST(ScreenModel, ReadShowsTheTextWithItsReverseVideo) {
  ScreenModel screen(10, 2, ScreenModel::Sequences::Sgr);
  std::string shown, reversed, problem;
  const std::string bytes = "ab\x1b[7m^G\x1b[27mc\n";
  ASSERT_TRUE(screen.Read(bytes.data(), bytes.size(), shown, reversed, problem)) << problem;
  EXPECT_EQ(shown, "ab^Gc\n");
  EXPECT_EQ(reversed, std::string("\0\0\1\1\0\0", 6));
  EXPECT_EQ(ScreenModel::WithoutSgr(bytes + "\x1b[5n"), "ab^Gc\n\x1b[5n");
}
} // namespace
