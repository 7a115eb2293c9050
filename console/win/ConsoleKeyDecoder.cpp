#include "ConsoleKeyDecoder.h"

namespace {
bool IsHighSurrogate(char16_t unit) { return unit >= 0xd800 && unit <= 0xdbff; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xdc00 && unit <= 0xdfff; }

char32_t CodePoint(const std::u16string &units) {
  if (units.size() == 2)
    return 0x10000 + ((static_cast<char32_t>(units[0]) - 0xd800) << 10) +
           (static_cast<char32_t>(units[1]) - 0xdc00);
  return units.empty() ? 0 : units[0];
}

// The blocks whose characters take two columns on a console: East Asian
// wide and fullwidth forms, and the emoji pictographs.
bool IsWide(char32_t c) {
  static const struct {
    char32_t first, last;
  } wide[] = {
      {0x1100, 0x115f},   {0x2e80, 0x303e},   {0x3041, 0x33ff},   {0x3400, 0x4dbf},
      {0x4e00, 0x9fff},   {0xa000, 0xa4cf},   {0xac00, 0xd7a3},   {0xf900, 0xfaff},
      {0xfe30, 0xfe4f},   {0xff00, 0xff60},   {0xffe0, 0xffe6},   {0x1f300, 0x1f64f},
      {0x1f900, 0x1f9ff}, {0x20000, 0x2fffd}, {0x30000, 0x3fffd},
  };
  for (const auto &range : wide)
    if (c >= range.first && c <= range.last)
      return true;
  return false;
}

bool Held(unsigned long state, unsigned long keys) { return (state & keys) != 0; }

// Alt without Ctrl: with Ctrl it is AltGr, which types the character.
bool AltOnly(unsigned long state) {
  return Held(state, ConsoleKeyDecoder::LeftAltPressed | ConsoleKeyDecoder::RightAltPressed) &&
         !Held(state, ConsoleKeyDecoder::LeftCtrlPressed | ConsoleKeyDecoder::RightCtrlPressed);
}

const char16_t Escape = 0x1b;

bool IsModifier(unsigned short virtualKey) {
  switch (virtualKey) {
  case ConsoleKeyDecoder::VkShift:
  case ConsoleKeyDecoder::VkControl:
  case ConsoleKeyDecoder::VkMenu:
  case ConsoleKeyDecoder::VkCapital:
  case ConsoleKeyDecoder::VkLeftWindows:
  case ConsoleKeyDecoder::VkRightWindows:
  case ConsoleKeyDecoder::VkNumLock:
  case ConsoleKeyDecoder::VkScroll:
    return true;
  default:
    return false;
  }
}
} // namespace

ConsoleKeyDecoder::ConsoleKeyDecoder(const CodePage &input, const CodePage &output)
    : input(input), output(output) {}

std::vector<Key> ConsoleKeyDecoder::Decode(const Record &record) {
  std::vector<Key> keys;
  // A character composed on the numeric pad with Alt held comes with the
  // release of Alt; every other key acts when pressed.
  const bool composed = !record.down && record.virtualKey == VkMenu && record.unit != 0;
  if (!record.down && !composed)
    return keys;
  if (record.unit == 0 && IsModifier(record.virtualKey))
    return keys;
  if (ReadsString(record)) {
    // A whole string or sequence is one key that does nothing.
    if (!controlString.Inside() && !inSequence)
      keys.push_back(Key::Of(Key::Unknown));
    return keys;
  }

  std::u16string units(1, record.unit);
  if (IsHighSurrogate(record.unit)) {
    high = record.unit;
    return keys;
  }
  if (IsLowSurrogate(record.unit)) {
    if (high == 0)
      return keys;
    units.insert(units.begin(), high);
  }
  high = 0;

  Key key = KeyOf(record, units);
  if (composed)
    key.alt = false;
  keys.assign(record.repeat > 0 ? record.repeat : 1, key);
  return keys;
}

void ConsoleKeyDecoder::Flush() {
  controlString.Abandon();
  inSequence = false;
  escaped = false;
}

bool ConsoleKeyDecoder::ReadsString(const Record &record) {
  // A character composed with Alt held comes with Alt's release, and is
  // no Alt key.
  const bool alt = record.down && AltOnly(record.controlState);
  if (controlString.Inside()) {
    // Keys without a character (a function key) are no part of the string.
    if (record.unit != 0) {
      if (alt)
        controlString.Take(Escape);
      controlString.Take(record.unit);
    }
    return true;
  }
  const bool behindEscape = escaped || alt;
  if (ReadsSequence(record, behindEscape))
    return true;
  escaped = record.unit == Escape && !alt;
  return (behindEscape && controlString.StartBehindEscape(record.unit)) ||
         controlString.StartAlone(record.unit);
}

bool ConsoleKeyDecoder::ReadsSequence(const Record &record, bool behindEscape) {
  if (inSequence) {
    // Parameter and intermediate characters go on; the final character, or
    // one that cannot be in a sequence, ends it. A key without a character
    // is no part of it.
    if (record.unit == 0) {
      inSequence = false;
      return false;
    }
    inSequence = record.unit >= 0x20 && record.unit <= 0x3f;
    return true;
  }
  // The console reads the sequences of the keys it knows into key records;
  // what comes as ESC [ and characters is none of them. So does the 8-bit
  // CSI.
  if ((behindEscape && record.unit == '[') || record.unit == 0x9b) {
    inSequence = true;
    escaped = false;
    return true;
  }
  return false;
}

Key ConsoleKeyDecoder::KeyOf(const Record &record, const std::u16string &units) const {
  const bool ctrl = Held(record.controlState, LeftCtrlPressed | RightCtrlPressed);
  const bool alt = Held(record.controlState, LeftAltPressed | RightAltPressed);
  Key key;
  switch (record.virtualKey) {
  case VkLeft:
    key = Key::Of(Key::Left);
    break;
  case VkRight:
    key = Key::Of(Key::Right);
    break;
  case VkUp:
    key = Key::Of(Key::Up);
    break;
  case VkDown:
    key = Key::Of(Key::Down);
    break;
  case VkHome:
    key = Key::Of(Key::Home);
    break;
  case VkEnd:
    key = Key::Of(Key::End);
    break;
  case VkDelete:
    key = Key::Of(Key::Delete);
    break;
  case VkReturn:
    key = Key::Of(Key::Enter);
    break;
  case VkBack:
    key = Key::Of(Key::Backspace);
    break;
  case VkTab:
    key = Key::Of(Key::Tab);
    break;
  default: {
    const char16_t unit = units.back();
    if (unit == 0) {
      // A function key, or an escape sequence the console read whole but
      // could not name.
      key = Key::Of(Key::Unknown);
    } else if (unit == 0x08 || unit == 0x7f) {
      key = Key::Of(Key::Backspace);
    } else if (unit == '\t') {
      key = Key::Of(Key::Tab);
    } else if (unit == '\r' || unit == '\n') {
      key = Key::Of(Key::Enter);
    } else if (unit >= 1 && unit <= 26) {
      key = Key::Ctrl(static_cast<char>('A' + unit - 1));
    } else if (unit < 0x20) {
      key = Key::Of(Key::Unknown);
    } else {
      key.code = Key::Text;
      key.text = CharOf(units);
      // Ctrl and Alt together are AltGr, which types the character itself.
      key.alt = alt && !ctrl;
      return key;
    }
    key.alt = alt;
    return key;
  }
  }
  key.ctrl = ctrl;
  key.alt = alt;
  return key;
}

Char ConsoleKeyDecoder::CharOf(const std::u16string &units) const {
  Char c;
  c.bytes = input.Encode(units);
  c.glyph = output.Encode(units);
  // A character the output page lacks shows as its stand-in, one column.
  c.width = IsWide(CodePoint(units)) && output.Decode(c.glyph) == units ? 2 : 1;
  return c;
}

std::vector<Char> ConsoleKeyDecoder::Characters(const std::string &bytes) const {
  const std::u16string text = input.Decode(bytes);
  std::vector<Char> chars;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 1;
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
      length = 2;
    chars.push_back(CharOf(text.substr(i, length)));
    i += length - 1;
  }
  return chars;
}
