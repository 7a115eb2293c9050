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
