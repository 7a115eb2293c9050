#include "SystemTerminal.h"

#include "PosixTerminal.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <unistd.h>

std::unique_ptr<Terminal> SystemTerminal::Open() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
    return nullptr;
  // The locale says how typed bytes make characters; only the character
  // type is taken, so no number or message format changes.
  std::setlocale(LC_CTYPE, "");
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  return std::make_unique<PosixTerminal>(STDIN_FILENO, STDOUT_FILENO, utf8);
}

bool SystemTerminal::InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }
