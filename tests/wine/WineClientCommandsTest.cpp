#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"
#include "WinePrograms.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace clienttext;

TEST(WineClientCommands, RepliesWhileNotConnected) {
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_TRUE(client.Command("a message", kNotConnected));
  EXPECT_TRUE(client.Command("connect", kNoName));
  EXPECT_TRUE(client.Command("connect -c", kNoName));
  EXPECT_TRUE(client.Command("connect   ", kNoName));
  EXPECT_TRUE(client.Command("", ""));
  EXPECT_TRUE(client.Command("    ", ""));
  ASSERT_TRUE(client.Type("exit"));
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  EXPECT_EQ(ClientSession::Visible(client.Rest()), "");
}

TEST(WineClientCommands, CommandWordsIgnoreLetterCaseAndAreNeverSent) {
  TestServer server = WinePrograms::StartServer({"--no-echo"});
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("CONNECT " + server.Name(), kConnected));
  EXPECT_TRUE(client.Command("Close", kClosed));
  EXPECT_TRUE(client.Command("cOnNeCt -c " + server.Name(), kConnected));
  EXPECT_TRUE(client.Command("CLOSE", kClosed));
  EXPECT_TRUE(client.Command("cLoSe", kNotConnected));
  ASSERT_TRUE(client.Type("ExIt"));
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  EXPECT_EQ(ClientSession::Visible(client.Rest()), "");
  ASSERT_TRUE(server.WaitForLog("close 2"));
  EXPECT_EQ(server.CountLog("recv "), 0u);
}

TEST(WineClientCommands, ExitWhileConnectedClosesTheConnection) {
  TestServer server = WinePrograms::StartServer({"--no-echo"});
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("exit"));
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  EXPECT_EQ(ClientSession::Visible(client.Rest()), "");
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(WineClientEndOfInput, ActsAsExitWithStatusZero) {
  ClientSession idle = WinePrograms::StartClient();
  EXPECT_TRUE(idle.Command("close", kNotConnected));
  EXPECT_EQ(idle.EndInput(), 0);
  EXPECT_EQ(ClientSession::Visible(idle.Rest()), "");

  // Also while connected, with the receiver waiting for a message.
  TestServer server = WinePrograms::StartServer();
  ClientSession connected = WinePrograms::StartClient();
  EXPECT_TRUE(connected.Command("connect " + server.Name(), kConnected));
  EXPECT_EQ(connected.EndInput(), 0);
  EXPECT_EQ(ClientSession::Visible(connected.Rest()), "");
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(WineClientEndOfInput, LastLineWithoutLineFeedIsSentFirst) {
  TestServer server = WinePrograms::StartServer({"--no-echo"});
  ClientSession client = WinePrograms::StartClient();
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Process().Send("last words"));
  client.Process().CloseInput();
  EXPECT_TRUE(server.WaitForLog("recv 1 11"));
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  EXPECT_TRUE(client.Reply(""));
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(WineClientEndOfInput, WholeScriptAtOnceGivesExactTranscript) {
  TestServer server = WinePrograms::StartServer({"--no-echo"});
  ClientSession client = WinePrograms::StartClient();
  const std::string connect = "connect " + server.Name();
  ASSERT_TRUE(client.Process().Send("close\n" + connect + "\nhello\nclose\n\nconnect\n"));
  client.Process().CloseInput();
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  const std::string &p = ClientSession::kPrompt;
  EXPECT_EQ(ClientSession::Visible(client.Rest()),
            ClientSession::Visible(client.Shown(kNotConnected + p + kConnected + p + p + kClosed +
                                                p + p + kNoName + p)));
  EXPECT_TRUE(server.WaitForLog("recv 1 6"));
}

} // namespace
