#ifndef SKELLAN_APP_EDITORCONSOLE_H
#define SKELLAN_APP_EDITORCONSOLE_H

#include "ReceivedText.h"
#include "ShellOutput.h"

class ScreenCompositor;

// The shell's output while the line editor has the terminal: replies and
// the server's pieces go to the editor's compositor, which puts them above
// the input row. A message's piece starts a row of its own; a stream's
// reads and the later parts of a long piece go on where the text stopped.
// The compositor alone serialises what goes to the terminal.
class EditorConsole : public ShellOutput {
public:
  // With a mask, what the server sends is shown in its form (ReceivedText).
  explicit EditorConsole(ScreenCompositor &screen, TextMask *mask = nullptr);

  bool Reply(const char *bytes, std::size_t length) override;
  std::string Quoted(const char *text) const override;
  bool Show(const Piece *pieces, std::size_t count) override;
  void Ended() override;

private:
  ScreenCompositor &screen;
  ReceivedText text;
};

#endif
