#include "EditorConsole.h"

#include "PConsole.h"
#include "ScreenCompositor.h"

EditorConsole::EditorConsole(ScreenCompositor &screen, TextMask *mask)
    : screen(screen), text(mask) {}

// Both take the console's turn, so that the shell can keep the receiver's
// first piece behind its reply to connect.
bool EditorConsole::Reply(const char *bytes, std::size_t length) {
  PConsole::Hold turn;
  return screen.Write(bytes, length);
}

bool EditorConsole::Show(const char *bytes, std::size_t length, unsigned flags) {
  const std::string_view shown = text.Of(bytes, length, flags);
  PConsole::Hold turn;
  const bool continues = !(flags & OpensPiece) || (flags & FromStream);
  return screen.ShowReceived(shown.data(), shown.size(), continues, (flags & MoreFollows) != 0);
}

void EditorConsole::Ended() {
  // What the mask held, a stream's text cut short, goes on where it stopped.
  const std::string_view rest = text.Rest();
  if (!rest.empty()) {
    PConsole::Hold turn;
    screen.ShowReceived(rest.data(), rest.size(), true, false);
  }
}
