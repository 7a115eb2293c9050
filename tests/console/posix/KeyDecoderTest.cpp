#include "KeyDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using namespace std::string_literals;

int Narrow(const std::string &utf8) { return utf8 == "\xe6\x97\xa5" ? 2 : 1; }

// A short text for each key, so that a sequence of keys compares as one.
std::string Name(const Key &key) {
  static const char *const names[] = {"text",  "ctrl", "enter", "tab",  "bs",  "del",    "left",
                                      "right", "up",   "down",  "home", "end", "unknown"};
  std::string name = key.code == Key::Text      ? key.text.bytes
                     : key.code == Key::Control ? std::string("^") + key.letter
                                                : names[key.code];
  if (key.code == Key::Text && key.text.glyph != key.text.bytes)
    name += "=" + key.text.glyph;
  if (key.code == Key::Text && key.text.width != 1)
    name += "/" + std::to_string(key.text.width);
  if (key.ctrl)
    name = "C-" + name;
  if (key.alt)
    name = "M-" + name;
  if (key.pasted)
    name = "p:" + name;
  return name;
}

std::vector<std::string> Keys(KeyDecoder &decoder) {
  std::vector<std::string> keys;
  for (Key key; decoder.Next(key);)
    keys.push_back(Name(key));
  return keys;
}

std::vector<std::string> Decode(const std::string &bytes, bool utf8 = true) {
  KeyDecoder decoder(utf8, Narrow);
  decoder.Feed(bytes.data(), bytes.size());
  std::vector<std::string> keys = Keys(decoder);
  decoder.Flush();
  for (const std::string &key : Keys(decoder))
    keys.push_back("flushed " + key);
  return keys;
}

using Names = std::vector<std::string>;

TEST(KeyDecoder, ControlBytesAreKeys) {
  EXPECT_EQ(Decode("\r\n\t\x7f\x08\x01\x03\x1a\x1c\0"s),
            (Names{"enter", "enter", "tab", "bs", "bs", "^A", "^C", "^Z", "unknown", "unknown"}));
}

TEST(KeyDecoder, EscapeSequencesOfTheCommonTerminals) {
  EXPECT_EQ(Decode("\x1b[A\x1b[B\x1b[C\x1b[D\x1b[H\x1b[F\x1bOH\x1bOF\x1bOA"),
            (Names{"up", "down", "right", "left", "home", "end", "home", "end", "up"}));
  EXPECT_EQ(Decode("\x1b[1~\x1b[4~\x1b[7~\x1b[8~\x1b[3~"),
            (Names{"home", "end", "home", "end", "del"}));
  EXPECT_EQ(Decode("\x1b[1;5D\x1b[1;5C\x1b[1;3D\x1b[3;5~"),
            (Names{"C-left", "C-right", "M-left", "C-del"}));
  // Alt as an ESC before the key.
  EXPECT_EQ(Decode("\x1b"
                   "b\x1b"
                   "f\x1b\x7f"),
            (Names{"M-b", "M-f", "M-bs"}));
}

TEST(KeyDecoder, UnknownSequencesAreSwallowedWhole) {
  // F5, Page Up, F1, a mouse report, a focus report: none leaves a byte.
  EXPECT_EQ(Decode("\x1b[15~\x1b[5~\x1bOP\x1b[<0;12;5M\x1b[I"
                   "a"),
            (Names{"unknown", "unknown", "unknown", "unknown", "unknown", "a"}));
}

TEST(KeyDecoder, KeysLeftFromOneReadComeBeforeThoseOfTheNext) {
  KeyDecoder decoder(true, Narrow);
  decoder.Feed("ab\x1b", 3);
  Key key;
  ASSERT_TRUE(decoder.Next(key));
  EXPECT_EQ(Name(key), "a");
  EXPECT_TRUE(decoder.Waiting());
  decoder.Feed("[Dc", 3);
  EXPECT_EQ(Keys(decoder), (Names{"b", "left", "c"}));
  EXPECT_FALSE(decoder.Waiting());
  decoder.Feed("d", 1);
  EXPECT_EQ(Keys(decoder), (Names{"d"}));
}

TEST(KeyDecoder, ASequenceSplitAcrossReadsWaitsForItsRest) {
  KeyDecoder decoder(true, Narrow);
  decoder.Feed("x\x1b[1;", 5);
  EXPECT_EQ(Keys(decoder), Names{"x"});
  EXPECT_TRUE(decoder.Waiting());
  decoder.Feed("5D", 2);
  EXPECT_EQ(Keys(decoder), Names{"C-left"});
  EXPECT_FALSE(decoder.Waiting());
  decoder.Feed("\xe6\x97", 2);
  EXPECT_EQ(Keys(decoder), Names{});
  decoder.Feed("\xa5", 1);
  EXPECT_EQ(Keys(decoder), Names{"\xe6\x97\xa5/2"});
}

TEST(KeyDecoder, ALoneEscapeIsTakenOnlyWhenFlushed) {
  KeyDecoder decoder(true, Narrow);
  decoder.Feed("\x1b", 1);
  EXPECT_EQ(Keys(decoder), Names{});
  decoder.Flush();
  EXPECT_EQ(Keys(decoder), Names{"unknown"});
  // A cut-off sequence flushed goes whole, leaving nothing behind.
  EXPECT_EQ(Decode("\x1b[12"), Names{"flushed unknown"});
  // After a flush, sequences wait for their rest again.
  decoder.Feed("\x1b[", 2);
  EXPECT_EQ(Keys(decoder), Names{});
  decoder.Feed("A", 1);
  EXPECT_EQ(Keys(decoder), Names{"up"});
}

TEST(KeyDecoder, Utf8CharactersAreWholeAndBadBytesShowAsMarks) {
  EXPECT_EQ(Decode("\xc3\xbc\xe6\x97\xa5\xf0\x9f\x98\x80"),
            (Names{"\xc3\xbc", "\xe6\x97\xa5/2", "\xf0\x9f\x98\x80"}));
  // A stray continuation byte, a lead byte followed by ASCII, an
  // impossible byte: each goes to the pipe as it is, shown as '?'.
  EXPECT_EQ(Decode("\x80"
                   "a\xc3"
                   "b\xff"),
            (Names{"\x80=?", "a", "\xc3=?", "b", "\xff=?"}));
  // A lead byte at the end of what was read waits; flushed it is one byte.
  EXPECT_EQ(Decode("\xe6\x97"), (Names{"flushed \xe6=?", "flushed \x97=?"}));
}

TEST(KeyDecoder, WithoutUtf8EachByteIsACharacter) {
  EXPECT_EQ(Decode("\xfc\xe6\x97", false), (Names{"\xfc", "\xe6", "\x97=?"}));
}

TEST(KeyDecoder, BracketedPasteMakesTextOfKeys) {
  EXPECT_EQ(Decode("\x1b[200~a\tb\r\nc\rd\n\x1b[A\x03\x1b[201~\t"),
            (Names{"unknown", "p:a", "p:tab", "p:b", "p:enter", "p:unknown", "p:c", "p:enter",
                   "p:d", "p:enter", "p:unknown", "p:[", "p:A", "p:unknown", "unknown", "tab"}));
}

TEST(KeyDecoder, ThePasteEndMaySpanReads) {
  KeyDecoder decoder(true, Narrow);
  decoder.Feed("\x1b[200~x\x1b[20", 11);
  EXPECT_EQ(Keys(decoder), (Names{"unknown", "p:x"}));
  decoder.Feed("1~y", 3);
  EXPECT_EQ(Keys(decoder), (Names{"unknown", "y"}));
}

// What tmux answers a server's ESC[>q with: were its ESC P Alt-P, the rest
// would be typed into the line.
const std::string tmuxAnswer = "\x1bP>|tmux 3.3a\x1b\\";

TEST(KeyDecoder, ATerminalsAnswerStringIsSwallowedWhole) {
  // DCS, APC, PM and SOS end at ST; an OSC at ST or BEL. Keys around each
  // string are still keys.
  for (const std::string &answer :
       {tmuxAnswer, "\x1b]11;rgb:0000/0000/0000\x1b\\"s, "\x1b]10;rgb:ffff/ffff/ffff\x07"s,
        "\x1b_Gi=1;OK\x1b\\"s, "\x1b^private\x1b\\"s, "\x1bXstart of string\x1b\\"s}) {
    SCOPED_TRACE(answer);
    EXPECT_EQ(Decode("a" + answer + "\x1b[Db\r"), (Names{"a", "unknown", "left", "b", "enter"}));
  }
  // BEL ends no other string, and an ESC that is no ST ends none: all of
  // it is the string's.
  EXPECT_EQ(Decode("\x1bPa\x07\x1b[A\r\x03b\x1b\\c"), (Names{"unknown", "c"}));
  EXPECT_EQ(Decode("\x1b]0;t\x1b\x1b\\d"), (Names{"unknown", "d"}));
  // Two answers back to back are two strings.
  EXPECT_EQ(Decode(tmuxAnswer + tmuxAnswer + "e"), (Names{"unknown", "unknown", "e"}));
}

TEST(KeyDecoder, AnAnswerCutAtAnyByteIsStillSwallowedWhole) {
  const std::string bytes = "a" + tmuxAnswer + "b";
  for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    KeyDecoder decoder(true, Narrow);
    decoder.Feed(bytes.data(), cut);
    std::vector<std::string> keys = Keys(decoder);
    // The terminal waits as long as the lone ESC wait only while something
    // is unfinished.
    EXPECT_EQ(decoder.Waiting(), cut > 1 && cut < bytes.size() - 1);
    decoder.Feed(bytes.data() + cut, bytes.size() - cut);
    for (const std::string &key : Keys(decoder))
      keys.push_back(key);
    EXPECT_EQ(keys, (Names{"a", "unknown", "b"}));
    EXPECT_FALSE(decoder.Waiting());
  }
  // One byte a read.
  KeyDecoder decoder(true, Narrow);
  std::vector<std::string> keys;
  for (const char byte : bytes) {
    decoder.Feed(&byte, 1);
    for (const std::string &key : Keys(decoder))
      keys.push_back(key);
  }
  EXPECT_EQ(keys, (Names{"a", "unknown", "b"}));
}

TEST(KeyDecoder, AStringFarLongerThanAnyAnswerIsDroppedAsItComesUntilItsEnd) {
  KeyDecoder decoder(true, Narrow);
  decoder.Feed("x\x1b]52;c;", 8);
  EXPECT_EQ(Keys(decoder), Names{"x"});
  const std::string chunk(4096, 'A');
  for (int i = 0; i < 256; ++i) {
    decoder.Feed(chunk.data(), chunk.size());
    ASSERT_EQ(Keys(decoder), Names{}) << "after " << i + 1 << " chunks";
    ASSERT_TRUE(decoder.Waiting());
  }
  decoder.Feed("\x07y", 2);
  EXPECT_EQ(Keys(decoder), (Names{"unknown", "y"}));
}

TEST(KeyDecoder, AStringThatStopsComingEndsWhenFlushed) {
  // Alt-P typed by hand, or an answer cut short: once nothing more comes,
  // the keys behind it are keys again.
  KeyDecoder decoder(true, Narrow);
  decoder.Feed("\x1bPab", 4);
  EXPECT_EQ(Keys(decoder), Names{});
  EXPECT_TRUE(decoder.Waiting());
  decoder.Flush();
  EXPECT_EQ(Keys(decoder), Names{"unknown"});
  EXPECT_FALSE(decoder.Waiting());
  decoder.Feed("cd\x1b\\", 4);
  EXPECT_EQ(Keys(decoder), (Names{"c", "d", "M-\\"}));
  // A flush that comes before the introducer takes the ESC as Escape.
  decoder.Feed("\x1b", 1);
  decoder.Flush();
  EXPECT_EQ(Keys(decoder), Names{"unknown"});
  decoder.Feed("P", 1);
  EXPECT_EQ(Keys(decoder), Names{"P"});
}

TEST(KeyDecoder, AltKeysThatIntroduceNoStringStayAltKeys) {
  EXPECT_EQ(Decode("\x1bp\x1bx\x1b\\\x1b\x1b[A\x1b\r"),
            (Names{"M-p", "M-x", "M-\\", "M-up", "M-enter"}));
  // ESC ESC P: the first ESC goes with the string behind it.
  EXPECT_EQ(Decode("\x1b\x1bPq\x1b\\r"), (Names{"unknown", "r"}));
}

TEST(KeyDecoder, EightBitStringsCountOnlyWithoutUtf8) {
  // DCS, OSC, APC, PM, SOS as single bytes, ending at the 8-bit ST; an OSC
  // also at BEL.
  for (const std::string &answer : {"\x90>|tmux\x9c"s, "\x9dltitle\x07"s, "\x9dltitle\x9c"s,
                                    "\x9fz\x9c"s, "\x9ez\x9c"s, "\x98z\x1b\\"s}) {
    SCOPED_TRACE(answer);
    EXPECT_EQ(Decode("a" + answer + "b", false), (Names{"a", "unknown", "b"}));
  }
  EXPECT_EQ(Decode("\x1bPz\x9c"
                   "b",
                   false),
            (Names{"unknown", "b"}));
  // In UTF-8 those bytes are parts of characters: a title with U+015C
  // (C5 9C) in an OSC does not end it early, and a stray byte is a mark.
  EXPECT_EQ(Decode("\x1b]l\xc5\x9c\r\x1b\\b"), (Names{"unknown", "b"}));
  EXPECT_EQ(Decode("\x90"
                   "b\x9c"),
            (Names{"\x90=?", "b", "\x9c=?"}));
}

TEST(KeyDecoder, APastedStringIntroducerIsText) {
  EXPECT_EQ(Decode("\x1b[200~\x1bPq\x1b[201~r"),
            (Names{"unknown", "p:unknown", "p:P", "p:q", "unknown", "r"}));
}

TEST(KeyDecoder, CharactersSplitTextAsTypingWould) {
  const KeyDecoder decoder(true, Narrow);
  const std::vector<Char> chars = decoder.Characters("a\xe6\x97\xa5\xc3");
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars[1].bytes, "\xe6\x97\xa5");
  EXPECT_EQ(chars[1].width, 2);
  EXPECT_EQ(chars[2].glyph, "?");
}
} // namespace
