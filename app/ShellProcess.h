#ifndef SKELLAN_APP_SHELLPROCESS_H
#define SKELLAN_APP_SHELLPROCESS_H

#include "NamedPipe.h"
#include "PProcess.h"
#include "PipeRxThread.h"

#include <iosfwd>

class EditorConsole;
class LineEditor;
class ShellOutput;

// The application: a command shell on standard input and output that
// connects to one named pipe at a time, sends typed lines to it and shows
// what the server sends back.
class ShellProcess : public PProcess {
public:
  // Tries that `connect` gives a pipe, waiting between them while it is busy.
  static constexpr int ConnectAttempts = 3;

  explicit ShellProcess(const PipeApi &api = PipeApi::System());
  ~ShellProcess() override;

  // Runs the command loop on the given streams, which the receiver prints
  // on too; Main runs it on the console when it is no terminal.
  void Run(std::istream &input, std::ostream &output);

protected:
  void Main() override;

private:
  // Runs the command loop with lines from a line editor on a terminal.
  void Run(LineEditor &editor, EditorConsole &output);
  // Acts on one line, the line feed appended.
  void Execute(const PString &line, ShellOutput &output);
  // Sends a line that is no command as one message.
  void Send(const PString &line, ShellOutput &output);
  void Connect(const char *name, ShellOutput &output);
  // Starts receiving on the open pipe, showing on `output`, and replies;
  // false when it cannot.
  bool StartReceiver(ShellOutput &output);
  void DeleteReceiver();

  NamedPipe pipe;
  int running = 0;
  PipeRxThread *rxThread = nullptr;
};

#endif
