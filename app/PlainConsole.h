#ifndef SKELLAN_APP_PLAINCONSOLE_H
#define SKELLAN_APP_PLAINCONSOLE_H

#include "ReceivedText.h"
#include "ShellOutput.h"

#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>

// The shell's output on a plain stream: every piece the server sends goes
// out after a carriage return and before a fresh prompt, so that it
// replaces the prompt line. The pieces of one read share a flush, and the
// shell posts its prompt instead of waiting for the console: while the
// receiver writes, the prompt is left for it to write behind its piece, so
// the shell reads and sends the next line meanwhile. Writers take the
// process-wide console turn.
class PlainConsole : public ShellOutput {
public:
  // With a mask, what the server sends is shown in its form (ReceivedText).
  PlainConsole(std::ostream &stream, const std::string &prompt, TextMask *mask = nullptr);

  // Writes a carriage return and the prompt; while the receiver writes,
  // leaves them for it and returns at once. Only one prompt is left at a
  // time. False when the stream refused it or the one left before.
  bool Prompt();
  bool Reply(const char *bytes, std::size_t length) override;
  std::string Quoted(const char *text) const override;
  bool Show(const char *bytes, std::size_t length, unsigned flags) override;
  void Ended() override;

private:
  // Writes what `text` has taken, as the flags frame it.
  bool Frame(unsigned flags);
  // In the turn: writes a prompt left behind what the holder wrote, and
  // flushes when told to or when it wrote one.
  bool EndTurn(bool flush);
  // Out of the turn: writes a prompt left while the turn was taken.
  void WriteLeft();

  std::ostream &stream;
  const std::string prompt; // the carriage return and the prompt
  ReceivedText text;
  // A prompt left for the holder of the turn, and whether the stream
  // refused one, until the poster hears of it. The turn's holder takes
  // this lock, never the other way round but to try the turn.
  std::mutex box;
  bool promptLeft = false;
  bool refused = false;
};

#endif
