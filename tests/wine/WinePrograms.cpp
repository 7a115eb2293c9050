#include "TestPrograms.h"

namespace {

std::vector<std::string> Launch(const std::string &program) {
  // env sets the prefix for this one command and then execs the loader,
  // which becomes the Windows process: a signal to the child reaches it.
  return {"/usr/bin/env", "WINEPREFIX=" SKELLAN_WINE_PREFIX, "WINEDEBUG=-all", SKELLAN_WINE_LOADER,
          program};
}

} // namespace

namespace testprograms {

std::vector<std::string> Client() { return Launch(SKELLAN_WINE_CLIENT); }

std::vector<std::string> TerminalClient(const std::string &script) {
  if (script.empty())
    return Client();
  // Wine's console leaves the terminal's ISIG on: Ctrl-C is also a SIGINT
  // to the pane's foreground group, which must not end the script around
  // the client.
  std::vector<std::string> command{"sh", "-c", "trap : INT; " + script, "sh"};
  const std::vector<std::string> client = Client();
  command.insert(command.end(), client.begin(), client.end());
  return command;
}

std::vector<std::string> Server(const std::vector<std::string> &arguments) {
  std::vector<std::string> command = Launch(SKELLAN_WINE_SERVER);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

// A Windows program's standard output is in text mode.
std::string LineEnd() { return "\r\n"; }

// skellan-server.exe's pipes buffer 64 KiB. No more than needed: Wine's
// console takes a few thousand keys a second, and a Ctrl-C comes behind
// every pasted key.
int LinesThatFillAPipe() { return 4000; }

} // namespace testprograms
