#include "TestPrograms.h"

namespace testprograms {

std::vector<std::string> Client() { return {SKELLAN_CLIENT_PATH}; }

std::vector<std::string> TerminalClient(const std::string &script) {
  if (script.empty())
    return Client();
  return {"sh", "-c", script, "sh", SKELLAN_CLIENT_PATH};
}

std::vector<std::string> Server(const std::vector<std::string> &arguments) {
  std::vector<std::string> command{SKELLAN_SERVER_PATH};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

std::string LineEnd() { return "\n"; }

// A message pipe's socket takes about 11,000 short messages into the 8 MiB
// that the client asks of it (each costs the kernel 768 bytes); a stream's
// buffer is far smaller.
int LinesThatFillAPipe() { return 20000; }

} // namespace testprograms
