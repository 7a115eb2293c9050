// skellan-bench-echo NAME: the benchmark's echoing message pipe server.
#include "EchoServer.h"
#include "unix/PipeName.h"

#include <csignal>
#include <cstdio>
#include <string>

int main(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: skellan-bench-echo NAME (serves the socket CoreFxPipe_NAME in "
                         "$TMPDIR or /tmp, or NAME when it starts with '/')\n");
    return 2;
  }
  // The client's own mapping, so that both meet whatever TMPDIR says.
  const PipeName pipe(("\\\\.\\pipe\\" + std::string(argv[1])).c_str());
  if (pipe.GetError() != ERROR_SUCCESS) {
    std::fprintf(stderr, "skellan-bench-echo: socket path too long: %s\n", argv[1]);
    return 2;
  }
  std::string path = pipe.GetSocketPath();
  // A reader of the "listening" line that has gone must not kill the server.
  std::signal(SIGPIPE, SIG_IGN);
  EchoServer server(std::move(path));
  return server.Run();
}
