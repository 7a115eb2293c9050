#include "EditorConsole.h"

#include "PConsole.h"
#include "ScreenCompositor.h"

EditorConsole::EditorConsole(ScreenCompositor &screen) : screen(screen) {}

// Both take the console's turn, so that the shell can keep the receiver's
// first piece behind its reply to connect.
bool EditorConsole::Reply(const char *bytes, std::size_t length) {
  PConsole::Hold turn;
  return screen.Write(bytes, length);
}

bool EditorConsole::Show(const char *bytes, std::size_t length, unsigned flags) {
  PConsole::Hold turn;
  const bool continues = !(flags & OpensPiece) || (flags & FromStream);
  return screen.ShowReceived(bytes, length, continues, (flags & MoreFollows) != 0);
}
