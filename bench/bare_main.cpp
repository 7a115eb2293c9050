// skellan-bench-bare SOCKET: the benchmark's bare pipe client.
#include "BareClient.h"

#include <csignal>
#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: skellan-bench-bare SOCKET_PATH\n");
    return 2;
  }
  // A reader that has gone shows up as a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  BareClient client(argv[1]);
  return client.Run();
}
