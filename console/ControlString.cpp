#include "ControlString.h"

namespace {
const char32_t Bell = 0x07;
const char32_t Escape = 0x1b;
const char32_t StringTerminator = 0x9c;
const char32_t OperatingSystemCommand = 0x9d;
} // namespace

bool ControlString::StartBehindEscape(char32_t c) {
  switch (c) {
  case ']':
    Start(true);
    return true;
  case 'P':
  case '_':
  case '^':
  case 'X':
    Start(false);
    return true;
  default:
    return false;
  }
}

bool ControlString::StartAlone(char32_t c) {
  if (!c1)
    return false;
  // The 8-bit forms of ESC P, ESC ], ESC _, ESC ^ and ESC X.
  switch (c) {
  case OperatingSystemCommand:
    Start(true);
    return true;
  case 0x90:
  case 0x9f:
  case 0x9e:
  case 0x98:
    Start(false);
    return true;
  default:
    return false;
  }
}

void ControlString::Start(bool operatingSystemCommand) {
  inside = true;
  bellEnds = operatingSystemCommand;
  escaped = false;
}

bool ControlString::Take(char32_t c) {
  const bool ends =
      (escaped && c == '\\') || (bellEnds && c == Bell) || (c1 && c == StringTerminator);
  escaped = c == Escape;
  if (ends)
    inside = false;
  return ends;
}
