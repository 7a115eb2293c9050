#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"
#include "VisibleText.h"

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

TEST(ShellProcessConnection, ReconnectsAfterClose) {
  TestServer server;
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  EXPECT_TRUE(client.Command("close", kClosed));
  EXPECT_TRUE(server.WaitForLog("close 1"));
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_TRUE(client.Command("connect -c " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("again"));
  EXPECT_TRUE(client.Received({"again\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 2 6"));
}

TEST(ShellProcessConnection, ConnectWhileConnectedReplacesTheConnection) {
  TestServer first;
  TestServer second;
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + first.Name(), kConnected));
  EXPECT_TRUE(client.Command("connect " + first.Name(), kConnected));
  EXPECT_TRUE(first.WaitForLog("connect 2"));
  ASSERT_TRUE(client.Type("to the newer one"));
  EXPECT_TRUE(client.Received({"to the newer one\n"}));
  EXPECT_TRUE(first.WaitForLog("recv 2 17"));
  // The replaced connection is not left open.
  EXPECT_TRUE(first.WaitForLog("close 1"));

  EXPECT_TRUE(client.Command("connect " + second.Name(), kConnected));
  ASSERT_TRUE(client.Type("to the other server"));
  EXPECT_TRUE(client.Received({"to the other server\n"}));
  EXPECT_TRUE(second.WaitForLog("recv 1 20"));
  EXPECT_TRUE(first.WaitForLog("close 2"));
  EXPECT_EQ(first.CountLog("recv "), 1u);
}

TEST(ShellProcessConnection, MissingPipeFails) {
  const std::string missing = TestServer::UniqueName();
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + missing, CannotConnect(missing)));
  EXPECT_TRUE(client.Command("connect -c " + missing, CannotConnect(missing)));
  const std::string missingPath = TestServer::UniquePath();
  EXPECT_TRUE(client.Command("connect " + missingPath, CannotConnect(missingPath)));
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_TRUE(client.Command("hello", kNotConnected));
}

// A single-instance server whose one instance a first client holds.
class ShellProcessBusyPipe : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(holder.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(server.WaitForLog("connect 1"));
  }

  TestServer server{{"--instances", "1"}};
  ClientSession holder;
};

TEST_F(ShellProcessBusyPipe, ConnectFailsAfterItsTriesAndWorksOnceFree) {
  ClientSession client;
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
  // Now the first client finds it busy.
  EXPECT_TRUE(
      holder.Command("connect " + server.Name(), CannotConnect(server.Name()), kBusyConnect));
}

TEST_F(ShellProcessBusyPipe, FreedDuringTheTriesConnects) {
  ClientSession client;
  ASSERT_TRUE(client.Type("connect " + server.Name()));
  // Well within the client's wait for the busy pipe.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(holder.Command("close", kClosed));
  EXPECT_TRUE(client.Reply(kConnected, kBusyConnect));
  EXPECT_TRUE(server.WaitForLog("connect 2"));
}

TEST(ShellProcessConnection, ByteTypeServerEchoes) {
  TestServer server({"--byte"});
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("through a stream"));
  EXPECT_TRUE(client.Received({"through a stream\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 1 17"));
  EXPECT_TRUE(client.Command("close", kClosed));
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

// Nothing is printed when the server goes; the next line finds out. A new
// server on the same name serves the same client.
TEST(ShellProcessConnection, ServerGoingAwayMakesWritesFailUntilANewOneServes) {
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    const std::string name = TestServer::UniqueName();
    auto server = std::make_unique<TestServer>(TestServer::OfType({}, byteType), name);
    ClientSession client;
    EXPECT_TRUE(client.Command("connect " + name, kConnected));
    server->Process().Signal(SIGKILL);
    ASSERT_TRUE(server->Process().WaitForExit().has_value());
    // Removes the socket file the killed server left behind.
    server.reset();

    EXPECT_TRUE(client.Command("are you there", kCannotWrite));
    EXPECT_TRUE(client.Command("still?", kCannotWrite));
    EXPECT_TRUE(client.Command("close", kClosed));
    EXPECT_TRUE(client.Command("close", kNotConnected));
    EXPECT_TRUE(client.Command("connect " + name, CannotConnect(name)));
    EXPECT_TRUE(client.Command("hello", kNotConnected));

    TestServer restarted(TestServer::OfType({}, byteType), name);
    EXPECT_TRUE(client.Command("connect " + name, kConnected));
    ASSERT_TRUE(client.Type("back again"));
    EXPECT_TRUE(client.Received({"back again\n"}));
    EXPECT_EQ(client.EndInput(), 0);
    EXPECT_EQ(VisibleText(client.Rest()), "");
    EXPECT_TRUE(restarted.WaitForLog("close 1"));
  }
}

TEST(ShellProcessConnection, ServerClosingTheConnectionMakesWritesFail) {
  TestServer server({"--close"});
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(server.WaitForLog("close 1"));
  EXPECT_TRUE(client.Command("anyone?", kCannotWrite));
  EXPECT_TRUE(client.Command("close", kClosed));
  EXPECT_TRUE(server.Process().Running());
}

TEST(ShellProcessConnection, ThousandConnectCloseCyclesInOneRun) {
  // Each close comes while the receiver waits for a message: the pending
  // read must end, and be over, before the handle and events go.
  TestServer server({"--no-echo"});
  ClientSession client;
  const int cycles = 1000;
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
      << "got " << output.size() << " bytes, expected " << expected.size() << "; ends \""
      << VisibleText(output.substr(output.size() > 300 ? output.size() - 300 : 0)) << "\"";
  EXPECT_TRUE(server.WaitForLogCount("close ", cycles));
  EXPECT_EQ(server.CountLog("connect "), static_cast<std::size_t>(cycles));
  EXPECT_EQ(server.CountLog("close "), static_cast<std::size_t>(cycles));
}

} // namespace
