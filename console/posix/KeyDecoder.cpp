#include "KeyDecoder.h"

#include <cstdlib>

namespace {
const char pasteEnd[] = "\x1b[201~";
const std::size_t pasteEndLength = sizeof pasteEnd - 1;

// How many bytes a UTF-8 sequence has from its first byte; 0 when the byte
// cannot start one.
std::size_t SequenceLength(unsigned char first) {
  if (first < 0x80)
    return 1;
  if (first >= 0xc2 && first <= 0xdf)
    return 2;
  if (first >= 0xe0 && first <= 0xef)
    return 3;
  if (first >= 0xf0 && first <= 0xf4)
    return 4;
  return 0;
}

Key Control(unsigned char byte) {
  switch (byte) {
  case '\r':
  case '\n':
    return Key::Of(Key::Enter);
  case '\t':
    return Key::Of(Key::Tab);
  case 0x7f:
  case 0x08:
    return Key::Of(Key::Backspace);
  default:
    if (byte >= 1 && byte <= 26)
      return Key::Ctrl(static_cast<char>('A' + byte - 1));
    return Key::Of(Key::Unknown);
  }
}

// What an escape sequence's final byte (and its first parameter, for '~')
// names.
Key Named(char final, int first) {
  switch (final) {
  case 'A':
    return Key::Of(Key::Up);
  case 'B':
    return Key::Of(Key::Down);
  case 'C':
    return Key::Of(Key::Right);
  case 'D':
    return Key::Of(Key::Left);
  case 'H':
    return Key::Of(Key::Home);
  case 'F':
    return Key::Of(Key::End);
  case '~':
    switch (first) {
    case 1:
    case 7:
      return Key::Of(Key::Home);
    case 4:
    case 8:
      return Key::Of(Key::End);
    case 3:
      return Key::Of(Key::Delete);
    default:
      break;
    }
    break;
  default:
    break;
  }
  return Key::Of(Key::Unknown);
}
} // namespace

// In a UTF-8 locale a byte from 0x80 to 0x9f is part of a character, so
// only the 7-bit forms of a string's start and end count there.
KeyDecoder::KeyDecoder(bool utf8, WidthOf width)
    : utf8(utf8), width(std::move(width)), controlString(!utf8) {}

void KeyDecoder::Feed(const char *bytes, std::size_t length) {
  input.erase(0, consumed);
  consumed = 0;
  input.append(bytes, length);
}

void KeyDecoder::Flush() { flushing = true; }

bool KeyDecoder::Next(Key &key) {
  for (;;) {
    if (controlString.Inside()) {
      // A whole string is one key that does nothing.
      if (!Swallow() && !flushing)
        return false;
      controlString.Abandon();
      key = Key::Of(Key::Unknown);
      return true;
    }
    if (consumed == input.size()) {
      input.clear();
      consumed = 0;
      flushing = false;
      return false;
    }
    const std::size_t used =
        pasting ? DecodeInPaste(consumed, flushing, key) : Decode(consumed, flushing, key);
    if (used == 0)
      return false;
    consumed += used;
    if (!controlString.Inside())
      return true;
  }
}

bool KeyDecoder::Swallow() {
  bool ended = false;
  while (!ended && consumed < input.size())
    ended = controlString.Take(static_cast<unsigned char>(input[consumed++]));
  return ended;
}

std::size_t KeyDecoder::Decode(std::size_t at, bool complete, Key &key) {
  const unsigned char byte = static_cast<unsigned char>(input[at]);
  if (byte == 0x1b)
    return DecodeEscape(at, complete, key);
  if (byte < 0x20 || byte == 0x7f) {
    key = Control(byte);
    return 1;
  }
  if (controlString.StartAlone(byte))
    return 1;
  key = Key::Of(Key::Text);
  return DecodeChar(at, complete, key.text);
}

std::size_t KeyDecoder::DecodeEscape(std::size_t at, bool complete, Key &key) {
  const std::size_t size = input.size();
  if (at + 1 >= size) {
    // A lone ESC: the Escape key, which does nothing, or the start of a
    // sequence whose rest is still on its way.
    key = Key::Of(Key::Unknown);
    return complete ? 1 : 0;
  }
  const char kind = input[at + 1];
  if (controlString.StartBehindEscape(static_cast<unsigned char>(kind)))
    return 2;
  if (kind == '[' || kind == 'O') {
    // Parameters, intermediates, then one final byte.
    std::size_t end = at + 2;
    while (end < size && kind == '[' && static_cast<unsigned char>(input[end]) >= 0x20 &&
           static_cast<unsigned char>(input[end]) <= 0x3f)
      ++end;
    if (end >= size) {
      key = Key::Of(Key::Unknown);
      return complete ? size - at : 0;
    }
    const char final = input[end];
    const std::string parameters = input.substr(at + 2, end - at - 2);
    const int first = std::atoi(parameters.c_str());
    // "1;5": Ctrl, "1;3": Alt, as xterm reports modifiers.
    const std::size_t semicolon = parameters.find(';');
    const int modifier = semicolon == std::string::npos ? 1 : std::atoi(&parameters[semicolon + 1]);
    key = Named(final, first);
    if (kind == '[' && final == '~' && first == 200) {
      pasting = true;
      afterReturn = false;
    }
    if (modifier > 1 && key.code != Key::Unknown) {
      key.alt = ((modifier - 1) & 2) != 0;
      key.ctrl = ((modifier - 1) & 4) != 0;
    }
    return end + 1 - at;
  }
  // ESC before a key is Alt with that key.
  const std::size_t used = Decode(at + 1, complete, key);
  if (used == 0)
    return 0;
  key.alt = true;
  return used + 1;
}

std::size_t KeyDecoder::DecodeChar(std::size_t at, bool complete, Char &c) const {
  const unsigned char first = static_cast<unsigned char>(input[at]);
  std::size_t length = utf8 ? SequenceLength(first) : 1;
  bool valid = length > 0;
  if (valid && at + length > input.size()) {
    if (!complete)
      return 0;
    valid = false;
  }
  for (std::size_t i = 1; valid && i < length; ++i)
    valid = (static_cast<unsigned char>(input[at + i]) & 0xc0) == 0x80;
  if (!valid)
    length = 1;
  c.bytes = input.substr(at, length);
  c.glyph = c.bytes;
  c.width = 1;
  if (utf8 && valid && first >= 0x80)
    c.width = width(c.bytes);
  else if (!utf8 && first >= 0x80 && first < 0xa0)
    c.width = -1;
  // What cannot be shown as it is still goes to the pipe as it is.
  if (!valid || c.width < 0) {
    c.glyph = "?";
    c.width = 1;
  }
  return length;
}

std::size_t KeyDecoder::DecodeInPaste(std::size_t at, bool complete, Key &key) {
  const unsigned char byte = static_cast<unsigned char>(input[at]);
  if (byte == 0x1b) {
    const std::size_t rest = input.size() - at;
    const bool whole = rest >= pasteEndLength;
    if (input.compare(at, whole ? pasteEndLength : rest, pasteEnd, whole ? pasteEndLength : rest) ==
        0) {
      if (!whole && !complete)
        return 0;
      if (whole) {
        pasting = false;
        key = Key::Of(Key::Unknown);
        return pasteEndLength;
      }
    }
  }
  const bool lineFeedOfReturn = byte == '\n' && afterReturn;
  afterReturn = byte == '\r';
  if (lineFeedOfReturn) {
    key = Key::Of(Key::Unknown);
  } else if (byte < 0x20 || byte == 0x7f) {
    key = Control(byte);
    if (key.code != Key::Enter && key.code != Key::Tab)
      key = Key::Of(Key::Unknown);
  } else {
    key = Key::Of(Key::Text);
    const std::size_t used = DecodeChar(at, complete, key.text);
    if (used == 0)
      return 0;
    key.pasted = true;
    return used;
  }
  key.pasted = true;
  return 1;
}

std::vector<Char> KeyDecoder::Characters(const std::string &bytes) const {
  KeyDecoder split(utf8, width);
  split.input = bytes;
  std::vector<Char> chars;
  for (std::size_t at = 0; at < bytes.size();) {
    Char c;
    at += split.DecodeChar(at, true, c);
    chars.push_back(c);
  }
  return chars;
}
