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
  // A byte is text when the code page makes it a character that is no
  // control.
  const auto isText = [page](unsigned char byte) {
    const char single = static_cast<char>(byte);
    wchar_t wide[2];
    return MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, &single, 1, wide, 2) == 1 &&
           wide[0] >= 0x20 && !(wide[0] >= 0x7f && wide[0] < 0xa0);
  };
  // The editor draws colours as sequences or as console attributes; plain
  // output shows them only where the console takes sequences.
  const bool colours = drawnByEditor || (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  return std::make_unique<TextMask>(page == CP_UTF8, isText,
                                    colours ? TextMask::KeepColours : TextMask::DropColours);
}
