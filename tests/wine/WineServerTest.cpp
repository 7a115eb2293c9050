#include "ChildProcess.h"
#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"
#include "WinePrograms.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

using namespace clienttext;

const ChildProcess::Duration kBusyConnect{30000};

std::vector<std::string> Server(const std::vector<std::string> &args) {
  std::vector<std::string> command = WinePrograms::Server();
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

TEST(WineServer, CommandLineIsTheSameAsOnLinux) {
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

TEST(WineServer, ListensOnThePipeNameAndRefusesASecondServer) {
  TestServer server = WinePrograms::StartServer();
  EXPECT_EQ(server.SocketPath(), "\\\\.\\pipe\\" + server.Name());

  ChildProcess rival(Server({server.Name()}));
  EXPECT_EQ(rival.WaitForExit(), 1);
  EXPECT_NE(rival.ErrorOutput().find("another server"), std::string::npos) << rival.ErrorOutput();
  EXPECT_EQ(rival.Output(), "");

  // The first server still serves the name.
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("still served"));
  EXPECT_TRUE(client.Received({"still served\n"}));
}

TEST(WineServer, InstancesLimitMakesThePipeBusy) {
  TestServer server = WinePrograms::StartServer({"--instances", "2"});
  ClientSession first = WinePrograms::StartClient();
  ClientSession second = WinePrograms::StartClient();
  ClientSession third = WinePrograms::StartClient();
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

TEST(WineServer, ClosingAfterItsScriptStillDeliversEveryByte) {
  // Disconnecting would throw away what the client has not read yet.
  TestServer server = WinePrograms::StartServer(
      {"--on-message", "--send-size", "100000", "--send", "end", "--close"});
  ClientSession client = WinePrograms::StartClient();
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("go"));
  std::string pattern;
  for (std::size_t i = 0; i < 100000; ++i) {
    pattern += static_cast<char>('a' + i % 26);
  }
  EXPECT_TRUE(client.Received({pattern, "end"}));
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(WineServer, StopsAfterMaxConnectionsAndOnCtrlC) {
  TestServer counted = WinePrograms::StartServer({"--max-connections", "2"});
  ClientSession client = WinePrograms::StartClient();
  for (int id = 1; id <= 2; ++id) {
    ASSERT_TRUE(client.Command("connect " + counted.Name(), kConnected));
    ASSERT_TRUE(client.Command("close", kClosed));
  }
  EXPECT_EQ(counted.Process().WaitForExit(), 0);
  EXPECT_EQ(counted.CountLog("close "), 2u);

  // Wine turns SIGINT into the console's Ctrl-C event.
  TestServer interrupted = WinePrograms::StartServer();
  ASSERT_TRUE(client.Command("connect " + interrupted.Name(), kConnected));
  ASSERT_TRUE(interrupted.WaitForLog("connect 1"));
  interrupted.Process().Signal(SIGINT);
  EXPECT_EQ(interrupted.Process().WaitForExit(), 0);
  EXPECT_NE(interrupted.Process().Output().find("\nclose 1\n"), std::string::npos)
      << interrupted.Process().Output();
}

} // namespace
