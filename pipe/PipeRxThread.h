#ifndef SKELLAN_PIPE_PIPERXTHREAD_H
#define SKELLAN_PIPE_PIPERXTHREAD_H

#include "NamedPipe.h"
#include "PThread.h"

#include <string>

// Shows every message that arrives on the pipe: each piece of it between
// NUL bytes goes to standard output after a carriage return and before a
// fresh "$ " prompt, so it replaces the prompt line the operator sees.
class PipeRxThread : public PThread {
public:
  // Starts receiving at once.
  explicit PipeRxThread(NamedPipe &pipe);
  // Closes the pipe, which ends a pending read, then waits for the thread.
  ~PipeRxThread() override;

  // Receive buffer: one message of up to this many bytes per read.
  static constexpr DWORD BufferSize = 1024;

protected:
  void Main() override;

private:
  // Prints `length` bytes of a message; `last` says whether they end it.
  void Show(const char *bytes, DWORD length, bool last);

  NamedPipe *pipe;
  // The piece being put together; open while its end is still to come.
  std::string piece;
  bool pieceOpen = false;
};

#endif
