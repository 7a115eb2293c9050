#include "TextTerminal.h"

#include <cstdio>
#include <cstring>

#include <vector>

namespace {

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

TextTerminal::TextTerminal(MaskModel::HighByteIsText highByteIsText, bool colours, bool editor)
    : highByteIsText(highByteIsText), colours(colours), editor(editor) {}

void TextTerminal::Restart() {
  attributes = false;
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
      const std::size_t own = editor ? EditorSequence(p + i, length - i) : 0;
      if (own > 0) {
        appendRun();
        i += own;
        run = i;
        continue;
      }
      std::size_t j = i + 2;
      while (j < length && ((p[j] >= '0' && p[j] <= '9') || p[j] == ';' || p[j] == ':'))
        ++j;
      if (i + 1 >= length || p[i + 1] != '[' || j >= length || p[j] != 'm')
        return Fault(problem, "an ESC that begins no whole SGR", i, p, length);
      appendRun();
      if (!Obey(p + i + 2, j - i - 2))
        return Fault(problem, "an SGR that selects a font", i, p, length);
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

bool TextTerminal::Obey(const unsigned char *p, std::size_t n) {
  // Each value, and whether a ':' came before it.
  std::vector<std::pair<unsigned, bool>> values{{0, false}};
  for (std::size_t k = 0; k < n; ++k) {
    if (p[k] == ';' || p[k] == ':')
      values.push_back({0, p[k] == ':'});
    else if (values.back().first < 1000)
      values.back().first = values.back().first * 10 + (p[k] - '0');
  }
  if (values.size() > maxParameters)
    return true;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const unsigned v = values[k].first;
    if (v == 38 || v == 48 || v == 58) {
      attributes = true;
      // Its colour: the parts behind a ':', or 5;N or 2;R;G;B.
      if (k + 1 < values.size() && values[k + 1].second) {
        while (k + 1 < values.size() && values[k + 1].second)
          ++k;
      } else {
        k += k + 1 < values.size() && values[k + 1].first == 5 ? 2 : 4;
      }
      continue;
    }
    if (v >= 10 && v <= 19)
      return false;
    if (v == 0)
      attributes = false;
    if (v == 7)
      reverse = true;
    else if (v == 0 || v == 27)
      reverse = false;
    else
      attributes = true;
  }
  return true;
}

std::size_t TextTerminal::EditorSequence(const unsigned char *p, std::size_t n) const {
  if (n >= 2 && (p[1] == '7' || p[1] == '8' || p[1] == 'D' || p[1] == 'M'))
    return 2;
  if (n < 3 || p[1] != '[')
    return 0;
  std::size_t j = 2;
  while (j < n && p[j] >= '0' && p[j] <= '9')
    ++j;
  if (j < n && p[j] != 0 && std::strchr("ABCDHJK", p[j]) != nullptr)
    return j + 1;
  return 0;
}
