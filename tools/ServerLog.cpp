#include "ServerLog.h"

#include <cstdio>

void ServerLog::Write(const std::string &line) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}
