#ifndef SKELLAN_TOOLS_SERVERLOG_H
#define SKELLAN_TOOLS_SERVERLOG_H

#include <mutex>
#include <string>

// The server's log on standard output: one line per event.
class ServerLog {
public:
  // Writes the line and a line feed, whole even while other connections
  // log at the same time, and flushes it for whoever waits for it.
  void Write(const std::string &line);

private:
  std::mutex mutex_;
};

#endif
