#include "DotnetPeer.h"

#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace {

const char kListening[] = "listening ";
// Mono takes a while to start: far longer than a native server.
const ChildProcess::Duration kStartTimeout{60000};

std::vector<std::string> Command(const std::vector<std::string> &options, const std::string &name) {
  std::vector<std::string> command{SKELLAN_MONO_PATH, SKELLAN_DOTNET_PEER_PATH};
  command.insert(command.end(), options.begin(), options.end());
  command.push_back(name);
  return command;
}

} // namespace

DotnetPeer::DotnetPeer(const std::vector<std::string> &options, const std::string &name)
    : name_(name), process_(Command(options, name)) {
  if (!process_.WaitForOutput("\n", kStartTimeout)) {
    throw std::runtime_error("the .NET peer did not start on '" + name_ +
                             "'; stderr: " + process_.ErrorOutput());
  }
  const std::string &log = process_.Output();
  const std::string firstLine = log.substr(0, log.find('\n'));
  if (firstLine.compare(0, sizeof kListening - 1, kListening) != 0) {
    throw std::runtime_error("the .NET peer began with '" + firstLine + "'");
  }
  tempPath_ = firstLine.substr(sizeof kListening - 1);
}

DotnetPeer::~DotnetPeer() {
  process_.Signal(SIGKILL);
  process_.WaitForExit();
  // Killed, it leaves its socket file.
  unlink(SocketPath().c_str());
}

bool DotnetPeer::WaitForLog(const std::string &line) {
  return process_.WaitForOutput("\n" + line + "\n");
}
