#include "LineTokenizer.h"

#include <cstring>
#include <new>

LineTokenizer::LineTokenizer(const char *text, const char *delimiterSet, int tokenMode)
    : mode(tokenMode), delimiters(delimiterSet) {
  std::size_t length = std::strlen(text);
  copy = new (std::nothrow) char[length + 1];
  if (copy != nullptr)
    std::memcpy(copy, text, length + 1);
  cursor = copy;
  NextToken();
}

LineTokenizer::~LineTokenizer() { delete[] copy; }

const char *LineTokenizer::NextToken() {
  const char *previous = token;
  if (mode == 0 && cursor != nullptr) {
    while (*cursor != '\0' && std::strchr(delimiters, *cursor) != nullptr)
      ++cursor;
  }
  token = cursor;
  if (cursor == nullptr)
    return previous;
  char *end = std::strpbrk(cursor, delimiters);
  if (end != nullptr) {
    *end = '\0';
    cursor = end + 1;
  } else {
    cursor = nullptr;
  }
  return previous;
}
