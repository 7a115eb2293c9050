#ifndef SKELLAN_BENCH_FEEDSERVER_H
#define SKELLAN_BENCH_FEEDSERVER_H

#include "FeedText.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The benchmark's feeding pipe server: it sends each client that connects
// one workload of FeedText as fast as the client takes it, then closes the
// connection; one client at a time, as the benchmark runs them. A stream is
// served on a stream socket (a byte-type pipe), messages on a SOCK_SEQPACKET
// one (a message pipe). It ends at the end of its standard input, so that
// it cannot outlive the benchmark that started it.
class FeedServer {
public:
  struct Workload {
    // The bytes of a stream of text; 0 for messages.
    std::uint64_t streamBytes = 0;
    FeedText::Kind kind = FeedText::Kind::Plain;
    std::size_t messages = 0;
    std::size_t messageBytes = 0;
  };

  // A stream of at least 2 bytes, or messages of at least 2 bytes each.
  FeedServer(std::string socketPath, const Workload &workload);
  ~FeedServer();
  FeedServer(const FeedServer &) = delete;
  FeedServer &operator=(const FeedServer &) = delete;

  // Listens, prints "listening PATH" and serves; returns the exit status.
  int Run();

private:
  bool Listen();
  // Each sends the whole workload; false when the client went first.
  bool SendStream(int fd) const;
  bool SendMessages(int fd) const;

  const std::string path;
  const Workload workload;
  // The lines a stream repeats.
  std::string block;
  int listener = -1;
  bool bound = false;
};

#endif
