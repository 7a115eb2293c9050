// skellan-bench-echo NAME: the benchmark's echoing message pipe server.
#include "EchoServer.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/un.h>

int main(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: skellan-bench-echo NAME (serves /tmp/CoreFxPipe_NAME, or NAME "
                         "when it starts with '/')\n");
    return 2;
  }
  const std::string name = argv[1];
  std::string path = name[0] == '/' ? name : "/tmp/CoreFxPipe_" + name;
  if (path.size() >= sizeof(sockaddr_un::sun_path)) {
    std::fprintf(stderr, "skellan-bench-echo: socket path too long: %s\n", path.c_str());
    return 2;
  }
  // A reader of the "listening" line that has gone must not kill the server.
  std::signal(SIGPIPE, SIG_IGN);
  EchoServer server(std::move(path));
  return server.Run();
}
