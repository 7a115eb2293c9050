#ifndef SKELLAN_BENCH_BARECLIENT_H
#define SKELLAN_BENCH_BARECLIENT_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

// The benchmark's lower bound: the loop a console pipe client runs, with
// nothing else. Each line of standard input, line feed included, goes out
// as one message; each message that comes back is written to standard
// output as it is. The receiving side runs on a thread of its own, as in
// the client measured, so a send that waits for room never keeps echoes
// from being read. A byte-type pipe (a stream socket) is read as the client
// measured reads one, up to 1 KiB a read, and each read is written out as
// it is, so that both write the same pieces to their output. At the end of
// its input it goes on showing what comes until the server has been quiet
// for 250 ms, has closed the connection, or 2 s have passed, whichever is
// first, as a client run by a script does; then it leaves.
class BareClient {
public:
  explicit BareClient(std::string socketPath);
  ~BareClient();
  BareClient(const BareClient &) = delete;
  BareClient &operator=(const BareClient &) = delete;

  // Connects and runs; returns the exit status.
  int Run();

private:
  bool Connect();
  bool SendLines();
  bool Send(const char *bytes, std::size_t size);
  void WaitForQuiet();
  void ReceiveLoop();
  // Copies messages to standard output until the connection or the output fails.
  void CopyMessages();

  using Clock = std::chrono::steady_clock;

  const std::string path;
  int fd = -1;
  // A message pipe, not a byte-type one.
  bool messageType = true;
  // Set by the receiver when it ended on an error rather than at the end.
  bool receiveFailed = false;

  // What the receiver tells the waiting end of input.
  std::mutex mutex;
  std::condition_variable receiverEnded;
  Clock::time_point lastReceived;
  bool receiving = true;
};

#endif
