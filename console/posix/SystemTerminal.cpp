#include "SystemTerminal.h"

#include "PosixTerminal.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>
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

std::unique_ptr<TextMask> SystemTerminal::OutputMask(bool) {
  if (!isatty(STDOUT_FILENO))
    return nullptr;
  std::setlocale(LC_CTYPE, "");
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  // In a single-byte locale the locale says which upper bytes print.
  const auto isText = [](unsigned char byte) {
    const std::wint_t wide = std::btowc(byte);
    return wide != WEOF && std::iswprint(wide) && !(wide >= 0x80 && wide < 0xa0);
  };
  return std::make_unique<TextMask>(utf8, isText, TextMask::KeepColours);
}
