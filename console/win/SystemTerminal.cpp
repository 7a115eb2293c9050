#include "SystemTerminal.h"

#include "WinConsoleTerminal.h"

std::unique_ptr<Terminal> SystemTerminal::Open() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  // A handle that has a console mode is a console; a pipe or a file has none.
  if (!GetConsoleMode(input, &mode) || !GetConsoleMode(output, &mode))
    return nullptr;
  return std::make_unique<WinConsoleTerminal>(input, output);
}

bool SystemTerminal::InputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

std::unique_ptr<TextMask> SystemTerminal::OutputMask(bool drawnByEditor) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(output, &mode))
    return nullptr;
  const UINT page = GetConsoleOutputCP();
  // Bytes are text when the code page makes them one character that is no
  // control.
  const auto isCharacter = [page](const char *bytes, int length) {
    wchar_t wide[2];
    return MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, length, wide, 2) == 1 &&
           wide[0] >= 0x20 && !(wide[0] >= 0x7f && wide[0] < 0xa0);
  };
  const auto isText = [isCharacter](unsigned char byte) {
    const char single = static_cast<char>(byte);
    return isCharacter(&single, 1);
  };
  // The editor draws colours as sequences or as console attributes; plain
  // output shows them only where the console takes sequences.
  const bool colours = drawnByEditor || (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  const TextMask::Colours shown = colours ? TextMask::KeepColours : TextMask::DropColours;
  CPINFO info;
  if (page != CP_UTF8 && GetCPInfo(page, &info) && info.MaxCharSize == 2) {
    // Japanese, Chinese and Korean pages: a lead byte and the byte behind
    // it are one character, judged whole.
    const auto isLead = [page](unsigned char byte) {
      return IsDBCSLeadByteEx(page, byte) != FALSE;
    };
    const auto pairIsText = [isCharacter](unsigned char lead, unsigned char trail) {
      const char pair[] = {static_cast<char>(lead), static_cast<char>(trail)};
      return isCharacter(pair, 2);
    };
    return std::make_unique<TextMask>(isText, isLead, pairIsText, shown);
  }
  return std::make_unique<TextMask>(page == CP_UTF8, isText, shown);
}
