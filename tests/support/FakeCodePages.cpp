#include "FakeCodePages.h"

std::string Utf8Page::Encode(const std::u16string &text) const {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.size())
      c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xc0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xe0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
      bytes += static_cast<char>(0x80 | (c & 0x3f));
    } else {
      bytes += static_cast<char>(0xf0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
      bytes += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return bytes;
}

std::u16string Utf8Page::Decode(const std::string &bytes) const {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7f >> length);
    for (std::size_t k = 1; k < length && i + k < bytes.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3f);
    if (c >= 0x10000) {
      text += static_cast<char16_t>(0xd800 + ((c - 0x10000) >> 10));
      text += static_cast<char16_t>(0xdc00 + ((c - 0x10000) & 0x3ff));
    } else {
      text += static_cast<char16_t>(c);
    }
    i += length;
  }
  return text;
}

std::string Latin1Page::Encode(const std::u16string &text) const {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A surrogate pair is one character, and one stand-in.
    if (text[i] >= 0xd800 && text[i] <= 0xdbff && i + 1 < text.size())
      ++i;
    bytes += text[i] <= 0xff ? static_cast<char>(text[i]) : '?';
  }
  return bytes;
}

std::u16string Latin1Page::Decode(const std::string &bytes) const {
  std::u16string text;
  for (char byte : bytes)
    text += static_cast<char16_t>(static_cast<unsigned char>(byte));
  return text;
}
