#include "ChildProcess.h"
#include "ClientSession.h"
#include "ClientText.h"
#include "TestPrograms.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

namespace {

using namespace clienttext;

const ChildProcess::Duration kBusyConnect{30000};

using testprograms::Server;
using Clock = std::chrono::steady_clock;

TEST(Win32PipeServer, CommandLineIsTheSameAsOnLinux) {
  ChildProcess help(Server({"--help"}));
  EXPECT_EQ(help.WaitForExit(), 0);
  EXPECT_EQ(help.Output().rfind("Usage: skellan-server", 0), 0u) << help.Output();
  EXPECT_NE(help.Output().find("\\\\.\\pipe\\NAME"), std::string::npos) << help.Output();

  const std::string name = TestServer::UniqueName();
  for (const auto &args : std::vector<std::vector<std::string>>{
           {}, {"--bogus", name}, {"--instances", "0", name}, {"--send", "a\\q", name}}) {
    ChildProcess server(Server(args));
    EXPECT_EQ(server.WaitForExit(), 2);
    EXPECT_NE(server.ErrorOutput(), "");
    EXPECT_EQ(server.Output(), "");
  }
}

TEST(Win32PipeServer, ListensOnThePipeNameAndRefusesASecondServer) {
  TestServer server;
  EXPECT_EQ(server.SocketPath(), "\\\\.\\pipe\\" + server.Name());

  ChildProcess rival(Server({server.Name()}));
  EXPECT_EQ(rival.WaitForExit(), 1);
  EXPECT_NE(rival.ErrorOutput().find("another server"), std::string::npos) << rival.ErrorOutput();
  EXPECT_EQ(rival.Output(), "");

  // The first server still serves the name.
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("still served"));
  EXPECT_TRUE(client.Received({"still served\n"}));
}

TEST(Win32PipeServer, InstancesLimitMakesThePipeBusy) {
  TestServer server({"--instances", "2"});
  ClientSession first;
  ClientSession second;
  ClientSession third;
  ASSERT_TRUE(first.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(second.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(server.WaitForLog("connect 2"));
  EXPECT_TRUE(
      third.Command("connect " + server.Name(), CannotConnect(server.Name()), kBusyConnect));

  ASSERT_TRUE(first.Command("close", kClosed));
  ASSERT_TRUE(server.WaitForLog("close 1"));
  EXPECT_TRUE(third.Command("connect " + server.Name(), kConnected, kBusyConnect));
  ASSERT_TRUE(third.Type("third served"));
  EXPECT_TRUE(third.Received({"third served\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 3 13"));
  EXPECT_EQ(server.CountLog("connect "), 3u);
}

TEST(Win32PipeServer, ClosingAfterItsScriptStillDeliversEveryByte) {
  // Disconnecting would throw away what the client has not read yet.
  TestServer server({"--on-message", "--send-size", "100000", "--send", "end", "--close"});
  ClientSession client;
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("go"));
  EXPECT_TRUE(client.Received({Pattern(100000), "end"}));
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(Win32PipeServer, DelayedRepliesComeInOrderWhileMessagesAreStillReceived) {
  const std::chrono::milliseconds delay(1000);
  for (const bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType(
        {"--delay", std::to_string(delay.count()), "--close-after", "2"}, byteType));
    ClientSession client;
    ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
    const Clock::time_point first = Clock::now();
    ASSERT_TRUE(client.Type("one"));
    ASSERT_TRUE(server.WaitForLog("recv 1 4"));
    const Clock::time_point second = Clock::now();
    ASSERT_TRUE(client.Type("second"));
    ASSERT_TRUE(server.WaitForLog("recv 1 7"));
    client.Process().Collect();
    EXPECT_EQ(ClientSession::Unframed(client.Rest()), "");

    ASSERT_TRUE(client.Process().WaitForOutput(client.Shown("one\n")));
    EXPECT_GE(Clock::now() - first, delay);
    ASSERT_TRUE(client.Process().WaitForOutput(client.Shown("second\n")));
    EXPECT_GE(Clock::now() - second, delay);
    // The replies owed went out before the connection ended.
    EXPECT_TRUE(server.WaitForLog("close 1"));
    EXPECT_EQ(ClientSession::Unframed(client.Rest()), "one\nsecond\n");
  }
}

TEST(Win32PipeServer, TicksGoOnAmongTheEchoes) {
  for (const bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({"--tick", "100"}, byteType));
    ClientSession client;
    ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(client.Process().WaitForOutput(client.Shown("tick 2\n")));
    ASSERT_TRUE(client.Type("between"));
    const std::string echo = client.Shown("between\n");
    ASSERT_TRUE(client.Process().WaitForOutput(echo));
    const std::size_t echoAt = client.Process().Output().find(echo);
    ASSERT_TRUE(client.Process().WaitForOutput(client.Shown("\n"), ChildProcess::kDefaultTimeout,
                                               echoAt + echo.size()));

    std::string shown = ClientSession::Unframed(client.Rest());
    shown.erase(shown.rfind('\n') + 1);
    const std::size_t between = shown.find("between\n");
    ASSERT_NE(between, std::string::npos) << shown;
    shown.erase(between, 8);
    EXPECT_EQ(shown, Ticks(std::count(shown.begin(), shown.end(), '\n')));
    EXPECT_NE(shown.find("tick 3\n"), std::string::npos) << shown;
  }
}

TEST(Win32PipeServer, StopsAfterMaxConnectionsAndOnCtrlC) {
  TestServer counted({"--max-connections", "2"});
  ClientSession client;
  for (int id = 1; id <= 2; ++id) {
    ASSERT_TRUE(client.Command("connect " + counted.Name(), kConnected));
    ASSERT_TRUE(client.Command("close", kClosed));
  }
  EXPECT_EQ(counted.Process().WaitForExit(), 0);
  EXPECT_EQ(counted.CountLog("close "), 2u);

  // Wine turns SIGINT into the console's Ctrl-C event.
  TestServer interrupted;
  ASSERT_TRUE(client.Command("connect " + interrupted.Name(), kConnected));
  ASSERT_TRUE(interrupted.WaitForLog("connect 1"));
  interrupted.Process().Signal(SIGINT);
  EXPECT_EQ(interrupted.Process().WaitForExit(), 0);
  EXPECT_NE(interrupted.Process().Output().find("\nclose 1\n"), std::string::npos)
      << interrupted.Process().Output();
}

} // namespace
