// The Windows console's key records, as ReadConsoleInputW gives them (the
// values below are those Wine's console and Windows send for the keys),
// decoded into the editor's keys.
#include "ConsoleKeyDecoder.h"
#include "FakeCodePages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Record = ConsoleKeyDecoder::Record;

const unsigned long LeftCtrl = ConsoleKeyDecoder::LeftCtrlPressed;
const unsigned long LeftAlt = ConsoleKeyDecoder::LeftAltPressed;
const unsigned long RightAlt = ConsoleKeyDecoder::RightAltPressed;

Record Press(unsigned short virtualKey, char16_t unit, unsigned long state = 0) {
  Record record;
  record.virtualKey = virtualKey;
  record.unit = unit;
  record.controlState = state;
  return record;
}

Record Release(unsigned short virtualKey, char16_t unit, unsigned long state = 0) {
  Record record = Press(virtualKey, unit, state);
  record.down = false;
  return record;
}

const unsigned long Shift = 0x10;

// The records Wine's console gives for bytes a terminal sends, as measured
// under tmux: an ESC and the character behind it are that character with
// Alt (and Shift for a capital), BEL is Ctrl-G, any other byte its
// character; each key pressed and released, with its modifiers around it.
std::vector<Record> AsWineReadsThem(const std::string &bytes) {
  std::vector<Record> records;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    unsigned long state = 0;
    if (c == '\x1b' && i + 1 < bytes.size()) {
      c = bytes[++i];
      state |= LeftAlt;
    }
    unsigned short virtualKey = static_cast<unsigned short>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (c == '\a') {
      state |= LeftCtrl;
      virtualKey = 'G';
    }
    if (c >= 'A' && c <= 'Z')
      state |= Shift;
    if (state & Shift)
      records.push_back(Press(ConsoleKeyDecoder::VkShift, 0, Shift));
    if (state & LeftAlt)
      records.push_back(Press(ConsoleKeyDecoder::VkMenu, 0, state));
    if (state & LeftCtrl)
      records.push_back(Press(ConsoleKeyDecoder::VkControl, 0, state));
    records.push_back(Press(virtualKey, static_cast<char16_t>(c), state));
    records.push_back(Release(virtualKey, static_cast<char16_t>(c), state));
    if (state & LeftAlt)
      records.push_back(Release(ConsoleKeyDecoder::VkMenu, 0, state & ~LeftAlt));
    if (state & LeftCtrl)
      records.push_back(Release(ConsoleKeyDecoder::VkControl, 0, state & ~LeftCtrl));
    if (state & Shift)
      records.push_back(Release(ConsoleKeyDecoder::VkShift, 0, 0));
  }
  return records;
}

// A character in a record of its own.
Record Character(char16_t unit) { return Press(0, unit); }

// The keys the records give, a word each: a character as its bytes, with
// "M-" before it for Alt; a control key as ^ and its letter; any other key
// as "key".
std::vector<std::string> Words(ConsoleKeyDecoder &decoder, const std::vector<Record> &records) {
  std::vector<std::string> words;
  for (const Record &record : records) {
    for (const Key &key : decoder.Decode(record)) {
      if (key.code == Key::Text)
        words.push_back((key.alt ? "M-" : "") + key.text.bytes);
      else if (key.code == Key::Control)
        words.push_back(std::string("^") + key.letter);
      else
        words.push_back("key");
    }
  }
  return words;
}

using Names = std::vector<std::string>;

class ConsoleKeyDecoderTest : public testing::Test {
protected:
  // One key from one record; fails the test unless there is exactly one.
  Key One(const Record &record) {
    const std::vector<Key> keys = decoder.Decode(record);
    EXPECT_EQ(keys.size(), 1u);
    return keys.empty() ? Key() : keys.front();
  }

  Utf8Page utf8;
  Latin1Page latin1;
  ConsoleKeyDecoder decoder{utf8, utf8};
};

TEST_F(ConsoleKeyDecoderTest, EditingKeysKeepCtrlAndAlt) {
  const struct {
    unsigned short virtualKey;
    Key::Code code;
  } keys[] = {
      {ConsoleKeyDecoder::VkLeft, Key::Left},     {ConsoleKeyDecoder::VkRight, Key::Right},
      {ConsoleKeyDecoder::VkUp, Key::Up},         {ConsoleKeyDecoder::VkDown, Key::Down},
      {ConsoleKeyDecoder::VkHome, Key::Home},     {ConsoleKeyDecoder::VkEnd, Key::End},
      {ConsoleKeyDecoder::VkDelete, Key::Delete}, {ConsoleKeyDecoder::VkBack, Key::Backspace},
      {ConsoleKeyDecoder::VkTab, Key::Tab}};
  for (const auto &expected : keys) {
    SCOPED_TRACE(expected.virtualKey);
    const Key plain = One(Press(expected.virtualKey, 0));
    EXPECT_EQ(plain.code, expected.code);
    EXPECT_FALSE(plain.ctrl);
    EXPECT_FALSE(plain.alt);
    const Key ctrl = One(Press(expected.virtualKey, 0, LeftCtrl));
    EXPECT_EQ(ctrl.code, expected.code);
    EXPECT_TRUE(ctrl.ctrl);
    EXPECT_TRUE(One(Press(expected.virtualKey, 0, LeftAlt)).alt);
  }
  // Enter types CR; a line feed (Ctrl-Enter, or one in pasted text) ends
  // the line as well.
  EXPECT_EQ(One(Press(ConsoleKeyDecoder::VkReturn, '\r')).code, Key::Enter);
  EXPECT_EQ(One(Press(ConsoleKeyDecoder::VkReturn, '\n', LeftCtrl)).code, Key::Enter);
}

TEST_F(ConsoleKeyDecoderTest, ControlCharactersBecomeControlKeysNotText) {
  // Ctrl-A, Ctrl-C, Ctrl-R, Ctrl-W, Ctrl-Z: the letter's virtual key, the
  // control character as the unit.
  for (char letter : {'A', 'C', 'D', 'R', 'W', 'Z'}) {
    const Key key = One(Press(static_cast<unsigned short>(letter),
                              static_cast<char16_t>(letter - 'A' + 1), LeftCtrl));
    EXPECT_EQ(key.code, Key::Control) << letter;
    EXPECT_EQ(key.letter, letter);
  }
  // Ctrl-H and the DEL that Ctrl-Backspace types both rub out.
  EXPECT_EQ(One(Press('H', 0x08, LeftCtrl)).code, Key::Backspace);
  EXPECT_EQ(One(Press(ConsoleKeyDecoder::VkBack, 0x7f, LeftCtrl)).code, Key::Backspace);
  // Escape, Ctrl-] and a sequence the console read but could not name (a
  // VT220 Home from tmux under Wine: no key code, no character) are
  // swallowed.
  EXPECT_EQ(One(Press(0x1b, 0x1b)).code, Key::Unknown);
  EXPECT_EQ(One(Press(0xdd, 0x1d, LeftCtrl)).code, Key::Unknown);
  EXPECT_EQ(One(Press(0, 0)).code, Key::Unknown);
  EXPECT_EQ(One(Press(0x70, 0)).code, Key::Unknown); // F1
}

TEST_F(ConsoleKeyDecoderTest, AltMarksALetterButAltGrTypesTheCharacter) {
  const Key altB = One(Press('B', 'b', LeftAlt));
  EXPECT_EQ(altB.code, Key::Text);
  EXPECT_EQ(altB.text.bytes, "b");
  EXPECT_TRUE(altB.alt);
  // AltGr is reported as Right Alt with Left Ctrl.
  const Key at = One(Press('Q', '@', RightAlt | LeftCtrl));
  EXPECT_EQ(at.code, Key::Text);
  EXPECT_EQ(at.text.bytes, "@");
  EXPECT_FALSE(at.alt);
}

TEST_F(ConsoleKeyDecoderTest, ReleasesAndLoneModifiersTypeNothing) {
  EXPECT_TRUE(decoder.Decode(Release('A', 'a')).empty());
  EXPECT_TRUE(decoder.Decode(Press(ConsoleKeyDecoder::VkShift, 0, 0x10)).empty());
  EXPECT_TRUE(decoder.Decode(Press(ConsoleKeyDecoder::VkControl, 0, LeftCtrl)).empty());
  EXPECT_TRUE(decoder.Decode(Press(ConsoleKeyDecoder::VkMenu, 0, LeftAlt)).empty());
  EXPECT_TRUE(decoder.Decode(Press(ConsoleKeyDecoder::VkCapital, 0)).empty());
  // Alt held while typing 0233 on the numeric pad: the character comes
  // with the release of Alt, and is no Alt key.
  const Key composed = One(Release(ConsoleKeyDecoder::VkMenu, u'\u00e9'));
  EXPECT_EQ(composed.code, Key::Text);
  EXPECT_EQ(composed.text.bytes, "\xc3\xa9");
  EXPECT_FALSE(composed.alt);
}

TEST_F(ConsoleKeyDecoderTest, ARepeatCountTypesTheKeyThatOften) {
  Record held = Press('X', 'x');
  held.repeat = 3;
  const std::vector<Key> keys = decoder.Decode(held);
  ASSERT_EQ(keys.size(), 3u);
  for (const Key &key : keys)
    EXPECT_EQ(key.text.bytes, "x");
  held.repeat = 0;
  EXPECT_EQ(decoder.Decode(held).size(), 1u);
}

TEST_F(ConsoleKeyDecoderTest, ASurrogatePairIsOneCharacterAndAStrayHalfIsDropped) {
  // U+1F600 comes as two records, one half each.
  EXPECT_TRUE(decoder.Decode(Press(0, 0xd83d)).empty());
  const Key emoji = One(Press(0, 0xde00));
  EXPECT_EQ(emoji.code, Key::Text);
  EXPECT_EQ(emoji.text.bytes, "\xf0\x9f\x98\x80");
  EXPECT_EQ(emoji.text.width, 2);
  // A low half with nothing before it, and a high half that nothing
  // completes, never reach the line.
  EXPECT_TRUE(decoder.Decode(Press(0, 0xde00)).empty());
  EXPECT_TRUE(decoder.Decode(Press(0, 0xd83d)).empty());
  EXPECT_EQ(One(Press('A', 'a')).text.bytes, "a");
  EXPECT_TRUE(decoder.Decode(Press(0, 0xde00)).empty());
}

TEST_F(ConsoleKeyDecoderTest, BytesAreTheInputPagesAndTheGlyphTheOutputPages) {
  // The input page decides what goes to the pipe, as a cooked read in it
  // would give; a character the page lacks is its stand-in, as there.
  ConsoleKeyDecoder latinIn(latin1, utf8);
  const Key e = latinIn.Decode(Press(0, u'\u00e9')).at(0);
  EXPECT_EQ(e.text.bytes, "\xe9");
  EXPECT_EQ(e.text.glyph, "\xc3\xa9");
  EXPECT_EQ(e.text.width, 1);
  const Key wide = latinIn.Decode(Press(0, u'\u4e2d')).at(0);
  EXPECT_EQ(wide.text.bytes, "?");
  EXPECT_EQ(wide.text.glyph, "\xe4\xb8\xad");
  EXPECT_EQ(wide.text.width, 2);

  // A wide character that the output page shows as '?' takes one column.
  ConsoleKeyDecoder latinOut(utf8, latin1);
  const Key shown = latinOut.Decode(Press(0, u'\u4e2d')).at(0);
  EXPECT_EQ(shown.text.bytes, "\xe4\xb8\xad");
  EXPECT_EQ(shown.text.glyph, "?");
  EXPECT_EQ(shown.text.width, 1);
  EXPECT_EQ(One(Press(0, u'\uff21')).text.width, 2); // fullwidth A
  EXPECT_EQ(One(Press(0, u'\u00e9')).text.width, 1);
}

TEST_F(ConsoleKeyDecoderTest, ATerminalsAnswerStringIsNoKeys) {
  // What tmux answers a server's ESC[>q with, and the other kinds: DCS,
  // APC, PM and SOS end at ST; an OSC at ST or BEL.
  for (const char *answer :
       {"\x1bP>|tmux 3.3a\x1b\\", "\x1b]11;rgb:0000/0000/0000\x1b\\",
        "\x1b]10;rgb:ffff/ffff/ffff\a", "\x1b_Gi=1;OK\x1b\\", "\x1b^pm\x1b\\", "\x1bXsos\x1b\\"}) {
    SCOPED_TRACE(answer);
    EXPECT_EQ(Words(decoder, AsWineReadsThem("a" + std::string(answer) + "b\ac")),
              (Names{"a", "key", "b", "^G", "c"}));
    EXPECT_FALSE(decoder.Waiting());
  }
  // BEL ends no DCS, and Alt with another character ends none.
  EXPECT_EQ(Words(decoder, AsWineReadsThem("\x1bPa\a\x1b[b\x1b\\c")), (Names{"key", "c"}));
}

TEST_F(ConsoleKeyDecoderTest, AControlSequenceThatIsNoKeyIsOneKeyThatDoesNothing) {
  // What a terminal answers ESC[c, ESC[>c and ESC[6n with, as Wine hands
  // them on: Alt-[ and characters.
  for (const char *answer : {"\x1b[?1;2c", "\x1b[>84;0;0c", "\x1b[4;6R", "\x1b[0n"}) {
    SCOPED_TRACE(answer);
    EXPECT_EQ(Words(decoder, AsWineReadsThem("a" + std::string(answer) + "b")),
              (Names{"a", "key", "b"}));
    EXPECT_FALSE(decoder.Waiting());
  }
  // The 8-bit CSI, and an ESC record of its own before the '['.
  EXPECT_EQ(Words(decoder, {Character(0x9b), Character('1'), Character('m'), Character('x')}),
            (Names{"key", "x"}));
  EXPECT_EQ(Words(decoder, {Press(0x1b, 0x1b), Character('['), Character('2'), Character('~'),
                            Character('y')}),
            (Names{"key", "key", "y"}));
  // A character that cannot be in a sequence ends it, unfinished; so does
  // a key without one, which stays a key.
  EXPECT_EQ(Words(decoder, AsWineReadsThem("\x1b[1\tz")), (Names{"key", "z"}));
  EXPECT_EQ(Words(decoder, {Press(0xdb, '[', LeftAlt), Character('1')}), Names{});
  EXPECT_EQ(One(Press(ConsoleKeyDecoder::VkLeft, 0)).code, Key::Left);
  EXPECT_FALSE(decoder.Waiting());
  // Cut short: nothing more comes, and the next character is typed.
  EXPECT_EQ(Words(decoder, AsWineReadsThem("\x1b[12")), Names{});
  EXPECT_TRUE(decoder.Waiting());
  decoder.Flush();
  EXPECT_EQ(Words(decoder, {Character('q')}), Names{"q"});
}

TEST_F(ConsoleKeyDecoderTest, AStringAfterAnEscapeRecordIsNoKeysEither) {
  // A console that gives the ESC a record of its own: the Escape key, and
  // then the string's start.
  EXPECT_EQ(
      Words(decoder, {Character('a'), Press(0x1b, 0x1b), Press(0x10, 0, Shift), Character('P'),
                      Character('z'), Press(0x1b, 0x1b), Character('\\'), Character('b')}),
      (Names{"a", "key", "key", "b"}));
  // The 8-bit forms as characters: no key types them.
  EXPECT_EQ(Words(decoder, {Character(0x9d), Character('0'), Character(0x07), Character(0x90),
                            Character('q'), Character(0x9c), Character('b')}),
            (Names{"key", "key", "b"}));
}

TEST_F(ConsoleKeyDecoderTest, AStringEndsUnfinishedWhenNothingMoreComes) {
  EXPECT_EQ(Words(decoder, AsWineReadsThem("\x1bPx")), Names{});
  EXPECT_TRUE(decoder.Waiting());
  decoder.Flush();
  EXPECT_FALSE(decoder.Waiting());
  EXPECT_EQ(Words(decoder, AsWineReadsThem("yz")), (Names{"y", "z"}));
  // An Escape key waits for what may be a string's start; flushed, the
  // next character is typed.
  EXPECT_EQ(Words(decoder, {Press(0x1b, 0x1b)}), Names{"key"});
  EXPECT_TRUE(decoder.Waiting());
  decoder.Flush();
  EXPECT_EQ(Words(decoder, {Character('P')}), Names{"P"});
}

TEST_F(ConsoleKeyDecoderTest, AltKeysThatIntroduceNoStringStayKeys) {
  EXPECT_EQ(Words(decoder, AsWineReadsThem("\x1b"
                                           "b\x1b"
                                           "f\x1bp\x1b\\")),
            (Names{"M-b", "M-f", "M-p", "M-\\"}));
  // AltGr with the key of ']' types it; Alt composing 'P' on the numeric
  // pad types it.
  EXPECT_EQ(Words(decoder, {Press(0xdd, ']', RightAlt | LeftCtrl),
                            Release(ConsoleKeyDecoder::VkMenu, 'P', LeftAlt), Character('x')}),
            (Names{"]", "P", "x"}));
  EXPECT_FALSE(decoder.Waiting());
}

TEST_F(ConsoleKeyDecoderTest, BytesSplitIntoTheCharactersTypingThemGives) {
  const std::string bytes = "p\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80";
  const std::vector<Char> chars = decoder.Characters(bytes);
  ASSERT_EQ(chars.size(), 4u);
  std::string joined;
  for (const Char &c : chars)
    joined += c.bytes;
  EXPECT_EQ(joined, bytes);
  EXPECT_EQ(chars[1].bytes, "\xc3\xa9");
  EXPECT_EQ(chars[0].width + chars[1].width + chars[2].width + chars[3].width, 6);
  // Typing the same character gives the same Char.
  const Key typed = One(Press(0, u'\u4e2d'));
  EXPECT_EQ(typed.text.bytes, chars[2].bytes);
  EXPECT_EQ(typed.text.glyph, chars[2].glyph);
  EXPECT_EQ(typed.text.width, chars[2].width);

  ConsoleKeyDecoder latinIn(latin1, latin1);
  const std::vector<Char> single = latinIn.Characters("a\xe9");
  ASSERT_EQ(single.size(), 2u);
  EXPECT_EQ(single[1].bytes, "\xe9");
  EXPECT_TRUE(decoder.Characters("").empty());
}
} // namespace
