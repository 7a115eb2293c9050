// skellan-bench-feed: the benchmark's feeding pipe server.
#include "FeedServer.h"
#include "linux/PipeName.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
const char usage[] =
    "usage: skellan-bench-feed --stream BYTES [--text plain|utf8|coloured] NAME\n"
    "       skellan-bench-feed --messages N [--message-bytes BYTES] NAME\n"
    "Serves the socket CoreFxPipe_NAME in $TMPDIR or /tmp, or NAME when it starts\n"
    "with '/': sends each client that connects a stream of BYTES bytes of text on a\n"
    "byte-type pipe, or N messages of BYTES bytes (32) on a message pipe, then\n"
    "closes the connection. The last byte before the final line feed is '~'.\n";

// A whole number of at least 2, or 0 when the text is none.
unsigned long long Count(const char *text) {
  if (text == nullptr || std::strspn(text, "0123456789") != std::strlen(text) || *text == '\0')
    return 0;
  const unsigned long long value = std::strtoull(text, nullptr, 10);
  return value >= 2 ? value : 0;
}
} // namespace

int main(int argc, char **argv) {
  FeedServer::Workload workload;
  workload.messageBytes = 32;
  int arg = 1;
  for (; arg + 1 < argc && argv[arg][0] == '-'; arg += 2) {
    const std::string option = argv[arg];
    const char *value = argv[arg + 1];
    if (option == "--stream") {
      workload.streamBytes = Count(value);
      if (workload.streamBytes == 0)
        break;
    } else if (option == "--messages") {
      workload.messages = static_cast<std::size_t>(Count(value));
      if (workload.messages == 0)
        break;
    } else if (option == "--message-bytes") {
      workload.messageBytes = static_cast<std::size_t>(Count(value));
      if (workload.messageBytes == 0)
        break;
    } else if (option == "--text" && std::strcmp(value, "plain") == 0) {
      workload.kind = FeedText::Kind::Plain;
    } else if (option == "--text" && std::strcmp(value, "utf8") == 0) {
      workload.kind = FeedText::Kind::Utf8;
    } else if (option == "--text" && std::strcmp(value, "coloured") == 0) {
      workload.kind = FeedText::Kind::Coloured;
    } else {
      break;
    }
  }
  const bool oneWorkload = (workload.streamBytes > 0) != (workload.messages > 0);
  if (!oneWorkload || argc != arg + 1 || argv[arg][0] == '\0' || argv[arg][0] == '-') {
    std::fputs(usage, stderr);
    return 2;
  }
  // The client's own mapping, so that both meet whatever TMPDIR says.
  const PipeName pipe(("\\\\.\\pipe\\" + std::string(argv[arg])).c_str());
  if (pipe.GetError() != ERROR_SUCCESS) {
    std::fprintf(stderr, "skellan-bench-feed: socket path too long: %s\n", argv[arg]);
    return 2;
  }
  // A reader of the "listening" line that has gone must not kill the server.
  std::signal(SIGPIPE, SIG_IGN);
  FeedServer server(pipe.GetSocketPath(), workload);
  return server.Run();
}
