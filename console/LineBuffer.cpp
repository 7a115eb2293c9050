#include "LineBuffer.h"

#include <cctype>

namespace {
bool IsWordChar(const Char &c) {
  // Anything beyond ASCII is taken for a letter: words in any script.
  const unsigned char first = static_cast<unsigned char>(c.bytes.empty() ? ' ' : c.bytes[0]);
  return first >= 0x80 || std::isalnum(first);
}

bool IsBlank(const Char &c) { return c.bytes == " " || c.bytes == "\t"; }
} // namespace

std::string LineBuffer::BytesOf(const std::vector<Char> &chars) {
  std::string bytes;
  for (const Char &c : chars)
    bytes += c.bytes;
  return bytes;
}

std::string LineBuffer::Bytes() const { return BytesOf(chars); }

void LineBuffer::Set(const std::vector<Char> &line) {
  chars = line;
  cursor = chars.size();
}

void LineBuffer::Insert(const Char &c) { chars.insert(chars.begin() + cursor++, c); }

void LineBuffer::Insert(const std::vector<Char> &text) {
  chars.insert(chars.begin() + cursor, text.begin(), text.end());
  cursor += text.size();
}

void LineBuffer::MoveTo(std::size_t position) {
  cursor = position < chars.size() ? position : chars.size();
}

void LineBuffer::WordLeft() {
  while (cursor > 0 && !IsWordChar(chars[cursor - 1]))
    --cursor;
  while (cursor > 0 && IsWordChar(chars[cursor - 1]))
    --cursor;
}

void LineBuffer::WordRight() {
  while (cursor < chars.size() && !IsWordChar(chars[cursor]))
    ++cursor;
  while (cursor < chars.size() && IsWordChar(chars[cursor]))
    ++cursor;
}

void LineBuffer::Backspace() {
  if (cursor > 0)
    Erase(cursor - 1, cursor);
}

void LineBuffer::DeleteUnder() {
  if (cursor < chars.size())
    Erase(cursor, cursor + 1);
}

void LineBuffer::KillToStart() { Erase(0, cursor); }

void LineBuffer::KillToEnd() { Erase(cursor, chars.size()); }

void LineBuffer::KillBlankWordLeft() {
  std::size_t start = cursor;
  while (start > 0 && IsBlank(chars[start - 1]))
    --start;
  while (start > 0 && !IsBlank(chars[start - 1]))
    --start;
  Erase(start, cursor);
}

void LineBuffer::Replace(std::size_t start, const std::vector<Char> &text) {
  Erase(start, cursor);
  Insert(text);
}

void LineBuffer::Erase(std::size_t from, std::size_t to) {
  chars.erase(chars.begin() + from, chars.begin() + to);
  cursor = from;
}
