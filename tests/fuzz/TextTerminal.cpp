#include "TextTerminal.h"

#include <cstdio>
#include <cstring>

namespace {
// How the mask sets its runs apart.
const char reverseVideo[] = "\x1b[0;7m";

bool Fault(std::string &problem, const char *what, std::size_t at, const unsigned char *p,
           std::size_t length) {
  char where[64];
  std::snprintf(where, sizeof where, " at byte %zu of %zu:", at, length);
  problem = std::string(what) + where;
  for (std::size_t i = at; i < length && i < at + 16; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02x", p[i]);
    problem += hex;
  }
  return false;
}
} // namespace

TextTerminal::TextTerminal(MaskModel::HighByteIsText highByteIsText, bool colours)
    : highByteIsText(highByteIsText), colours(colours) {}

void TextTerminal::Restart() {
  atDefault = true;
  reverse = false;
}

bool TextTerminal::Read(const char *bytes, std::size_t length, std::string &shown,
                        std::string &reversed, std::string &problem) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
  std::size_t i = 0;
  std::size_t run = 0; // where the text not yet appended starts
  const auto appendRun = [&] {
    shown.append(bytes + run, i - run);
    reversed.append(i - run, reverse ? '\1' : '\0');
  };
  while (i < length) {
    const unsigned char b = p[i];
    if (b == 0x1b) {
      if (!colours)
        return Fault(problem, "an ESC on a console without sequences", i, p, length);
      std::size_t j = i + 2;
      while (j < length && ((p[j] >= '0' && p[j] <= '9') || p[j] == ';' || p[j] == ':'))
        ++j;
      if (i + 1 >= length || p[i + 1] != '[' || j >= length || p[j] != 'm')
        return Fault(problem, "an ESC that begins no whole SGR", i, p, length);
      appendRun();
      // Every parameter 0 or empty: all attributes back to the default.
      atDefault = true;
      for (std::size_t k = i + 2; k < j; ++k)
        atDefault = atDefault && (p[k] == '0' || p[k] == ';');
      reverse = j + 1 - i == sizeof reverseVideo - 1 &&
                std::memcmp(bytes + i, reverseVideo, sizeof reverseVideo - 1) == 0;
      i = j + 1;
      run = i;
      continue;
    }
    std::size_t passes = 0;
    if ((b >= 0x20 && b < 0x7f) || b == '\t' || b == '\n' || b == '\r')
      passes = 1;
    else if (b >= 0x80 && highByteIsText == nullptr)
      passes = MaskModel::Utf8Text(p + i, length - i);
    else if (b >= 0x80)
      passes = highByteIsText(b) ? 1 : 0;
    if (passes == 0) {
      if (b < 0x80)
        return Fault(problem, "a control byte", i, p, length);
      if (highByteIsText == nullptr)
        return Fault(problem, "no UTF-8 text (C1, surrogate, overlong, cut...)", i, p, length);
      return Fault(problem, "a byte the code page has no text for", i, p, length);
    }
    i += passes;
  }
  appendRun();
  return true;
}
