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
  // In a single-byte locale the locale says which upper bytes print, but
  // never the bytes 0x80..0x9F: the Linux console and xterm in 8-bit mode
  // take them for C1 controls (0x9B for CSI) whatever letters the locale
  // makes of them, as KOI8-R and CP1251 do.
  const auto isText = [](unsigned char byte) {
    const std::wint_t wide = std::btowc(byte);
    return byte >= 0xa0 && wide != WEOF && std::iswprint(wide) && !(wide >= 0x80 && wide < 0xa0);
  };
  return std::make_unique<TextMask>(utf8, isText, TextMask::KeepColours);
}
