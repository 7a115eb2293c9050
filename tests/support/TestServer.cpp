#include "TestServer.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

const char kListening[] = "listening ";

std::string UniqueStem() {
  // The pid keeps parallel test processes apart, the counter the servers
  // of one process.
  static std::atomic<unsigned> counter{0};
  return "skellan-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

std::vector<std::string> Command(std::vector<std::string> program,
                                 const std::vector<std::string> &options, const std::string &name) {
  program.insert(program.end(), options.begin(), options.end());
  program.push_back(name);
  return program;
}

} // namespace

TestServer::TestServer(const std::vector<std::string> &options, const std::string &name,
                       const std::vector<std::string> &program, ChildProcess::Duration startTimeout)
    : name_(name), process_(Command(program, options, name)) {
  if (!process_.WaitForOutput("\n", startTimeout)) {
    throw std::runtime_error(program.back() + " did not start listening on '" + name_ +
                             "'; stderr: " + process_.ErrorOutput());
  }
  const std::string &log = process_.Output();
  const std::string firstLine = log.substr(0, log.find('\n'));
  if (firstLine.compare(0, sizeof kListening - 1, kListening) != 0) {
    throw std::runtime_error(program.back() + " began with '" + firstLine + "'");
  }
  socketPath_ = firstLine.substr(sizeof kListening - 1);
}

TestServer::~TestServer() {
  // SIGTERM lets the server remove its socket; the ChildProcess kills it
  // should it not end in time.
  process_.Signal(SIGTERM);
  process_.WaitForExit();
  unlink(socketPath_.c_str());
}

std::string TestServer::UniqueName() { return UniqueStem(); }

std::vector<std::string> TestServer::OfType(std::vector<std::string> options, bool byteType) {
  if (byteType) {
    options.insert(options.begin(), "--byte");
  }
  return options;
}

const char *TestServer::TypeName(bool byteType) { return byteType ? "byte type" : "message type"; }

std::string TestServer::UniquePath() { return "/tmp/" + UniqueStem() + ".sock"; }

std::string TestServer::SocketPrefix() {
  const char *tmpdir = std::getenv("TMPDIR");
  std::string folder = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp/";
  if (folder.back() != '/') {
    folder += '/';
  }
  return folder + "CoreFxPipe_";
}

bool TestServer::WaitForLog(const std::string &line, ChildProcess::Duration timeout) {
  // The "listening" line always comes first, so every later line follows a
  // line feed.
  return process_.WaitForOutput("\n" + line + "\n", timeout);
}

bool TestServer::WaitForLogCount(const std::string &prefix, std::size_t count,
                                 ChildProcess::Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (CountLog(prefix) < count) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::vector<std::string> TestServer::Data(std::size_t count) {
  const std::string prefix = "data 1 ";
  WaitForLogCount(prefix, count);
  std::istringstream log(process_.Output());
  std::vector<std::string> messages;
  for (std::string line; std::getline(log, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      messages.push_back(line.substr(prefix.size()));
    }
  }
  return messages;
}

std::size_t TestServer::CountLog(const std::string &prefix) {
  process_.Collect();
  std::istringstream log(process_.Output());
  std::size_t count = 0;
  for (std::string line; std::getline(log, line);) {
    count += line.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
  }
  return count;
}
