// skellan-bench-echo [--once | --stay | --count] NAME: the benchmark's
// echoing message pipe server.
#include "EchoServer.h"
#include "linux/PipeName.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
  EchoServer::Ending ending = EchoServer::Ending::ClientEnd;
  bool counting = false;
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "--once") == 0) {
    ending = EchoServer::Ending::FirstEcho;
    ++arg;
  } else if (arg < argc && std::strcmp(argv[arg], "--stay") == 0) {
    ending = EchoServer::Ending::ClientGone;
    ++arg;
  } else if (arg < argc && std::strcmp(argv[arg], "--count") == 0) {
    counting = true;
    ++arg;
  }
  if (argc != arg + 1 || argv[arg][0] == '\0' || argv[arg][0] == '-') {
    std::fprintf(stderr,
                 "usage: skellan-bench-echo [--once | --stay | --count] NAME\n"
                 "Serves the socket CoreFxPipe_NAME in $TMPDIR or /tmp, or NAME when it starts\n"
                 "with '/'. A connection is closed once the client has ended its side; with\n"
                 "--once right after the echo of its first message; with --stay only once the\n"
                 "client has closed it altogether. With --count it echoes nothing and writes\n"
                 "'recv LENGTH' on its standard output for each message.\n");
    return 2;
  }
  // The client's own mapping, so that both meet whatever TMPDIR says.
  const PipeName pipe(("\\\\.\\pipe\\" + std::string(argv[arg])).c_str());
  if (pipe.GetError() != ERROR_SUCCESS) {
    std::fprintf(stderr, "skellan-bench-echo: socket path too long: %s\n", argv[arg]);
    return 2;
  }
  std::string path = pipe.GetSocketPath();
  // A reader of the "listening" line that has gone must not kill the server.
  std::signal(SIGPIPE, SIG_IGN);
  EchoServer server(std::move(path), ending, counting);
  return server.Run();
}
