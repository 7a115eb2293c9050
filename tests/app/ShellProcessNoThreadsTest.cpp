#include "ClientSession.h"
#include "EnvironmentSetting.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Without a receiver thread nothing the server sends could be shown, so the
// client must not claim to be connected, nor keep the connection open.
TEST(ShellProcessNoThreads, ConnectFailsAndDropsTheConnection) {
  TestServer server;
  std::unique_ptr<ClientSession> client;
  {
    // Only the client sees the library: it is set just for its start.
    const EnvironmentSetting preload("LD_PRELOAD", SKELLAN_NO_THREADS_PATH);
    client = std::make_unique<ClientSession>();
  }

  EXPECT_TRUE(client->Command("connect " + server.Name(),
                              "ERROR Cannot connect to named pipe: " + server.Name() + "\n"));
  EXPECT_TRUE(server.WaitForLog("close 1"));
  EXPECT_TRUE(client->Command("hello", "ERROR Not connected\n"));
  EXPECT_EQ(client->EndInput(), 0);
}

} // namespace
