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

std::string EditorConsole::Quoted(const char *name) const { return text.Quoted(name); }

bool EditorConsole::Show(const char *bytes, std::size_t length, unsigned flags) {
  text.Take(bytes, length, flags);
  PConsole::Hold turn;
  bool continues = !(flags & OpensPiece) || (flags & FromStream);
  bool shown = true;
  // The parts of a long run go on one behind the other, each with the
  // attributes at their default at its end, as the input row may be drawn
  // between them.
  for (std::string_view part; text.Next(part);) {
    shown = screen.ShowReceived(part.data(), part.size(), continues,
                                text.More() || (flags & MoreFollows) != 0);
    continues = true;
  }
  return shown;
}

void EditorConsole::Ended() {
  // What the mask held, a stream's text cut short, goes on where it stopped.
  if (!text.TakeRest())
    return;
  PConsole::Hold turn;
  for (std::string_view part; text.Next(part);)
    screen.ShowReceived(part.data(), part.size(), true, false);
}
