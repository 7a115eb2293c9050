#include "FeedText.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <vector>

namespace {
// The words of each kind, a blank between each.
const char plainWords[] =
    "the server sent a line of plain text with words and numbers client pipe message worker "
    "queue request reply status ok error timeout retry 0x1f 42 3.14 (done) [info] "
    "path=/var/log/app.log user@example.org #7 -- a+b=c 50% it's \"quoted\" x*y {k:v}";
const char utf8Words[] = "Grüße naïve café résumé Straße façade żółć "
                         "Ελληνικά κείμενο русский текст привет "
                         "日本語 テキスト 中文 文本 한국어 "
                         "✓ → € … 🙂 the and 42";
// The colour log's levels: each in its colour, reset behind it.
const char levels[] = "\x1b[32mINFO\x1b[0m \x1b[33mWARN\x1b[0m \x1b[31;1mERROR\x1b[0m "
                      "\x1b[2mDEBUG\x1b[0m";

std::vector<std::string> Split(const char *text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  std::string word;
  while (stream >> word)
    words.push_back(word);
  return words;
}

// A fixed pseudo-random sequence, so that every run sends the same bytes.
class Sequence {
public:
  std::size_t Next(std::size_t below) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::size_t>(state >> 33) % below;
  }

private:
  std::uint64_t state = 1;
};

const std::string &Pick(Sequence &random, const std::vector<std::string> &words) {
  return words[random.Next(words.size())];
}

std::string Line(FeedText::Kind kind, Sequence &random, std::size_t number) {
  static const std::vector<std::string> plain = Split(plainWords);
  static const std::vector<std::string> utf8 = Split(utf8Words);
  static const std::vector<std::string> level = Split(levels);
  const std::size_t length = 20 + random.Next(80);
  std::string line;
  if (kind == FeedText::Kind::Coloured) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "\x1b[2m12:%02zu:%02zu.%03zu\x1b[0m ", number / 60 % 60,
                  number % 60, number % 1000);
    line = stamp;
    line += Pick(random, level);
    line += " \x1b[1mworker-";
    line += std::to_string(number % 8);
    line += "\x1b[22m:";
  }
  // The words' bytes, colours included, whatever came before them.
  const std::size_t start = line.size();
  while (line.size() - start < length) {
    if (line.size() > start || kind == FeedText::Kind::Coloured)
      line += ' ';
    if (kind == FeedText::Kind::Utf8) {
      line += Pick(random, utf8);
    } else if (kind == FeedText::Kind::Coloured && random.Next(3) == 0) {
      line += "\x1b[36m";
      line += Pick(random, plain);
      line += "\x1b[39m";
    } else {
      line += Pick(random, plain);
    }
  }
  if (kind == FeedText::Kind::Coloured)
    line += "\x1b[0m";
  line += '\n';
  return line;
}
} // namespace

std::string FeedText::Block(Kind kind, std::size_t bytes) {
  Sequence random;
  std::string block;
  block.reserve(bytes);
  for (std::size_t number = 0;; ++number) {
    const std::string line = Line(kind, random, number);
    if (block.size() + line.size() > bytes)
      return block;
    block += line;
  }
}

std::string FeedText::Tail(const std::string &block, std::size_t bytes) {
  const std::size_t room = bytes - 2;
  std::size_t lines = block.size();
  // npos + 1 is 0: no whole line fits.
  if (room < block.size())
    lines = room == 0 ? 0 : block.rfind('\n', room - 1) + 1;
  std::string tail = block.substr(0, lines);
  tail.append(room - tail.size(), '.');
  tail += endMark;
  tail += '\n';
  return tail;
}

std::string FeedText::Message(std::size_t index, std::size_t bytes, bool last) {
  static const char filler[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string message = "message " + std::to_string(index) + " ";
  while (message.size() < bytes - 1)
    message += filler[message.size() % (sizeof filler - 1)];
  message.resize(bytes - 1);
  if (last)
    message.back() = endMark;
  message += '\n';
  return message;
}
