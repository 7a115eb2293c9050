#include "EditorConsole.h"

#include "ScreenCompositor.h"

EditorConsole::EditorConsole(ScreenCompositor &screen, TextMask *mask)
    : screen(screen), text(mask) {}

bool EditorConsole::Reply(const char *bytes, std::size_t length) {
  return screen.Write(bytes, length);
}

std::string EditorConsole::Quoted(const char *name) const { return text.Quoted(name); }

bool EditorConsole::Show(const Piece *pieces, std::size_t count) {
  bool shown = true;
  for (std::size_t i = 0; i < count; ++i) {
    const Piece &piece = pieces[i];
    text.Take(piece);
    bool continues = !piece.starts || piece.cut;
    // The parts of a long run go on one behind the other, each with the
    // attributes at their default at its end, as the input row may be drawn
    // between them; the pieces of one read share a write.
    for (std::string_view part; text.Next(part);) {
      shown =
          screen.ShowReceived(part.data(), part.size(), continues, text.More() || i + 1 < count);
      continues = true;
    }
  }
  return shown;
}

void EditorConsole::Ended() {
  // What the mask held, a stream's text cut short, goes on where it stopped.
  if (!text.TakeRest())
    return;
  for (std::string_view part; text.Next(part);)
    screen.ShowReceived(part.data(), part.size(), true, false);
}
