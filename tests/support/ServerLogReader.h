#ifndef SKELLAN_TESTS_SUPPORT_SERVERLOGREADER_H
#define SKELLAN_TESTS_SUPPORT_SERVERLOGREADER_H

#include "TestServer.h"

#include <atomic>
#include <thread>

// Reads a test server's log on a thread of its own while it lives. The
// server logs a line for each message it receives, and one whose log is
// not read stops once the pipe of its standard output is full, so a test
// that sends many thousand messages at full speed keeps one of these. The
// test must not touch the server itself meanwhile.
class ServerLogReader {
public:
  explicit ServerLogReader(TestServer &server);
  ~ServerLogReader();
  ServerLogReader(const ServerLogReader &) = delete;
  ServerLogReader &operator=(const ServerLogReader &) = delete;

private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

#endif
