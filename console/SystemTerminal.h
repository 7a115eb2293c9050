#ifndef SKELLAN_CONSOLE_SYSTEMTERMINAL_H
#define SKELLAN_CONSOLE_SYSTEMTERMINAL_H

#include "Terminal.h"
#include "TextMask.h"

#include <memory>

// The process's own terminal, from the platform's backend.
class SystemTerminal {
public:
  // The terminal behind standard input and output, or nullptr unless both
  // are one: the shell then reads plain lines.
  static std::unique_ptr<Terminal> Open();
  // Whether standard input is a terminal (a person typing), whatever
  // standard output is.
  static bool InputIsTerminal();
  // The mask for what a server sends when standard output is a terminal,
  // in the terminal's encoding; nullptr when it is not, and the bytes go
  // out as they are. `drawnByEditor`: the line editor's backend draws the
  // output, which shows colours wherever the platform can.
  static std::unique_ptr<TextMask> OutputMask(bool drawnByEditor);
};

#endif
