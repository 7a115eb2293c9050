#ifndef SKELLAN_CONSOLE_SYSTEMTERMINAL_H
#define SKELLAN_CONSOLE_SYSTEMTERMINAL_H

#include "Terminal.h"

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
};

#endif
