#include "TextMask.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace {
using namespace std::string_literals;

// The encodings the rows run in: UTF-8; a single-byte one whose 0x80..0x9F
// are controls (as a POSIX locale's ISO 8859 charset); one whose every high
// byte is a character (as Windows code page 437, where 0x9B is a cent sign).
enum Mode { Utf8, Latin, AllHigh };

bool LatinText(unsigned char b) { return b >= 0xa0; }
bool AnyText(unsigned char) { return true; }

TextMask Make(Mode mode, TextMask::Colours colours = TextMask::KeepColours) {
  if (mode == Utf8)
    return TextMask(true, nullptr, colours);
  return TextMask(false, mode == Latin ? LatinText : AnyText, colours);
}

// Masked bytes as the mask shows them, set apart in reverse video.
std::string R(const std::string &notation) { return "\x1b[0;7m" + notation + "\x1b[0m"; }

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

// The length of the SGR at s[at], an ESC; 0 when there is none.
std::size_t SgrAt(const std::string &s, std::size_t at) {
  if (s.compare(at, 2, "\x1b[") != 0)
    return 0;
  std::size_t j = at + 2;
  while (j < s.size() && ((s[j] >= '0' && s[j] <= '9') || s[j] == ';' || s[j] == ':'))
    ++j;
  return j < s.size() && s[j] == 'm' ? j + 1 - at : 0;
}

std::string StripSgr(const std::string &s) {
  std::string text;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const std::size_t sgr = s[i] == '\x1b' ? SgrAt(s, i) : 0;
    if (sgr > 0)
      i += sgr - 1;
    else
      text += s[i];
  }
  return text;
}

// Whether `bytes` is text in the mode: no control but LF, CR and TAB, no
// DEL, no byte the encoding does not have as text, no C1 control.
::testing::AssertionResult IsText(const std::string &bytes, Mode mode) {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char b = u[i];
    if ((b < 0x20 && b != '\n' && b != '\r' && b != '\t') || b == 0x7f)
      return ::testing::AssertionFailure() << "control " << int(b) << " at " << i;
    if (b < 0x80)
      continue;
    if (mode == Latin && !LatinText(b))
      return ::testing::AssertionFailure() << "high byte " << int(b) << " at " << i;
    if (mode != Utf8)
      continue;
    // Decoded by hand, the well-formed forms only.
    std::size_t length = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : 2;
    std::uint32_t cp = b & (0x7f >> length);
    bool ok = b >= 0xc2 && b <= 0xf4 && i + length <= n;
    for (std::size_t k = 1; ok && k < length; ++k) {
      ok = (u[i + k] & 0xc0) == 0x80;
      cp = cp << 6 | (u[i + k] & 0x3f);
    }
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (!ok || cp < least || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff) || cp < 0xa0)
      return ::testing::AssertionFailure() << "no text at " << i;
    i += length - 1;
  }
  return ::testing::AssertionSuccess();
}

// The output drives the terminal no further than colours: every ESC starts
// an SGR that the input has or that is the mask's own, and what is left
// between them is text.
::testing::AssertionResult IsSafe(const std::string &out, const std::string &in, Mode mode) {
  for (std::size_t i = out.find('\x1b'); i != std::string::npos; i = out.find('\x1b', i + 1)) {
    const std::size_t sgr = SgrAt(out, i);
    if (sgr == 0)
      return ::testing::AssertionFailure() << "an ESC that is no SGR at " << i;
    const std::string sequence = out.substr(i, sgr);
    if (sequence != "\x1b[0;7m" && sequence != "\x1b[0m" && in.find(sequence) == std::string::npos)
      return ::testing::AssertionFailure() << "an SGR the server did not send at " << i;
  }
  return IsText(StripSgr(out), mode);
}

struct Row {
  const char *name;
  Mode mode;
  std::string in;
  std::string shown; // after End
};

const std::string longParameters(61, '1'); // ESC [ these m: 64 bytes

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
     R("^@^A^B^C^D^E^F^G^H^K^L^N^O^P^Q^R^S^T^U^V^W^X^Y^Z^\\^]^^^_")},
    {"a control within text", Utf8, "ding\x07 dong", "ding" + R("^G") + " dong"},
    {"backspace over text", Utf8, "ab\b\bxy", "ab" + R("^H^H") + "xy"},
    {"del", Utf8, "a\x7f", "a" + R("^?")},
    {"a lone esc", Utf8, "\x1b", R("^[")},
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
    {"sgr cut by a control", Utf8, "\x1b[3\x07", R("^[") + "[3" + R("^G")},
    {"sgr cut by esc", Utf8, "\x1b[3\x1b[1m", R("^[") + "[3\x1b[1m\x1b[0m"},
    {"an sgr colour", Utf8, "\x1b[31mred", "\x1b[31mred\x1b[0m"},
    {"an sgr reset", Utf8, "\x1b[mplain", "\x1b[mplain"},
    {"an sgr of subparameters", Utf8, "\x1b[1;38:2::255:0:0mx", "\x1b[1;38:2::255:0:0mx\x1b[0m"},
    {"an sgr of the longest", Utf8, "\x1b[" + longParameters + "m",
     "\x1b[" + longParameters + "m\x1b[0m"},
    {"an sgr one byte too long", Utf8, "\x1b[1" + longParameters + "m",
     R("^[") + "[1" + longParameters + "m"},
    {"colour, reset, text", Utf8, "\x1b[1m\x1b[0mx", "\x1b[1m\x1b[0mx"},
    {"esc before an sgr", Utf8, "\x1b\x1b[4mu", R("^[") + "\x1b[4mu\x1b[0m"},
    {"a control in colour", Utf8,
     "\x1b[31ma\x07"
     "b",
     "\x1b[31ma" + R("^G") + "\x1b[31mb\x1b[0m"},
    {"osc title ended by bel", Utf8, "\x1b]2;title\x07", R("^[") + "]2;title" + R("^G")},
    {"osc title ended by st", Utf8, "\x1b]0;title\x1b\\", R("^[") + "]0;title" + R("^[") + "\\"},
    {"osc 52 ended by bel", Utf8, "\x1b]52;c;cm0gLXJm\x07", R("^[") + "]52;c;cm0gLXJm" + R("^G")},
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
     R("<9B>") + "2J" + R("<9D>") + "0;t" + R("<9C>")},
    {"raw c1 as text", AllHigh,
     "\x9b"
     "2J\x9d",
     "\x9b"
     "2J\x9d"},
    {"latin text", Latin, "caf\xe9 \xa0\xff", "caf\xe9 \xa0\xff"},
    {"controls in single-byte mode", Latin, "\x1b[2J\x07\x7f", R("^[") + "[2J" + R("^G^?")},
    {"utf-8 of u+009b in single-byte mode", Latin, "\xc2\x9b", "\xc2" + R("<9B>")},
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
    {"truncated at the end", Utf8, "ab\xe6\x97", "ab" + R("<E6><97>")},
    {"truncated within text", Utf8, "\xf0\x9f\x98x", R("<F0><9F><98>") + "x"},
    {"truncated by a control", Utf8, "\xe6\x07", R("<E6>^G")},
    {"overlong c0 80", Utf8, "\xc0\x80", R("<C0><80>")},
    {"overlong e0 80 80", Utf8, "\xe0\x80\x80", R("<E0><80><80>")},
    {"overlong f0 80 80 80", Utf8, "\xf0\x80\x80\x80", R("<F0><80><80><80>")},
    {"surrogate", Utf8, "\xed\xa0\x80", R("<ED><A0><80>")},
    {"above u+10ffff", Utf8, "\xf4\x90\x80\x80", R("<F4><90><80><80>")},
    {"ff", Utf8,
     "\xff"
     "a\xfe\xf5",
     R("<FF>") + "a" + R("<FE><F5>")},
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
  EXPECT_EQ(shown, StripSgr(row.shown));
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
  EXPECT_EQ(out, R("^G") + "a");
  out.clear();
  mask.Feed("\x1b[1m\x07", 5, out);
  mask.Pause(out);
  mask.Feed("a\x07", 2, out);
  mask.Pause(out);
  mask.Feed("\x07", 1, out);
  mask.Pause(out);
  EXPECT_EQ(out, "\x1b[1m" + R("^G") + "\x1b[1ma" + R("^G") + R("^G"))
      << "after a Pause the reverse run sets the attributes at its end";
  out.clear();
  mask.Feed("b", 1, out);
  EXPECT_EQ(out, "\x1b[1mb");
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
// attributes: the output's last SGR is a full reset.
TEST(TextMask, NeverLeftOnAfterAPause) {
  for (const Row &row : rows) {
    TextMask mask = Make(row.mode);
    std::string out;
    mask.Feed(row.in.data(), row.in.size(), out);
    mask.Pause(out);
    std::string last = "\x1b[0m";
    for (std::size_t i = out.find('\x1b'); i != std::string::npos; i = out.find('\x1b', i + 1))
      last = out.substr(i, SgrAt(out, i));
    EXPECT_TRUE(last == "\x1b[0m" || last == "\x1b[m") << row.name << ": " << last;
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
    EXPECT_EQ(out, (c.second.empty() ? "" : "\x1b[0m") + c.second + "x") << c.first;
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
  EXPECT_EQ(out, "\x80\x1b[0;7m<81>");
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

TEST(TextMask, RandomBytesShowSafely) {
  const char pool[] = "\x1b\x1b[[[m;:01239ab\x07\n\x7f\x80\x9b\xa0\xbf\xc2\xc3\xe0\xe6\xed"
                      "\xf0\xf4\xff";
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245 + 12345;
    return seed >> 16;
  };
  for (Mode mode : {Utf8, Latin, AllHigh}) {
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
} // namespace
