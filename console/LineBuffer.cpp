#include "LineBuffer.h"

#include <cctype>

bool LineBuffer::IsWordChar(std::size_t index) const {
  // Anything beyond ASCII is taken for a letter: words in any script.
  const std::string_view bytes = chars.BytesAt(index);
  const unsigned char first = static_cast<unsigned char>(bytes.empty() ? ' ' : bytes[0]);
  return first >= 0x80 || std::isalnum(first);
}

bool LineBuffer::IsBlank(std::size_t index) const {
  const std::string_view bytes = chars.BytesAt(index);
  return bytes == " " || bytes == "\t";
}

std::string LineBuffer::BytesOf(const std::vector<Char> &chars) {
  std::string bytes;
  for (const Char &c : chars)
    bytes += c.bytes;
  return bytes;
}

void LineBuffer::Set(const CharString &line) {
  chars = line;
  cursor = chars.Size();
}

void LineBuffer::Clear() {
  chars.Clear();
  cursor = 0;
}

void LineBuffer::Insert(const Char &c) { chars.Insert(cursor++, c); }

void LineBuffer::Insert(const std::vector<Char> &text) {
  for (const Char &c : text)
    Insert(c);
}

void LineBuffer::MoveTo(std::size_t position) {
  cursor = position < chars.Size() ? position : chars.Size();
}

void LineBuffer::WordLeft() {
  while (cursor > 0 && !IsWordChar(cursor - 1))
    --cursor;
  while (cursor > 0 && IsWordChar(cursor - 1))
    --cursor;
}

void LineBuffer::WordRight() {
  while (cursor < chars.Size() && !IsWordChar(cursor))
    ++cursor;
  while (cursor < chars.Size() && IsWordChar(cursor))
    ++cursor;
}

void LineBuffer::Backspace() {
  if (cursor > 0)
    Erase(cursor - 1, cursor);
}

void LineBuffer::DeleteUnder() {
  if (cursor < chars.Size())
    Erase(cursor, cursor + 1);
}

void LineBuffer::KillToStart() { Erase(0, cursor); }

void LineBuffer::KillToEnd() { Erase(cursor, chars.Size()); }

void LineBuffer::KillBlankWordLeft() {
  std::size_t start = cursor;
  while (start > 0 && IsBlank(start - 1))
    --start;
  while (start > 0 && !IsBlank(start - 1))
    --start;
  Erase(start, cursor);
}

void LineBuffer::Replace(std::size_t start, const std::vector<Char> &text) {
  Erase(start, cursor);
  Insert(text);
}

void LineBuffer::Erase(std::size_t from, std::size_t to) {
  chars.Erase(from, to);
  cursor = from;
}
