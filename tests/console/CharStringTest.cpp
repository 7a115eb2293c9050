// The compact line: its characters, kept width and byte count against a
// plain vector of characters, wherever the edits move its gap.
#include "CharString.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {
// Characters of every shape: one byte, several, a glyph unlike the bytes,
// wide, of no width, and too long for a cell, bytes or glyph.
const std::vector<Char> kinds = {
    {"a", "a", 1},    {"\xc3\xa9", "\xc3\xa9", 1}, {"\xe6\x97\xa5", "\xe6\x97\xa5", 2},
    {"\t", "^I", 2},  {"\xcc\x81", "\xcc\x81", 0}, {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80", 2},
    {"\x81", "?", 1}, {"abcdef", "abcdef", 6},     {"x", "<U+1F600>", 9},
    {"", "", 1},
};

std::string BytesOf(const std::vector<Char> &chars, std::size_t from, std::size_t to) {
  std::string bytes;
  for (std::size_t i = from; i < to; ++i)
    bytes += chars[i].bytes;
  return bytes;
}

// Compares every observable of `line` with the model.
void ExpectSame(const CharString &line, const std::vector<Char> &model) {
  ASSERT_EQ(line.Size(), model.size());
  std::size_t width = 0;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < model.size(); ++i) {
    ASSERT_EQ(line.BytesAt(i), model[i].bytes) << "at " << i;
    ASSERT_EQ(line.GlyphAt(i), model[i].glyph) << "at " << i;
    ASSERT_EQ(line.WidthAt(i), model[i].width) << "at " << i;
    width += static_cast<std::size_t>(model[i].width);
    bytes += model[i].bytes.size();
  }
  EXPECT_EQ(line.Width(), width);
  // The whole line's bytes are as many as the kept count.
  EXPECT_EQ(line.Bytes(), BytesOf(model, 0, model.size()));
  EXPECT_EQ(line.Bytes().size(), bytes);
  EXPECT_EQ(line.Empty(), model.empty());
}

CharString Make(const std::vector<Char> &chars) {
  CharString line;
  for (const Char &c : chars)
    line.Insert(line.Size(), c);
  return line;
}

CharString Ascii(const std::string &text) {
  CharString line;
  for (const char byte : text)
    line.Insert(line.Size(), Char{std::string(1, byte), std::string(1, byte), 1});
  return line;
}

TEST(CharString, EditsAnywhereKeepTheCharactersWidthAndBytes) {
  // Inserts and erases at places that move the gap back, forward, to the
  // ends and not at all, with runs of edits at one place between.
  std::mt19937 random(22);
  CharString line;
  std::vector<Char> model;
  std::size_t at = 0;
  for (int step = 0; step < 3000; ++step) {
    const unsigned pick = random() % 10;
    if (pick < 2)
      at = random() % (model.size() + 1);
    if (pick < 7 || model.empty()) {
      const Char &c = kinds[random() % kinds.size()];
      line.Insert(at, c);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), c);
      ++at;
    } else {
      const std::size_t from = random() % model.size();
      const std::size_t to = from + 1 + random() % std::min<std::size_t>(model.size() - from, 5);
      line.Erase(from, to);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(from),
                  model.begin() + static_cast<std::ptrdiff_t>(to));
      at = from;
    }
    if (step % 97 == 0)
      ExpectSame(line, model);
  }
  ExpectSame(line, model);
  for (std::size_t from : {std::size_t(0), model.size() / 3, model.size()})
    EXPECT_EQ(line.Bytes(from, model.size()), BytesOf(model, from, model.size()));
  line.Erase(0, model.size());
  ExpectSame(line, {});
}

TEST(CharString, ACopyIsIndependentAndTheMovedFromStringEmpty) {
  CharString line = Make(kinds);
  // Characters kept aside and erased again are not copied.
  line.Erase(7, 9);
  line.Insert(3, kinds[8]);
  std::vector<Char> model = kinds;
  model.erase(model.begin() + 7, model.begin() + 9);
  model.insert(model.begin() + 3, kinds[8]);

  CharString copy = line;
  ExpectSame(copy, model);
  copy.Insert(0, kinds[7]);
  copy.Erase(4, 5);
  ExpectSame(line, model);

  CharString moved = std::move(copy);
  EXPECT_TRUE(copy.Empty());
  EXPECT_EQ(copy.Width(), 0u);
  copy.Insert(0, kinds[0]);
  ExpectSame(copy, {kinds[0]});
  copy = line;
  ExpectSame(copy, model);
  line.Clear();
  ExpectSame(line, {});
  ExpectSame(copy, model);
}

TEST(CharString, SameBytesComparesTheBytesHoweverTheyAreSplit) {
  const CharString whole = Make({{"ab", "ab", 1}, {"c", "c", 1}});
  EXPECT_TRUE(whole.SameBytes(Ascii("abc")));
  EXPECT_TRUE(Ascii("abc").SameBytes(whole));
  EXPECT_FALSE(whole.SameBytes(Ascii("abd")));
  EXPECT_FALSE(whole.SameBytes(Ascii("ab")));
  EXPECT_TRUE(CharString().SameBytes(Make({{"", "", 1}})));
  // Glyphs and widths are no part of it.
  EXPECT_TRUE(Make({{"\t", "^I", 2}}).SameBytes(Make({{"\t", " ", 1}})));
}

TEST(CharString, FindMatchesFromACharacterStart) {
  const CharString line = Make({{"x", "x", 1},
                                {"\xc3\xa9", "\xc3\xa9", 1},
                                {"a", "a", 1},
                                {"b", "b", 1},
                                {"\xc3\xa9", "\xc3\xa9", 1}});
  struct Case {
    std::string text;
    std::size_t start;
    bool found;
    std::size_t position;
  } cases[] = {
      {"ab", 0, true, 2},
      {"\xc3\xa9", 0, true, 1},
      // The second byte of a character starts no match.
      {"\xa9", 0, false, 0},
      {"\xa9"
       "ab",
       0, false, 0},
      // Across characters, and ending inside one.
      {"x\xc3\xa9"
       "a",
       0, true, 0},
      {"b\xc3", 0, true, 3},
      {"b\xc3\xa9!", 0, false, 0},
      {"", 0, true, 0},
      // From a character on.
      {"\xc3\xa9", 2, true, 4},
      {"ab", 2, true, 2},
      {"ab", 3, false, 0},
      {"", 5, true, 5},
  };
  for (const Case &c : cases) {
    std::size_t position = 99;
    EXPECT_EQ(line.Find(c.text, position, c.start), c.found) << c.text;
    if (c.found) {
      EXPECT_EQ(position, c.position) << c.text;
    }
  }
}
} // namespace
