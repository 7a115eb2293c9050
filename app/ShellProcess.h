#ifndef SKELLAN_APP_SHELLPROCESS_H
#define SKELLAN_APP_SHELLPROCESS_H

#include "NamedPipe.h"
#include "PProcess.h"
#include "PipeRxThread.h"

#include <chrono>
#include <iosfwd>

class EditorConsole;
class LineEditor;
class ShellOutput;
class TextMask;

// The application: a command shell on standard input and output that
// connects to one named pipe at a time, sends typed lines to it and shows
// what the server sends back.
class ShellProcess : public PProcess {
public:
  // Tries that `connect` gives a pipe, waiting between them while it is busy.
  static constexpr int ConnectAttempts = 3;

  // At the end of a script the server's last answers are still on their
  // way: with a connection open, `exit` and the end of input first show
  // what the server sends until it has been quiet this long, or has closed
  // its end, or the cap has passed since the exit began. A person at a
  // terminal has seen what arrived, and leaves at once.
  static constexpr std::chrono::milliseconds ExitQuiet{250};
  static constexpr std::chrono::milliseconds ExitCap{2000};

  explicit ShellProcess(const PipeApi &api = PipeApi::System());
  ~ShellProcess() override;

  // Sets how long the end of a script waits (see ExitQuiet); a cap of zero
  // leaves at once.
  void SetExitWait(std::chrono::milliseconds quiet, std::chrono::milliseconds cap);

  // Runs the command loop on the given streams, which the receiver prints
  // on too, each byte as the server sent it; Main runs it on the console
  // when it is no terminal.
  void Run(std::istream &input, std::ostream &output);

protected:
  void Main() override;

private:
  // With a mask, the receiver shows what the server sends in its form.
  void Run(std::istream &input, std::ostream &output, TextMask *mask);
  // Runs the command loop with lines from a line editor on a terminal.
  void Run(LineEditor &editor, EditorConsole &output);
  // Acts on one line, the line feed appended.
  void Execute(const PString &line, ShellOutput &output);
  // Sends a line that is no command as one message.
  void Send(const PString &line, ShellOutput &output);
  void Connect(const char *name, ShellOutput &output);
  // Shows the server's last answers before an exit closes the pipe.
  void WaitForLastAnswers();
  // Starts receiving on the open pipe, showing on `output`, and replies;
  // false when it cannot.
  bool StartReceiver(ShellOutput &output);
  void DeleteReceiver();

  NamedPipe pipe;
  int running = 0;
  PipeRxThread *rxThread = nullptr;
  // What a write does while the server does not take it; by default it
  // waits for as long as it takes.
  NamedPipe::WriteWait whileWriting;
  std::chrono::milliseconds exitQuiet = ExitQuiet;
  std::chrono::milliseconds exitCap = ExitCap;
};

#endif
