#ifndef SKELLAN_APP_SHELLPROCESS_H
#define SKELLAN_APP_SHELLPROCESS_H

#include "NamedPipe.h"
#include "PProcess.h"
#include "PipeRxThread.h"

#include <iosfwd>

class LineEditor;

// The application: a command shell on standard input and output that
// connects to one named pipe at a time, sends typed lines to it and shows
// what the server sends back.
class ShellProcess : public PProcess {
public:
  // Tries that `connect` gives a pipe, waiting between them while it is busy.
  static constexpr int ConnectAttempts = 3;

  explicit ShellProcess(const PipeApi &api = PipeApi::System());
  ~ShellProcess() override;

  // Runs the command loop on the given streams; Main runs it on the console.
  void Run(std::istream &input, std::ostream &output);
  // Runs the command loop with lines from a line editor on a terminal.
  void Run(LineEditor &editor, std::ostream &output);

protected:
  void Main() override;

private:
  // Acts on one line, the line feed appended.
  void Execute(const PString &line, std::ostream &output);
  // Sends a line that is no command as one message.
  void Send(const PString &line, std::ostream &output);
  void Connect(const char *name, std::ostream &output);
  // Starts receiving on the open pipe and replies; false when it cannot.
  bool StartReceiver(std::ostream &output);
  void DeleteReceiver();

  NamedPipe pipe;
  int running = 0;
  PipeRxThread *rxThread = nullptr;
};

#endif
