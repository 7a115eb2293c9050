#include "VisibleText.h"

#include <cstdio>

std::string VisibleText(const std::string &text, std::size_t from, std::size_t most) {
  std::string shown;
  for (std::size_t i = from; i < text.size() && i < from + most; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
    shown += escaped;
  }
  return shown + (text.size() > from + most ? "..." : "");
}
