#include "SocketPeer.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace {

using Result = SocketPeer::Result;

// Long enough for the server to take back a freed instance; only a guard.
const ChildProcess::Duration kFreeing{10000};

void ExpectEcho(SocketPeer &client, const std::string &text) {
  ASSERT_TRUE(client.Send(text));
  std::string echo;
  EXPECT_EQ(client.Receive(echo), Result::Message);
  EXPECT_EQ(echo, text);
}

TEST(ServerInstances, PipeIsBusyWhileAllInstancesAreTaken) {
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(byteType ? "byte type" : "message type");
    std::vector<std::string> options = {"--instances", "2"};
    if (byteType) {
      options.push_back("--byte");
    }
    TestServer server(options);
    SocketPeer first;
    SocketPeer second;
    SocketPeer third;
    ASSERT_EQ(first.Connect(server.SocketPath(), byteType), 0);
    ASSERT_TRUE(server.WaitForLog("connect 1"));
    ASSERT_EQ(second.Connect(server.SocketPath(), byteType), 0);
    ASSERT_TRUE(server.WaitForLog("connect 2"));
    // Stays busy, however often it is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
      EXPECT_EQ(third.Connect(server.SocketPath(), byteType), EAGAIN);
    }
    ExpectEcho(first, "first served");
    ExpectEcho(second, "second served");

    second.Close();
    ASSERT_TRUE(server.WaitForLog("close 2"));
    ASSERT_EQ(third.Connect(server.SocketPath(), byteType, kFreeing), 0);
    ASSERT_TRUE(server.WaitForLog("connect 3"));
    ExpectEcho(third, "third served");
    SocketPeer fourth;
    EXPECT_EQ(fourth.Connect(server.SocketPath(), byteType), EAGAIN);
    // The server's own placeholder connection never shows as a client.
    EXPECT_EQ(server.CountLog("connect "), 3u);
  }
}

TEST(ServerInstances, OneInstanceServesClientsInTurn) {
  TestServer server({"--instances", "1"});
  for (int id = 1; id <= 5; ++id) {
    SCOPED_TRACE(id);
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), false, kFreeing), 0);
    ASSERT_TRUE(server.WaitForLog("connect " + std::to_string(id)));
    SocketPeer other;
    EXPECT_EQ(other.Connect(server.SocketPath()), EAGAIN);
    ExpectEcho(client, "turn " + std::to_string(id));
  }
}

TEST(ServerInstances, UnlimitedByDefault) {
  TestServer server;
  std::vector<std::unique_ptr<SocketPeer>> clients;
  for (int i = 0; i < 50; ++i) {
    clients.push_back(std::make_unique<SocketPeer>());
    ASSERT_EQ(clients.back()->Connect(server.SocketPath()), 0) << "client " << i;
  }
  ASSERT_TRUE(server.WaitForLog("connect 50"));
  ExpectEcho(*clients.back(), "fiftieth");
}

} // namespace
