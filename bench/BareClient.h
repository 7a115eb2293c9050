#ifndef SKELLAN_BENCH_BARECLIENT_H
#define SKELLAN_BENCH_BARECLIENT_H

#include <cstddef>
#include <memory>
#include <string>

// The benchmark's lower bound: the loop a console pipe client runs, with
// nothing else. Each line of standard input, line feed included, goes out
// as one message; each message that comes back is written to standard
// output as it is. The receiving side runs on a thread of its own, as in
// the client measured, so a send that waits for room never keeps echoes
// from being read. The end of input ends the program.
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
  void ReceiveLoop();

  const std::string path;
  int fd = -1;
  // Set by the receiver when it ended on an error rather than at the end.
  bool receiveFailed = false;
};

#endif
