#ifndef SKELLAN_CONSOLE_POSIX_POSIXTERMINAL_H
#define SKELLAN_CONSOLE_POSIX_POSIXTERMINAL_H

#include "KeyDecoder.h"
#include "Terminal.h"

#include <chrono>
#include <csignal>
#include <termios.h>

// A VT terminal on two descriptors (standard input and output). Raw mode
// turns off echo, line editing and the signal keys, and leaves output
// processing on, so that received text's line feeds start new rows as
// they would in cooked mode. Signals that concern the editor (resize, stop,
// continue, hang-up, termination, an interrupt sent from outside) reach
// ReadEvents through a pipe of its own. A signal to end that the program
// has not acted on within a second (it waits on something that does not
// end) ends it anyway, with the terminal's modes put back first.
class PosixTerminal : public Terminal {
public:
  PosixTerminal(int input, int output, bool utf8);
  ~PosixTerminal() override;
  PosixTerminal(const PosixTerminal &) = delete;
  PosixTerminal &operator=(const PosixTerminal &) = delete;

  bool EnterRaw() override;
  void LeaveRaw() override;
  void ReadEvents(std::deque<Event> &events, int milliseconds) override;
  Size GetSize() override;
  bool Write(const std::string &bytes) override;
  void Suspend() override;
  std::vector<Char> Characters(const std::string &bytes) override;

private:
  static void OnSignal(int signal);
  static void OnDeadline(int signal);
  // Feeds the decoder what the input holds now; false when it has ended.
  bool ReadInput();
  bool SetRaw();
  void CatchSignals();
  void RestoreSignals();

  int input;
  int output;
  KeyDecoder decoder;
  bool raw = false;
  termios saved{};
  // When the decoder last took bytes that it holds for the rest of a key.
  std::chrono::steady_clock::time_point waitingSince;
  static constexpr int caughtCount = 6;
  static const int caught[caughtCount];
  struct sigaction previous[caughtCount] {};
};

#endif
