#ifndef SKELLAN_APP_PLAINCONSOLE_H
#define SKELLAN_APP_PLAINCONSOLE_H

#include "ReceivedText.h"
#include "ShellOutput.h"

#include <atomic>
#include <iosfwd>
#include <mutex>
#include <string>

// The shell's output on a plain stream: every piece the server sends goes
// out after a carriage return and before a fresh prompt, so that it
// replaces the prompt line. The pieces of one read and their frames go
// to the stream as one write and share a flush, and the
// shell posts its prompt instead of waiting for the stream: while the
// receiver writes, the prompt is owed and the receiver writes it behind
// its piece, so the shell reads and sends the next line meanwhile. The
// shell and the receiver write the stream one at a time.
class PlainConsole : public ShellOutput {
public:
  // With a mask, what the server sends is shown in its form (ReceivedText).
  PlainConsole(std::ostream &stream, const std::string &prompt, TextMask *mask = nullptr);

  // Past this many bytes, what is held for one write goes out at once, so
  // that a long masked run never builds up.
  static constexpr std::size_t heldLimit = 64 * 1024;

  // Writes a carriage return and the prompt; while the receiver writes,
  // leaves them owed to it and returns at once. Only one prompt is owed at
  // a time. False when the stream refused it or the one owed before.
  bool Prompt();
  bool Reply(const char *bytes, std::size_t length) override;
  std::string Quoted(const char *text) const override;
  bool Show(const Piece *pieces, std::size_t count) override;
  void Ended() override;

private:
  // Holds what ReceivedText gives of the run taken, framed as a piece.
  void Frame(bool starts, bool ends);
  // Hands what is held, or the carriage return and prompt, to the stream.
  void WriteHeld();
  void WritePrompt();
  // With the stream's lock: writes an owed prompt, and flushes when told
  // to or when it wrote one; whether the stream took everything.
  bool EndWriting(bool flush);
  // Without the lock: writes a prompt owed while the lock was taken.
  void PayOwedPrompt();

  std::ostream &stream;
  const std::string prompt; // the carriage return and the prompt
  ReceivedText text;
  // What a flush writes, gathered so that the stream writes it in one call.
  // Under the stream's lock.
  std::string held;
  std::mutex streamMutex;
  std::atomic<bool> promptOwed{false};
  // The stream refused an owed prompt, until the shell hears of it.
  std::atomic<bool> refused{false};
};

#endif
