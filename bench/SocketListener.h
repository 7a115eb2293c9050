#ifndef SKELLAN_BENCH_SOCKETLISTENER_H
#define SKELLAN_BENCH_SOCKETLISTENER_H

#include <string>

// The listening Unix socket of each of the benchmark's servers.
class SocketListener {
public:
  // Listens at `path`, non-blocking, with a socket of `type` (SOCK_STREAM
  // or SOCK_SEQPACKET), in place of a socket a killed server left there.
  // Returns the descriptor; -1 with errno set and `failed` saying what
  // failed. `bound` says whether the path now holds the socket, to be
  // removed at the end.
  static int Listen(const std::string &path, int type, bool &bound, std::string &failed);
};

#endif
