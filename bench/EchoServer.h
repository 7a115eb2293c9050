#ifndef SKELLAN_BENCH_ECHOSERVER_H
#define SKELLAN_BENCH_ECHOSERVER_H

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>

// The benchmark's echoing pipe server: a SOCK_SEQPACKET listener at a
// socket path that sends every message back to its sender, on one
// thread with epoll. It never blocks on a client: echoes that do not fit
// are queued, so a client that writes while it is not reading cannot stall
// the server. It ends on SIGINT, SIGTERM or the end of its standard input,
// so it cannot outlive the benchmark that started it. Counting, it sends
// nothing back and logs each message it took as "recv LENGTH" on its
// standard output instead, all it took written before it waits again.
class EchoServer {
public:
  // When the server closes a connection, its echoes all sent.
  enum class Ending {
    // Once the client has ended its side.
    ClientEnd,
    // Right after the echo of the client's first message: a server that
    // answers and goes, for timing a client's own start and exit.
    FirstEcho,
    // Only once the client has closed the connection altogether: after it
    // merely ended its side the server stays, as a live server would.
    ClientGone,
  };

  EchoServer(std::string socketPath, Ending ending, bool counting = false);
  ~EchoServer();
  EchoServer(const EchoServer &) = delete;
  EchoServer &operator=(const EchoServer &) = delete;

  // Listens, prints "listening PATH" and serves; returns the exit status.
  int Run();

private:
  struct Connection {
    std::deque<std::string> pending;
    std::size_t pendingBytes = 0;
    // No more is read from the client.
    bool reading = true;
    // Close once the queue is sent.
    bool closing = false;
    // The epoll events asked for now, so that unchanged ones cost no call.
    unsigned watched = 0;
  };

  bool Listen();
  void Accept();
  // Each returns false when the connection is to be dropped.
  bool Receive(int fd, Connection &connection);
  // Sends queued echoes until the socket is full.
  bool Flush(int fd, Connection &connection);
  void Watch(int fd, Connection &connection);
  void Drop(int fd);
  // Writes the log of what was counted; false when nobody reads it.
  bool WriteLog();

  const std::string path;
  const Ending ending;
  const bool counting;
  std::string log;
  int listener = -1;
  int epoll = -1;
  int signals = -1;
  bool bound = false;
  std::unique_ptr<char[]> buffer;
  std::map<int, Connection> connections;
};

#endif
