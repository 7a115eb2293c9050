#include "TextMask.h"
#include "ScreenModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace {
using namespace std::string_literals;

// The encodings the rows run in: UTF-8; a single-byte one whose 0x80..0x9F
// are controls (as a POSIX locale's ISO 8859 charset); one whose every high
// byte is a character (as Windows code page 437, where 0x9B is a cent sign);
// a double-byte one shaped as Windows code page 932 (Shift JIS).
enum Mode { Utf8, Latin, AllHigh, ShiftJis };

bool LatinText(unsigned char b) { return b >= 0xa0; }
bool AnyText(unsigned char) { return true; }
// Shift JIS: 0xA1..0xDF are half-width katakana; the lead bytes take a
// trail byte of 0x40..0x7E or 0x80..0xFC.
bool KatakanaText(unsigned char b) { return b >= 0xa1 && b <= 0xdf; }
bool SjisLead(unsigned char b) { return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc); }
bool SjisPair(unsigned char, unsigned char trail) {
  return (trail >= 0x40 && trail <= 0x7e) || (trail >= 0x80 && trail <= 0xfc);
}

TextMask Make(Mode mode, TextMask::Colours colours = TextMask::KeepColours) {
  if (mode == Utf8)
    return TextMask(true, nullptr, colours);
  if (mode == ShiftJis)
    return TextMask(KatakanaText, SjisLead, SjisPair, colours);
  return TextMask(false, mode == Latin ? LatinText : AnyText, colours);
}

// Masked bytes as the mask shows them, set apart in reverse video: within
// the text, and at its end, where the End's reset ends the run.
std::string R(const std::string &notation) { return "\x1b[7m" + notation + "\x1b[27m"; }
std::string Rend(const std::string &notation) { return "\x1b[7m" + notation + "\x1b[0m"; }

std::string Show(TextMask &mask, const std::vector<std::string> &feeds) {
  std::string out;
  for (const std::string &bytes : feeds)
    mask.Feed(bytes.data(), bytes.size(), out);
  mask.End(out);
  return out;
}

std::string Show(Mode mode, const std::vector<std::string> &feeds,
                 TextMask::Colours colours = TextMask::KeepColours) {
  TextMask mask = Make(mode, colours);
  return Show(mask, feeds);
}

// A terminal in the mode's encoding that takes SGRs.
ScreenModel TerminalIn(Mode mode) {
  const ScreenModel::Encoding encodings[] = {
      {}, {LatinText}, {AnyText}, {KatakanaText, SjisLead, SjisPair}};
  return ScreenModel(80, 24, ScreenModel::Sequences::Sgr, encodings[mode]);
}

// The output drives the terminal no further than colours: every ESC starts
// an SGR that the input has or that is the mask's own, none that a terminal
// in the mode's encoding would not take (one that selects a font or is too
// long to be kept), and what is left between them is text.
::testing::AssertionResult IsSafe(const std::string &out, const std::string &in, Mode mode) {
  for (std::size_t i = out.find('\x1b'); i != std::string::npos; i = out.find('\x1b', i + 1)) {
    const std::string sequence = out.substr(i, ScreenModel::SgrLength(out, i));
    if (sequence != "\x1b[7m" && sequence != "\x1b[27m" && sequence != "\x1b[0m" &&
        !sequence.empty() && in.find(sequence) == std::string::npos)
      return ::testing::AssertionFailure() << "an SGR the server did not send at " << i;
  }
  std::string shown, reversed, problem;
  if (!TerminalIn(mode).Read(out.data(), out.size(), shown, reversed, problem))
    return ::testing::AssertionFailure() << problem;
  return ::testing::AssertionSuccess();
}

struct Row {
  const char *name;
  Mode mode;
  std::string in;
  std::string shown; // after End
};

// Sixteen parameters that pass, the first with leading zeros: ESC [ these
// m is 64 bytes.
const std::string longParameters = std::string(23, '0') + "1;2;3;4;5;6;7;8;9;21;22;23;24;25;27;29";

const std::vector<Row> rows = {
    {"ascii text", Utf8, "hello, world", "hello, world"},
    {"utf-8 of two bytes", Utf8, "caf\xc3\xa9", "caf\xc3\xa9"},
    {"utf-8 of three bytes", Utf8, "\xe2\x82\xac 5", "\xe2\x82\xac 5"},
    {"utf-8 of four bytes", Utf8, "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
    {"a wide character", Utf8, "\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac"},
    {"the edges of utf-8", Utf8, "\xc2\xa0\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf",
     "\xc2\xa0\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf"},
    {"lf, cr, tab", Utf8, "a\tb\r\nc\n", "a\tb\r\nc\n"},
    {"every other c0 control", Utf8,
     "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17"
     "\x18\x19\x1a\x1c\x1d\x1e\x1f"s,
     Rend("^@^A^B^C^D^E^F^G^H^K^L^N^O^P^Q^R^S^T^U^V^W^X^Y^Z^\\^]^^^_")},
    {"a control within text", Utf8, "ding\x07 dong", "ding" + R("^G") + " dong"},
    {"backspace over text", Utf8, "ab\b\bxy", "ab" + R("^H^H") + "xy"},
    {"del", Utf8, "a\x7f", "a" + Rend("^?")},
    {"a lone esc", Utf8, "\x1b", Rend("^[")},
    {"esc and a letter", Utf8, "\x1bx", R("^[") + "x"},
    {"esc [ alone", Utf8, "\x1b[", R("^[") + "["},
    {"esc [ cut in its parameters", Utf8, "\x1b[1;3", R("^[") + "[1;3"},
    {"csi erasing the screen", Utf8, "\x1b[2J", R("^[") + "[2J"},
    {"csi with a private marker", Utf8, "\x1b[?25l", R("^[") + "[?25l"},
    {"csi asking the version", Utf8, "\x1b[>q", R("^[") + "[>q"},
    {"csi asking the position", Utf8, "\x1b[6n", R("^[") + "[6n"},
    {"sgr parameters ending in no m", Utf8, "\x1b[38;5;1J", R("^[") + "[38;5;1J"},
    {"modifyOtherKeys, a private m", Utf8, "\x1b[>4;2m", R("^[") + "[>4;2m"},
    {"private markers before m", Utf8, "\x1b[?1m\x1b[<1m\x1b[=1m",
     R("^[") + "[?1m" + R("^[") + "[<1m" + R("^[") + "[=1m"},
    {"sgr with an intermediate", Utf8, "\x1b[1 m", R("^[") + "[1 m"},
    {"sgr cut by a control", Utf8, "\x1b[3\x07", R("^[") + "[3" + Rend("^G")},
    {"sgr cut by esc", Utf8, "\x1b[3\x1b[1m", R("^[") + "[3\x1b[1m\x1b[0m"},
    {"an sgr colour", Utf8, "\x1b[31mred", "\x1b[31mred\x1b[0m"},
    {"an sgr reset", Utf8, "\x1b[mplain", "\x1b[mplain\x1b[0m"},
    {"an sgr of subparameters", Utf8, "\x1b[1;38:2::255:0:0mx", "\x1b[1;38:2::255:0:0mx\x1b[0m"},
    {"an sgr of the longest", Utf8, "\x1b[" + longParameters + "m",
     "\x1b[" + longParameters + "m\x1b[0m"},
    {"an sgr one byte too long", Utf8, "\x1b[0" + longParameters + "m",
     R("^[") + "[0" + longParameters + "m"},
    // Only colours and text attributes pass; an SGR with any other
    // parameter is masked whole, as any other sequence.
    {"every attribute that passes", Utf8,
     "\x1b[0;1;2;3;4;5;6;7;8;9;21;22;23;24;25;26m\x1b[27;28;29;30;31;32;33;34;35;36;37;39;40m"
     "\x1b[41;42;43;44;45;46;47;49;53;55;59;90;91;92;93;94m\x1b[95;96;97;100;101;102;103;104m"
     "\x1b[105;106;107mx",
     "\x1b[0;1;2;3;4;5;6;7;8;9;21;22;23;24;25;26m\x1b[27;28;29;30;31;32;33;34;35;36;37;39;40m"
     "\x1b[41;42;43;44;45;46;47;49;53;55;59;90;91;92;93;94m\x1b[95;96;97;100;101;102;103;104m"
     "\x1b[105;106;107mx\x1b[0m"},
    {"sgr 11, then what it makes a csi", Utf8,
     "\x1b[11m\xc4\x9b"
     "2J",
     R("^[") + "[11m\xc4\x9b"
               "2J"},
    {"fonts among colours", Utf8, "\x1b[10;12m\x1b[1;13;31mx",
     R("^[") + "[10;12m" + R("^[") + "[1;13;31mx"},
    {"every font", Utf8, "\x1b[14m\x1b[15m\x1b[16m\x1b[17m\x1b[18m\x1b[19m",
     R("^[") + "[14m" + R("^[") + "[15m" + R("^[") + "[16m" + R("^[") + "[17m" + R("^[") + "[18m" +
         R("^[") + "[19m"},
    {"neither colour nor attribute", Utf8, "\x1b[20m\x1b[50m\x1b[51m\x1b[60m\x1b[98m\x1b[108m",
     R("^[") + "[20m" + R("^[") + "[50m" + R("^[") + "[51m" + R("^[") + "[60m" + R("^[") + "[98m" +
         R("^[") + "[108m"},
    {"sixteen parameters", Utf8, "\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;0mx",
     "\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;0mx\x1b[0m"},
    {"seventeen parameters", Utf8, "\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;0mx",
     R("^[") + "[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;0mx"},
    {"twenty parameters", Utf8, "\x1b[0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0m",
     R("^[") + "[0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0m"},
    {"subparameters count", Utf8, "\x1b[38:2::1:2:3;48:2::1:2:3;58:5:1;1;2mx",
     R("^[") + "[38:2::1:2:3;48:2::1:2:3;58:5:1;1;2mx"},
    {"256 colours", Utf8, "\x1b[38;5;255;48;5;0;58;5;10mx",
     "\x1b[38;5;255;48;5;0;58;5;10mx\x1b[0m"},
    {"true colour", Utf8, "\x1b[38;2;255;0;128;48;2;0;0;0mx",
     "\x1b[38;2;255;0;128;48;2;0;0;0mx\x1b[0m"},
    {"true colour with colons", Utf8, "\x1b[38:2::255:0:0;58:2:1:2:3mx\x1b[48:2:0:1:2:3my",
     "\x1b[38:2::255:0:0;58:2:1:2:3mx\x1b[48:2:0:1:2:3my\x1b[0m"},
    {"colour numbers with leading zeros", Utf8, "\x1b[038;05;0000255mx",
     "\x1b[038;05;0000255mx\x1b[0m"},
    {"empty parameters", Utf8, "\x1b[;1;;mx", "\x1b[;1;;mx\x1b[0m"},
    {"a colour index past 255", Utf8, "\x1b[38;5;256mx", R("^[") + "[38;5;256mx"},
    {"a colour cut short", Utf8, "\x1b[38;5m\x1b[48;2;1;2m\x1b[58:2:1:2mx",
     R("^[") + "[38;5m" + R("^[") + "[48;2;1;2m" + R("^[") + "[58:2:1:2mx"},
    {"a colour of no known form", Utf8, "\x1b[38;3;1m\x1b[38:5:1:2mx",
     R("^[") + "[38;3;1m" + R("^[") + "[38:5:1:2mx"},
    {"colons and semicolons mixed", Utf8, "\x1b[38;5:1m\x1b[38:5;1mx",
     R("^[") + "[38;5:1m" + R("^[") + "[38:5;1mx"},
    {"a subparameter of an attribute", Utf8, "\x1b[4:3m\x1b[1:2mx",
     R("^[") + "[4:3m" + R("^[") + "[1:2mx"},
    // A masked run stands apart in the other reverse video than the
    // server's own text, and its end puts the server's back.
    {"masked in the server's reverse video", Utf8,
     "\x1b[1;7;4ma\x07"
     "b",
     "\x1b[1;7;4ma\x1b[27m^G\x1b[7mb\x1b[0m"},
    {"reverse video off again", Utf8, "\x1b[7m\x1b[27ma\x07", "\x1b[7m\x1b[27ma" + Rend("^G")},
    {"reverse video reset", Utf8, "\x1b[7m\x1b[0;1ma\x07", "\x1b[7m\x1b[0;1ma" + Rend("^G")},
    {"colour 7 is no reverse video", Utf8,
     "\x1b[38;5;7;48:5:27ma\x07"
     "b",
     "\x1b[38;5;7;48:5:27ma" + R("^G") + "b\x1b[0m"},
    {"colour, reset, text", Utf8, "\x1b[1m\x1b[0mx", "\x1b[1m\x1b[0mx\x1b[0m"},
    {"esc before an sgr", Utf8, "\x1b\x1b[4mu", R("^[") + "\x1b[4mu\x1b[0m"},
    {"a control in colour", Utf8,
     "\x1b[31ma\x07"
     "b",
     "\x1b[31ma" + R("^G") + "b\x1b[0m"},
    {"osc title ended by bel", Utf8, "\x1b]2;title\x07", R("^[") + "]2;title" + Rend("^G")},
    {"osc title ended by st", Utf8, "\x1b]0;title\x1b\\", R("^[") + "]0;title" + R("^[") + "\\"},
    {"osc 52 ended by bel", Utf8, "\x1b]52;c;cm0gLXJm\x07",
     R("^[") + "]52;c;cm0gLXJm" + Rend("^G")},
    {"osc 52 ended by st", Utf8, "\x1b]52;c;?\x1b\\", R("^[") + "]52;c;?" + R("^[") + "\\"},
    {"osc 8 hyperlink", Utf8, "\x1b]8;;http://x/\x1b\\link\x1b]8;;\x1b\\",
     R("^[") + "]8;;http://x/" + R("^[") + "\\link" + R("^[") + "]8;;" + R("^[") + "\\"},
    {"dcs", Utf8, "\x1bP$qm\x1b\\", R("^[") + "P$qm" + R("^[") + "\\"},
    {"apc", Utf8, "\x1b_Gi=1\x1b\\", R("^[") + "_Gi=1" + R("^[") + "\\"},
    {"pm", Utf8, "\x1b^note\x1b\\", R("^[") + "^note" + R("^[") + "\\"},
    {"sos", Utf8, "\x1bXtext\x1b\\", R("^[") + "Xtext" + R("^[") + "\\"},
    {"screen's title", Utf8, "\x1bktitle\x1b\\", R("^[") + "ktitle" + R("^[") + "\\"},
    {"esc # 8", Utf8, "\x1b#8", R("^[") + "#8"},
    {"esc c", Utf8,
     "\x1b"
     "c",
     R("^[") + "c"},
    {"esc ( 0", Utf8, "\x1b(0q", R("^[") + "(0q"},
    {"raw c1 not text", Latin,
     "\x9b"
     "2J\x9d"
     "0;t\x9c",
     R("<9B>") + "2J" + R("<9D>") + "0;t" + Rend("<9C>")},
    {"raw c1 as text", AllHigh,
     "\x9b"
     "2J\x9d",
     "\x9b"
     "2J\x9d"},
    {"latin text", Latin, "caf\xe9 \xa0\xff", "caf\xe9 \xa0\xff"},
    {"controls in single-byte mode", Latin, "\x1b[2J\x07\x7f", R("^[") + "[2J" + Rend("^G^?")},
    {"utf-8 of u+009b in single-byte mode", Latin, "\xc2\x9b", "\xc2" + Rend("<9B>")},
    {"utf-8 of u+009b", Utf8,
     "\xc2\x9b"
     "2J",
     R("<C2><9B>") + "2J"},
    {"utf-8 of u+0085", Utf8,
     "a\xc2\x85"
     "b",
     "a" + R("<C2><85>") + "b"},
    {"raw c1 in utf-8 mode", Utf8,
     "\x9b"
     "2J",
     R("<9B>") + "2J"},
    {"lone continuation", Utf8,
     "a\x80\xbf"
     "b",
     "a" + R("<80><BF>") + "b"},
    {"truncated at the end", Utf8, "ab\xe6\x97", "ab" + Rend("<E6><97>")},
    {"truncated within text", Utf8, "\xf0\x9f\x98x", R("<F0><9F><98>") + "x"},
    {"truncated by a control", Utf8, "\xe6\x07", Rend("<E6>^G")},
    {"overlong c0 80", Utf8, "\xc0\x80", Rend("<C0><80>")},
    {"overlong e0 80 80", Utf8, "\xe0\x80\x80", Rend("<E0><80><80>")},
    {"overlong f0 80 80 80", Utf8, "\xf0\x80\x80\x80", Rend("<F0><80><80><80>")},
    {"surrogate", Utf8, "\xed\xa0\x80", Rend("<ED><A0><80>")},
    {"above u+10ffff", Utf8, "\xf4\x90\x80\x80", Rend("<F4><90><80><80>")},
    // Code page 932: a lead byte with a valid trail byte is one character.
    {"shift jis text", ShiftJis, "\x93\xfa\x96\x7b \x95\x5c \x81\x5b \xb1",
     "\x93\xfa\x96\x7b \x95\x5c \x81\x5b \xb1"},
    {"shift jis in colour", ShiftJis, "\x1b[31m\x93\xfa\x1b[0m", "\x1b[31m\x93\xfa\x1b[0m\x1b[0m"},
    {"a lead byte before esc", ShiftJis, "\x93\x1b[2J", R("<93>^[") + "[2J"},
    {"a lead byte before a control", ShiftJis, "\x93\x07", Rend("<93>^G")},
    {"a lead byte before no trail", ShiftJis, "\x93 x\x81\xfd",
     R("<93>") + " x" + Rend("<81><FD>")},
    {"a lead byte at the end", ShiftJis, "x\x93", "x" + Rend("<93>")},
    {"bytes no shift jis has", ShiftJis, "\x80\xa0\xfd\xff", Rend("<80><A0><FD><FF>")},
    {"ff", Utf8,
     "\xff"
     "a\xfe\xf5",
     R("<FF>") + "a" + Rend("<FE><F5>")},
};

class Rows : public ::testing::TestWithParam<Row> {};

TEST_P(Rows, ShownWhole) {
  const Row &row = GetParam();
  EXPECT_EQ(Show(row.mode, {row.in}), row.shown);
}

// The cut-across-reads property: any split gives what one Feed gives.
TEST_P(Rows, ShownTheSameSplitAnywhere) {
  const Row &row = GetParam();
  for (std::size_t at = 0; at <= row.in.size(); ++at)
    EXPECT_EQ(Show(row.mode, {row.in.substr(0, at), row.in.substr(at)}), row.shown)
        << "split at " << at;
  std::vector<std::string> bytes;
  for (char c : row.in)
    bytes.push_back(std::string(1, c));
  EXPECT_EQ(Show(row.mode, bytes), row.shown) << "a byte at a time";
}

TEST_P(Rows, OutputHoldsNoEscButSgrAndIsText) {
  const Row &row = GetParam();
  EXPECT_TRUE(IsSafe(row.shown, row.in, row.mode));
}

TEST_P(Rows, WithoutColoursNoSequenceAtAll) {
  const Row &row = GetParam();
  const std::string shown = Show(row.mode, {row.in}, TextMask::DropColours);
  EXPECT_EQ(shown, ScreenModel::WithoutSgr(row.shown));
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
}

std::string RowName(const ::testing::TestParamInfo<Row> &info) {
  std::string name;
  for (const char *c = info.param.name; *c; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(TextMask, Rows, ::testing::ValuesIn(rows), RowName);

TEST(TextMask, AnSgrCandidatePastTheBoundIsJudgedAtOnce) {
  TextMask mask = Make(Utf8);
  std::string out;
  const std::string cut = "\x1b[" + longParameters;
  mask.Feed(cut.data(), cut.size(), out);
  EXPECT_EQ(out, "") << "63 bytes may still end in m";
  mask.Feed("1", 1, out);
  EXPECT_EQ(out, R("^[") + "[" + longParameters + "1")
      << "the 64th byte is no m: nothing is held any longer";
  out.clear();
  const std::string endless(1000, '2');
  mask.Feed(endless.data(), endless.size(), out);
  EXPECT_EQ(out, endless);
  out.clear();
  mask.End(out);
  EXPECT_EQ(out, "");
}

TEST(TextMask, AColourStaysOnTheTextAcrossAPause) {
  TextMask mask = Make(Utf8);
  std::string out;
  mask.Feed("\x1b[31mred", 8, out);
  EXPECT_EQ(out, "\x1b[31mred");
  out.clear();
  mask.Pause(out);
  EXPECT_EQ(out, "\x1b[0m") << "the program's own output is in the default attributes";
  out.clear();
  mask.Pause(out);
  EXPECT_EQ(out, "") << "paused once already";
  mask.Feed("", 0, out);
  EXPECT_EQ(out, "") << "nothing shown, nothing set";
  mask.Feed(" more", 5, out);
  EXPECT_EQ(out, "\x1b[31m more");
  out.clear();
  mask.End(out);
  EXPECT_EQ(out, "\x1b[0m");
  out.clear();
  mask.Feed("next", 4, out);
  mask.Pause(out);
  EXPECT_EQ(out, "next") << "End forgot the colour";
}

TEST(TextMask, APauseEndsAReverseRun) {
  TextMask mask = Make(Utf8);
  std::string out;
  mask.Feed("\x07", 1, out);
  mask.Pause(out);
  mask.Feed("a", 1, out);
  EXPECT_EQ(out, Rend("^G") + "a");
  out.clear();
  mask.Feed("\x1b[1m\x07", 5, out);
  mask.Pause(out);
  mask.Feed("a\x07", 2, out);
  mask.Pause(out);
  mask.Feed("\x07", 1, out);
  mask.Pause(out);
  EXPECT_EQ(out, "\x1b[1m" + Rend("^G") + "\x1b[1ma" + Rend("^G") + "\x1b[1m" + Rend("^G"))
      << "after a Pause the attributes are set again before the reverse run";
  out.clear();
  mask.Feed("b", 1, out);
  EXPECT_EQ(out, "\x1b[1mb");
}

// The server's reverse video comes back after a Pause even where the SGR
// that set it was forgotten among many.
TEST(TextMask, ReverseVideoOutlivesTheAttributesKept) {
  TextMask mask = Make(Utf8);
  std::string out;
  mask.Feed("\x1b[7m", 4, out);
  for (int n = 0; n < 40; ++n)
    mask.Feed("\x1b[38;5;100m", 11, out);
  out.clear();
  mask.Pause(out);
  mask.Feed("a\x07", 2, out);
  std::string kept;
  for (int n = 0; n < 256 / 11; ++n)
    kept += "\x1b[38;5;100m";
  EXPECT_EQ(out, "\x1b[0m" + kept + "\x1b[7ma\x1b[27m^G");
}

TEST(TextMask, APauseKeepsWhatIsHeld) {
  TextMask mask = Make(Utf8);
  std::string out;
  mask.Feed("x\x1b[3", 4, out);
  mask.Pause(out);
  mask.Feed("2m\xe6", 3, out);
  mask.Pause(out);
  mask.Feed("\x97\xa5", 2, out);
  mask.Pause(out);
  EXPECT_EQ(out, "x\x1b[32m\x1b[0m\x1b[32m\xe6\x97\xa5\x1b[0m");
}

// Whatever the server sent, a Pause leaves the terminal in the default
// attributes: the output's last SGR is the mask's own reset, or no SGR of
// the server's went out and the mask's reverse video is off.
TEST(TextMask, NeverLeftOnAfterAPause) {
  for (const Row &row : rows) {
    TextMask mask = Make(row.mode);
    std::string out;
    mask.Feed(row.in.data(), row.in.size(), out);
    mask.Pause(out);
    bool serverSgr = false;
    std::string last;
    for (std::size_t i = out.find('\x1b'); i != std::string::npos; i = out.find('\x1b', i + 1)) {
      last = out.substr(i, ScreenModel::SgrLength(out, i));
      serverSgr = serverSgr || (last != "\x1b[7m" && last != "\x1b[27m" && last != "\x1b[0m");
    }
    EXPECT_TRUE(last.empty() || last == "\x1b[0m" || (!serverSgr && last == "\x1b[27m"))
        << row.name << ": " << last;
  }
}

// The server's own reset is never relied on: a terminal may not have
// obeyed it.
TEST(TextMask, APauseResetsAfterAnySgrOfTheServers) {
  for (const std::string &in : {"\x1b[31mred\x1b[0m"s, "\x1b[m"s, "\x1b[0;0m"s}) {
    TextMask mask = Make(Utf8);
    std::string out;
    mask.Feed(in.data(), in.size(), out);
    out.clear();
    mask.Pause(out);
    EXPECT_EQ(out, "\x1b[0m") << in;
    mask.Feed("x", 1, out);
    mask.Pause(out);
    EXPECT_EQ(out, "\x1b[0mx") << in << ": nothing to set again, nothing to reset";
  }
}

TEST(TextMask, AResetForgetsTheAttributesBeforeIt) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\x1b[31m\x1b[1m", "\x1b[31m\x1b[1m"},
      {"\x1b[31m\x1b[1m\x1b[0;4m", "\x1b[0;4m"},
      {"\x1b[31m\x1b[;4m", "\x1b[;4m"},
      {"\x1b[31m\x1b[00m\x1b[4m", "\x1b[4m"},
      {"\x1b[31m\x1b[0;m", ""},
      {"\x1b[31m\x1b[m", ""},
  };
  for (const auto &c : cases) {
    TextMask mask = Make(Utf8);
    std::string out;
    mask.Feed(c.first.data(), c.first.size(), out);
    out.clear();
    mask.Pause(out);
    mask.Feed("x", 1, out);
    EXPECT_EQ(out, "\x1b[0m" + c.second + "x") << c.first;
  }
}

TEST(TextMask, OnlyTheNewestAttributesAreKeptWhenTheyPileUp) {
  TextMask mask = Make(Utf8);
  std::string out;
  std::vector<std::string> sgrs;
  for (int n = 100; n < 130; ++n) {
    sgrs.push_back("\x1b[38;5;" + std::to_string(n) + "m"); // 11 bytes
    mask.Feed(sgrs.back().data(), sgrs.back().size(), out);
  }
  out.clear();
  mask.Pause(out);
  mask.Feed("x", 1, out);
  std::string newest;
  for (std::size_t i = sgrs.size() - 256 / 11; i < sgrs.size(); ++i)
    newest += sgrs[i];
  EXPECT_EQ(out, "\x1b[0m" + newest + "x");
}

TEST(TextMask, WithoutColoursNothingButText) {
  TextMask mask = Make(Utf8, TextMask::DropColours);
  std::string out;
  mask.Feed("\x1b[31mred\x07\x1b[2J\xc2\x9b", 15, out);
  mask.Pause(out);
  mask.Feed("\x1b[0m.", 5, out);
  mask.End(out);
  EXPECT_EQ(out, "red^G^[[2J<C2><9B>.");
}

TEST(TextMask, TheHighByteTableIsAskedOnceAByte) {
  std::vector<int> asked(256);
  TextMask mask(
      false,
      [&](unsigned char b) {
        ++asked[b];
        return b == 0x80;
      },
      TextMask::KeepColours);
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(asked[b], b >= 0x80 ? 1 : 0) << b;
  std::string out;
  mask.Feed("\x80\x81", 2, out);
  EXPECT_EQ(out, "\x80\x1b[7m<81>");
}

// Random bytes rich in the ones that start something: the output is safe,
// whole or split, and a split changes nothing.
// Plain text is found many bytes at a time: a byte that needs a look of its
// own is found wherever it stands in a long text, and the bytes next to the
// plain ones (tab, carriage return, DEL, a space) are judged as ever.
TEST(TextMask, EveryByteIsJudgedWhereverItStandsInALongText) {
  const std::string text(150, 'x');
  const std::vector<std::pair<std::string, std::string>> odd = {{"\x1b", R("^[")},
                                                                {"\x7f", R("^?")},
                                                                {"\x1f", R("^_")},
                                                                {"\x80", R("<80>")},
                                                                {"\xff", R("<FF>")},
                                                                {"\t", "\t"},
                                                                {"\r", "\r"},
                                                                {" ", " "},
                                                                {"~", "~"},
                                                                {"\n", "\n"},
                                                                {"\xc3\xbc", "\xc3\xbc"}};
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (const auto &[byte, shown] : odd) {
      SCOPED_TRACE("at " + std::to_string(at) + ", byte " +
                   std::to_string(static_cast<unsigned char>(byte[0])));
      const std::string bytes = text.substr(0, at) + byte + text.substr(at);
      EXPECT_EQ(Show(Utf8, {bytes}), text.substr(0, at) + shown + text.substr(at));
    }
  }
}

// Text is judged sixteen and sixty-four bytes at a time where it can be:
// one item between the units of a long text of one kind shows as it does
// on its own, wherever it stands against those blocks, whole or cut.
TEST(TextMask, AnItemShowsAsAloneWhereverItStandsInALongText) {
  const std::string fillers[] = {"x",
                                 "\xc3\xa9",
                                 "\xe6\x97\xa5",
                                 "\xf0\x9f\x99\x82",
                                 "ab\x1b[36mcd\x1b[0m",
                                 "\x1b[1;33m\xce\xb1\x1b[22m\t"};
  const std::vector<std::pair<std::string, std::string>> items = {
      {"\x1b", R("^[")},
      {"\x1b[2J", R("^[") + "[2J"},
      {"\x1b[31m", "\x1b[31m"},
      {"\x1b[97m", "\x1b[97m"},
      {"\x1b[07m", "\x1b[07m"},
      {"\x1b[0;1m", "\x1b[0;1m"},
      {"\x1b[38;5;100m", "\x1b[38;5;100m"},
      {"\x1b[11m", R("^[") + "[11m"},
      {"\x1b[38m", R("^[") + "[38m"},
      {"\x1b[20m", R("^[") + "[20m"},
      {"\x1b[50m", R("^[") + "[50m"},
      {"\x1b[98m", R("^[") + "[98m"},
      {"\x07", R("^G")},
      {"\r", "\r"},
      {"\x80", R("<80>")},
      {"\xc0\xaf", R("<C0><AF>")},
      {"\xc2\x85", R("<C2><85>")},
      {"\xc2\xa0", "\xc2\xa0"},
      {"\xe0\x9f\xbf", R("<E0><9F><BF>")},
      {"\xe0\xa0\x80", "\xe0\xa0\x80"},
      {"\xed\x9f\xbf", "\xed\x9f\xbf"},
      {"\xed\xa0\x80", R("<ED><A0><80>")},
      {"\xf0\x8f\xbf\xbf", R("<F0><8F><BF><BF>")},
      {"\xf0\x90\x80\x80", "\xf0\x90\x80\x80"},
      {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
      {"\xf4\x90\x80\x80", R("<F4><90><80><80>")},
      {"\xf5\x80", R("<F5><80>")},
      {"\xe6\x97", R("<E6><97>")},
      {"\xf0\x9f\x99", R("<F0><9F><99>")},
  };
  for (const std::string &filler : fillers) {
    for (const auto &[item, shown] : items) {
      for (std::size_t before = 0; before < 90; before += 1 + before / 20) {
        std::string in(before % 4, 'y');
        for (std::size_t k = 0; k < before; ++k)
          in += filler;
        std::string expected = in + shown;
        in += item;
        std::string after;
        for (std::size_t k = 0; k < 20; ++k)
          after += filler;
        in += after;
        expected += after;
        // A server's SGR that passed is reset at the end.
        if (filler.find('\x1b') != std::string::npos || (item[0] == '\x1b' && shown == item))
          expected += "\x1b[0m";
        SCOPED_TRACE(::testing::PrintToString(in));
        ASSERT_EQ(Show(Utf8, {in}), expected);
        const std::size_t at = in.size() - after.size() - item.size() / 2;
        ASSERT_EQ(Show(Utf8, {in.substr(0, at), in.substr(at)}), expected);
      }
    }
  }
}

// Every SGR of one parameter of up to two digits is judged the same
// among a long coloured text, sixteen bytes at a time, as on its own.
TEST(TextMask, EveryShortSgrIsJudgedTheSameInALongText) {
  const std::string filler = "ab\x1b[1mcd\x1b[0m" + std::string(40, 'x');
  for (int v = 0; v < 100; ++v) {
    for (const std::string &digits : {std::to_string(v), (v < 10 ? "0" : "") + std::to_string(v)}) {
      const std::string sgr = "\x1b[" + digits + "m";
      SCOPED_TRACE(digits);
      // On its own an SGR that passes is shown with the reset at the end.
      const bool passes = Show(Utf8, {sgr}) == sgr + "\x1b[0m";
      const std::string in = filler + sgr + filler;
      ASSERT_EQ(Show(Utf8, {in}),
                filler + (passes ? sgr : R("^[") + sgr.substr(1)) + filler + "\x1b[0m");
    }
  }
}

// What the server's SGRs in a long text did is what a Pause and a masked
// byte after them go by: the attributes since the last reset, and its
// reverse video.
TEST(TextMask, AttributesOfALongTextOutliveAPause) {
  const std::string filler(70, 'x');
  const struct {
    std::string in;
    // After the Pause, before the masked byte: the attributes, the
    // server's reverse video set again, and the masked run's own.
    std::string restored;
  } texts[] = {
      {filler + "\x1b[31m" + filler + "\x1b[0m" + filler + "\x1b[1m" + filler + "\x1b[33m" + filler,
       "\x1b[1m\x1b[33m\x1b[7m"},
      {filler + "\x1b[7m" + filler + "\x1b[0;4m" + filler, "\x1b[0;4m\x1b[7m"},
      {filler + "\x1b[0;7m" + filler + "\x1b[2m" + filler, "\x1b[0;7m\x1b[2m\x1b[7m\x1b[27m"},
      {filler + "\x1b[7m" + filler + "\x1b[27m" + filler + "\x1b[0m" + filler, "\x1b[7m"},
  };
  for (const auto &text : texts) {
    SCOPED_TRACE(::testing::PrintToString(text.in));
    TextMask mask = Make(Utf8);
    std::string out;
    mask.Feed(text.in.data(), text.in.size(), out);
    EXPECT_EQ(out, text.in);
    out.clear();
    mask.Pause(out);
    EXPECT_EQ(out, "\x1b[0m");
    out.clear();
    mask.Feed("\x07", 1, out);
    EXPECT_EQ(out, text.restored + "^G");
  }
}

TEST(TextMask, RandomBytesShowSafely) {
  const char pool[] = "\x1b\x1b[[[m;:01239ab\x07\n\x7f\x80\x9b\xa0\xbf\xc2\xc3\xe0\xe6\xed"
                      "\xf0\xf4\xff\x93\xfa\x7b";
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245 + 12345;
    return seed >> 16;
  };
  for (Mode mode : {Utf8, Latin, AllHigh, ShiftJis}) {
    for (int round = 0; round < 2000; ++round) {
      std::string in;
      for (std::uint32_t n = next() % 40; n > 0; --n)
        in += pool[next() % (sizeof pool - 1)];
      const std::string whole = Show(mode, {in});
      ASSERT_TRUE(IsSafe(whole, in, mode)) << round;
      const std::size_t at = next() % (in.size() + 1);
      ASSERT_EQ(Show(mode, {in.substr(0, at), in.substr(at)}), whole) << round;
    }
  }
}

// A masked byte costs a bounded number of bytes whatever attributes the
// server set: a server cannot make the terminal take many times what it
// sent, and what one Feed makes stays within what the client holds.
TEST(TextMask, WhatAServerSendsIsNeverMultiplied) {
  std::string colours;
  while (colours.size() + 11 <= TextMask::maxAttributes)
    colours += "\x1b[38;5;100m";
  std::string reversed = colours + "\x1b[7m";
  const struct {
    const char *name;
    std::string start, unit;
  } texts[] = {
      {"controls between text", colours, "\x07x"},
      {"bytes of no text between text", colours, "\x9bx"},
      {"the same in the server's reverse video", reversed, "\x9bx"},
      {"utf-8 c1 between text", colours, "\xc2\x9bx"},
      {"lone escapes", colours, "\x1bx"},
      {"colours between controls", "", "\x1b[1m\x07"},
      {"a font between controls", colours, "\x1b[11m\x07"},
  };
  for (const auto &text : texts) {
    SCOPED_TRACE(text.name);
    std::string in = text.start;
    while (in.size() < 40 * 1024)
      in += text.unit;
    TextMask mask = Make(Utf8);
    std::string shown;
    // In the parts a stream's reads or a long piece's slices cut it.
    for (std::size_t at = 0; at < in.size(); at += 1000) {
      std::string out;
      const std::size_t length = std::min<std::size_t>(1000, in.size() - at);
      mask.Feed(in.data() + at, length, out);
      if (at + length == in.size())
        mask.End(out);
      else
        mask.Pause(out);
      ASSERT_LE(out.size(), TextMask::MostShown(length)) << "at " << at;
      shown += out;
    }
    EXPECT_LE(shown.size(), 16 * in.size());
    EXPECT_TRUE(IsSafe(shown, in, Utf8));
  }
}

TEST(TextMask, TheLeadByteTableIsAskedOnceAByte) {
  std::vector<int> leads(256), singles(256);
  int pairs = 0;
  TextMask mask(
      [&](unsigned char b) {
        ++singles[b];
        return false;
      },
      [&](unsigned char b) {
        ++leads[b];
        return b == 0x81;
      },
      [&](unsigned char, unsigned char trail) {
        ++pairs;
        return trail == 0x40;
      },
      TextMask::KeepColours);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(leads[b], b >= 0x80 ? 1 : 0) << b;
    EXPECT_EQ(singles[b], b >= 0x80 ? 1 : 0) << b;
  }
  std::string out;
  mask.Feed("\x81\x40\x81\x41", 4, out);
  mask.End(out);
  EXPECT_EQ(out, "\x81\x40" + R("<81>") + "A") << "a lead byte whose pair is no text";
  EXPECT_EQ(pairs, 2);
}

// Local text, such as a pipe's name, shows every control, an SGR's ESC
// too, and leaves the attributes at their default behind it.
TEST(TextMask, QuotedTextShowsItsControls) {
  const struct {
    Mode mode;
    std::string in, shown;
    std::size_t columns;
  } quotes[] = {
      {Utf8, "plain-name", "plain-name", 0},
      {Utf8, "t\x1b]2;x\x07", "t" + R("^[") + "]2;x" + R("^G"), 4},
      {Utf8, "\x1b[2J\x1b[31m", R("^[") + "[2J" + R("^[") + "[31m", 4},
      {Utf8, "\xc3\xa9\xff\xc2\x9b\xe6", "\xc3\xa9" + R("<FF><C2><9B><E6>"), 16},
      {Latin, "\xe9\x9b", "\xe9" + R("<9B>"), 4},
      {ShiftJis, "\x93\xfa\x93", "\x93\xfa" + R("<93>"), 4},
  };
  for (const auto &quote : quotes) {
    const TextMask mask = Make(quote.mode);
    std::string out;
    EXPECT_EQ(mask.Quote(quote.in.data(), quote.in.size(), out), quote.columns) << quote.in;
    EXPECT_EQ(out, quote.shown);
    const TextMask plain = Make(quote.mode, TextMask::DropColours);
    out.clear();
    plain.Quote(quote.in.data(), quote.in.size(), out);
    EXPECT_EQ(out, ScreenModel::WithoutSgr(quote.shown));
  }
}

TEST(TextMask, QuotingLeavesTheServersTextAlone) {
  TextMask mask = Make(Utf8);
  std::string out, quoted;
  mask.Feed("\x1b[31ma\x07\x1b[", 9, out);
  mask.Quote("\x07", 1, quoted);
  mask.Feed("1mb", 3, out);
  mask.End(out);
  EXPECT_EQ(out, "\x1b[31ma" + R("^G") + "\x1b[1mb\x1b[0m");
}
} // namespace
