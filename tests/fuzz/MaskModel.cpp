#include "MaskModel.h"

#include "ScreenModel.h"

#include <cstdint>
#include <vector>

namespace {
// The value of a parameter of digits, capped; an empty one is 0.
unsigned Value(const std::string &digits) {
  unsigned value = 0;
  for (const char c : digits)
    value = value > 1000 ? value : value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

std::vector<std::string> Split(const std::string &text, char at) {
  std::vector<std::string> parts{""};
  for (const char c : text) {
    if (c == at)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

// Whether SGR parameters set colours and text attributes only, and what
// they leave reverse video at (`reverse`: 1 on, 0 off, unchanged else).
bool ColoursOnly(const std::string &parameters, int &reverse) {
  const std::vector<std::string> groups = Split(parameters, ';');
  std::size_t values = 0;
  for (const std::string &group : groups)
    values += Split(group, ':').size();
  if (values > 16)
    return false;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::vector<std::string> parts = Split(groups[g], ':');
    const unsigned n = Value(parts[0]);
    if (n == 38 || n == 48 || n == 58) {
      // The colour, in the parameter's own parts or in those behind it.
      std::vector<unsigned> colour;
      if (parts.size() > 1) {
        for (std::size_t k = 1; k < parts.size(); ++k)
          colour.push_back(Value(parts[k]));
        const bool indexed = colour.size() == 2 && colour[0] == 5;
        const bool direct = (colour.size() == 4 || colour.size() == 5) && colour[0] == 2;
        if (!indexed && !direct)
          return false;
      } else {
        const std::size_t wanted = g + 1 < groups.size() && Value(groups[g + 1]) == 5 ? 2 : 4;
        for (std::size_t k = 1; k <= wanted && g + k < groups.size(); ++k) {
          if (groups[g + k].find(':') != std::string::npos)
            return false;
          colour.push_back(Value(groups[g + k]));
        }
        if (colour.size() != wanted || (colour[0] != 5 && colour[0] != 2))
          return false;
        g += wanted;
      }
      for (const unsigned component : colour)
        if (component > 255)
          return false;
      continue;
    }
    if (parts.size() > 1)
      return false;
    const bool attribute = n <= 9 || (n >= 21 && n <= 49) || n == 53 || n == 55 || n == 59 ||
                           (n >= 90 && n <= 97) || (n >= 100 && n <= 107);
    if (!attribute)
      return false;
    if (n == 7)
      reverse = 1;
    else if (n == 0 || n == 27)
      reverse = 0;
  }
  return true;
}

// The length of the SGR at p[0] that passes, 0 when there is none.
std::size_t SgrLength(const unsigned char *p, std::size_t n, int &reverse) {
  if (n < 2 || p[1] != '[')
    return 0;
  std::size_t j = 2;
  while (j < n && ((p[j] >= '0' && p[j] <= '9') || p[j] == ';' || p[j] == ':'))
    ++j;
  if (j == n || p[j] != 'm' || j + 1 > MaskModel::longestSgr)
    return 0;
  int effect = -1;
  if (!ColoursOnly(std::string(p + 2, p + j), effect))
    return 0;
  if (effect >= 0)
    reverse = effect;
  return j + 1;
}
} // namespace

MaskModel::MaskModel(HighByteIsText highByteIsText) : highByteIsText(highByteIsText) {}

void MaskModel::Show(const std::string &text, std::size_t begin, std::size_t end,
                     std::string &shown, std::string &masked) const {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text.data());
  std::size_t i = begin;
  std::size_t run = begin; // where the text not yet appended starts
  int reverse = 0;
  const auto appendRun = [&] {
    shown.append(text, run, i - run);
    masked.append(i - run, reverse ? Reverse : '\0');
  };
  while (i < end) {
    const unsigned char b = p[i];
    std::size_t passes = 0;
    if (b == 0x1b) {
      int after = reverse;
      const std::size_t sgr = SgrLength(p + i, end - i, after);
      if (sgr > 0) {
        appendRun();
        reverse = after;
        i += sgr;
        run = i;
        continue;
      }
    } else if ((b >= 0x20 && b < 0x7f) || b == '\t' || b == '\n' || b == '\r') {
      passes = 1;
    } else if (b >= 0x80 && highByteIsText == nullptr) {
      passes = ScreenModel::Utf8Length(p + i, end - i);
    } else if (b >= 0x80) {
      passes = highByteIsText(b) ? 1 : 0;
    }
    if (passes > 0) {
      i += passes;
      continue;
    }
    appendRun();
    if (b < 0x20 || b == 0x7f) {
      shown += '^';
      shown += static_cast<char>(b ^ 0x40);
    } else {
      const char digits[] = "0123456789ABCDEF";
      shown += '<';
      shown += digits[b >> 4];
      shown += digits[b & 15];
      shown += '>';
    }
    masked.append(shown.size() - masked.size(), reverse ? Masked | Reverse : Masked);
    run = ++i;
  }
  appendRun();
}

bool MaskModel::Windows1252(unsigned char byte) {
  return byte >= 0xa0 ||
         (byte != 0x81 && byte != 0x8d && byte != 0x8f && byte != 0x90 && byte != 0x9d);
}
