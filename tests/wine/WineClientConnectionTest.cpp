#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"
#include "WinePrograms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace clienttext;

// A connect to a busy pipe gives up after some seconds; this only guards
// against a hang.
const ChildProcess::Duration kBusyConnect{30000};

TEST(WineClientConnection, ReconnectsAfterCloseAndReplacesAConnection) {
  TestServer server = WinePrograms::StartServer();
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  EXPECT_TRUE(client.Command("close", kClosed));
  EXPECT_TRUE(server.WaitForLog("close 1"));
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_TRUE(client.Command("connect -c " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("again"));
  EXPECT_TRUE(client.Received({"again\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 2 6"));

  // A connect while connected drops the old connection for the new one.
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  EXPECT_TRUE(server.WaitForLog("close 2"));
  ASSERT_TRUE(client.Type("to the newer one"));
  EXPECT_TRUE(client.Received({"to the newer one\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 3 17"));
  EXPECT_EQ(server.CountLog("recv "), 2u);
}

TEST(WineClientConnection, MissingPipeFails) {
  const std::string missing = TestServer::UniqueName();
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("connect " + missing, CannotConnect(missing)));
  EXPECT_TRUE(client.Command("connect -c " + missing, CannotConnect(missing)));
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_TRUE(client.Command("hello", kNotConnected));
}

TEST(WineClientConnection, BusySingleInstancePipeFailsAfterItsTriesAndWorksOnceFree) {
  TestServer server = WinePrograms::StartServer({"--instances", "1"});
  ClientSession holder = WinePrograms::StartClient();
  ASSERT_TRUE(holder.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(server.WaitForLog("connect 1"));

  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(
      client.Command("connect " + server.Name(), CannotConnect(server.Name()), kBusyConnect));
  EXPECT_TRUE(client.Command("hello", kNotConnected));
  EXPECT_EQ(server.CountLog("connect "), 1u);

  ASSERT_TRUE(holder.Command("close", kClosed));
  ASSERT_TRUE(server.WaitForLog("close 1"));
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected, kBusyConnect));
  ASSERT_TRUE(client.Type("my turn"));
  EXPECT_TRUE(client.Received({"my turn\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 2 8"));
  // Now the holder finds it busy.
  EXPECT_TRUE(
      holder.Command("connect " + server.Name(), CannotConnect(server.Name()), kBusyConnect));
}

TEST(WineClientConnection, BusyPipeFreedDuringTheTriesConnects) {
  TestServer server = WinePrograms::StartServer({"--instances", "1"});
  ClientSession holder = WinePrograms::StartClient();
  ASSERT_TRUE(holder.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(server.WaitForLog("connect 1"));

  ClientSession client = WinePrograms::StartClient();
  ASSERT_TRUE(client.Type("connect " + server.Name()));
  // Well within the client's wait for the busy pipe.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(holder.Command("close", kClosed));
  EXPECT_TRUE(client.Reply(kConnected, kBusyConnect));
  EXPECT_TRUE(server.WaitForLog("connect 2"));
}

TEST(WineClientConnection, ByteTypeServerEchoes) {
  TestServer server = WinePrograms::StartServer({"--byte"});
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("through a stream"));
  EXPECT_TRUE(client.Received({"through a stream\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 1 17"));
  EXPECT_TRUE(client.Command("close", kClosed));
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(WineClientConnection, ServerGoingAwayMakesWritesFail) {
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(byteType ? "byte type" : "message type");
    auto server = std::make_unique<TestServer>(WinePrograms::Server(),
                                               byteType ? std::vector<std::string>{"--byte"}
                                                        : std::vector<std::string>{},
                                               TestServer::UniqueName());
    ClientSession client = WinePrograms::StartClient();
    EXPECT_TRUE(client.Command("connect " + server->Name(), kConnected));
    server->Process().Signal(SIGKILL);
    ASSERT_TRUE(server->Process().WaitForExit().has_value());
    EXPECT_TRUE(client.Command("are you there", kCannotWrite));
    EXPECT_TRUE(client.Command("still?", kCannotWrite));
    EXPECT_TRUE(client.Command("close", kClosed));
    EXPECT_TRUE(client.Command("close", kNotConnected));
    EXPECT_EQ(client.EndInput(), 0);
    EXPECT_EQ(ClientSession::Visible(client.Rest()), "");
  }
}

TEST(WineClientConnection, ServerClosingTheConnectionMakesWritesFail) {
  TestServer server = WinePrograms::StartServer({"--close"});
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(server.WaitForLog("close 1"));
  EXPECT_TRUE(client.Command("anyone?", kCannotWrite));
  EXPECT_TRUE(client.Command("close", kClosed));
  EXPECT_TRUE(server.Process().Running());
}

TEST(WineClientConnection, CloseEndsThePendingReadEveryTime) {
  // Each close comes while the receiver waits in GetOverlappedResult: Close
  // must cancel that read and wait for it before the handle and events go.
  TestServer server = WinePrograms::StartServer({"--no-echo"});
  ClientSession client = WinePrograms::StartClient();
  const int cycles = 200;
  std::string input;
  std::string expected;
  for (int i = 0; i < cycles; ++i) {
    input += "connect " + server.Name() + "\nclose\n";
    expected += kConnected + ClientSession::kPrompt + kClosed + ClientSession::kPrompt;
  }
  ASSERT_TRUE(client.Process().Send(input, ChildProcess::Duration(120000)));
  EXPECT_EQ(client.EndInput(ChildProcess::Duration(120000)), 0);
  const std::string output = client.Rest();
  EXPECT_TRUE(output == client.Shown(expected))
      << "got " << output.size() << " bytes; ends \""
      << ClientSession::Visible(output.substr(output.size() > 300 ? output.size() - 300 : 0))
      << "\"";
  EXPECT_TRUE(server.WaitForLogCount("close ", cycles));
  EXPECT_EQ(server.CountLog("connect "), static_cast<std::size_t>(cycles));
}

} // namespace
