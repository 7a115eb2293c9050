#include "ServerLogReader.h"

#include <chrono>

namespace {

// Far quicker than the server can fill its pipe with log lines.
constexpr std::chrono::milliseconds kPoll{5};

} // namespace

ServerLogReader::ServerLogReader(TestServer &server)
    : thread_([this, &server] {
        while (!stop_) {
          server.Process().Collect();
          std::this_thread::sleep_for(kPoll);
        }
      }) {}

ServerLogReader::~ServerLogReader() {
  stop_ = true;
  thread_.join();
}
