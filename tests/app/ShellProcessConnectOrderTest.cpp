// The reply to a connect comes before anything the server sends on that
// connection, even from a server that greets at once and with every core
// busy, which is when the receiver thread is most likely to run first.
#include "ClientSession.h"
#include "ClientText.h"
#include "ServerLogReader.h"
#include "TestServer.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace clienttext;

const std::size_t kCycles = 4000;
const std::string kGreeting = "hello";

// Threads that keep every core busy while the object lives.
class CpuLoad {
public:
  CpuLoad() {
    const unsigned count = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < count; ++i) {
      threads.emplace_back([this] {
        unsigned long spins = 0;
        while (!stop.load(std::memory_order_relaxed)) {
          ++spins;
        }
        sink += spins;
      });
    }
  }
  ~CpuLoad() {
    stop = true;
    for (std::thread &thread : threads) {
      thread.join();
    }
  }

private:
  std::atomic<bool> stop{false};
  std::atomic<unsigned long> sink{0};
  std::vector<std::thread> threads;
};

TEST(ShellProcessConnectOrder, ReplyComesBeforeTheGreetingOnEveryConnectUnderLoad) {
  TestServer server({"--send", kGreeting});
  ClientSession client;
  const std::string piece = ClientSession::Piece(kGreeting);
  // The shell's prompt and the receiver's piece may come in either order,
  // but both after the reply.
  const std::string promptFirst = kConnected + ClientSession::kPrompt + piece;
  const std::string pieceFirst = kConnected + piece + ClientSession::kPrompt;

  std::size_t misordered = 0;
  std::string firstBad;
  {
    // Thousands of connects fill the server's log.
    ServerLogReader log(server);
    CpuLoad load;
    for (std::size_t cycle = 0; cycle < kCycles; ++cycle) {
      // Each connect replaces the last connection, whose greeting is shown.
      ChildProcess &process = client.Process();
      process.Collect();
      const std::size_t from = process.Output().size();
      ASSERT_TRUE(client.Type("connect " + server.Name())) << "cycle " << cycle;
      ASSERT_TRUE(process.WaitForOutputSize(from + promptFirst.size()))
          << "cycle " << cycle << ": \"" << VisibleText(process.Output().substr(from))
          << "\"; its stderr: \"" << process.ErrorOutput() << "\"";
      const std::string shown = process.Output().substr(from);
      if (shown != promptFirst && shown != pieceFirst) {
        ++misordered;
        if (firstBad.empty()) {
          firstBad = "cycle " + std::to_string(cycle) + ": \"" + VisibleText(shown) + "\"";
        }
      }
    }
  }
  EXPECT_EQ(misordered, 0u) << misordered << " of " << kCycles
                            << " connects showed something else first; " << firstBad;
  EXPECT_EQ(client.EndInput(), 0);
  EXPECT_TRUE(server.WaitForLogCount("close ", kCycles));
}

} // namespace
