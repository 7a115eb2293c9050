#include "MaskModel.h"

#include <cstdint>

namespace {
std::size_t SgrLength(const unsigned char *p, std::size_t n) {
  if (n < 2 || p[1] != '[')
    return 0;
  std::size_t j = 2;
  while (j < n && ((p[j] >= '0' && p[j] <= '9') || p[j] == ';' || p[j] == ':'))
    ++j;
  if (j == n || p[j] != 'm' || j + 1 > MaskModel::longestSgr)
    return 0;
  return j + 1;
}
} // namespace

MaskModel::MaskModel(HighByteIsText highByteIsText) : highByteIsText(highByteIsText) {}

void MaskModel::Show(const std::string &text, std::size_t begin, std::size_t end,
                     std::string &shown, std::string &masked) const {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text.data());
  std::size_t i = begin;
  std::size_t run = begin; // where the text not yet appended starts
  const auto appendRun = [&] {
    shown.append(text, run, i - run);
    masked.append(i - run, '\0');
  };
  while (i < end) {
    const unsigned char b = p[i];
    std::size_t passes = 0;
    if (b == 0x1b) {
      const std::size_t sgr = SgrLength(p + i, end - i);
      if (sgr > 0) {
        appendRun();
        i += sgr;
        run = i;
        continue;
      }
    } else if ((b >= 0x20 && b < 0x7f) || b == '\t' || b == '\n' || b == '\r') {
      passes = 1;
    } else if (b >= 0x80 && highByteIsText == nullptr) {
      passes = Utf8Text(p + i, end - i);
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
    masked.append(shown.size() - masked.size(), '\1');
    run = ++i;
  }
  appendRun();
}

std::size_t MaskModel::Utf8Text(const unsigned char *p, std::size_t n) {
  std::size_t length;
  if (p[0] >= 0xc0 && p[0] < 0xe0)
    length = 2;
  else if (p[0] >= 0xe0 && p[0] < 0xf0)
    length = 3;
  else if (p[0] >= 0xf0 && p[0] < 0xf8)
    length = 4;
  else
    return 0;
  if (length > n)
    return 0;
  std::uint32_t code = p[0] & (0x7f >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((p[k] & 0xc0) != 0x80)
      return 0;
    code = (code << 6) | (p[k] & 0x3f);
  }
  // The least code point that needs this many bytes: fewer would do for
  // anything below it.
  const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
    return 0;
  // U+0080..U+009F: the C1 controls.
  return code <= 0x9f ? 0 : length;
}

bool MaskModel::Windows1252(unsigned char byte) {
  return byte >= 0xa0 ||
         (byte != 0x81 && byte != 0x8d && byte != 0x8f && byte != 0x90 && byte != 0x9d);
}
