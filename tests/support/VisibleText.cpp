#include "VisibleText.h"

#include <cstdio>

std::string VisibleText(const std::string &text, std::size_t from, std::size_t most) {
  std::string visible;
  for (std::size_t i = from; i < text.size() && i - from < most; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
    case '\r':
      visible += "\\r";
      break;
    case '\n':
      visible += "\\n";
      break;
    case '\t':
      visible += "\\t";
      break;
    case '\0':
      visible += "\\0";
      break;
    case '\\':
    case '"':
      visible += '\\';
      visible += static_cast<char>(c);
      break;
    default:
      if (c < 0x20 || c >= 0x7f) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        visible += hex;
      } else {
        visible += static_cast<char>(c);
      }
    }
  }
  if (from < text.size() && text.size() - from > most) {
    visible += "...(" + std::to_string(text.size()) + " bytes)";
  }
  return visible;
}
