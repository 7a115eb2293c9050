#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

namespace {

using namespace clienttext;

TEST(ShellProcessCommands, RepliesWhileNotConnected) {
  ClientSession client;
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_TRUE(client.Command("a message", kNotConnected));
  EXPECT_TRUE(client.Command("connect", kNoName));
  EXPECT_TRUE(client.Command("connect -c", kNoName));
  EXPECT_TRUE(client.Command("connect   ", kNoName));
  // Blank lines print nothing but the next prompt.
  EXPECT_TRUE(client.Command("", ""));
  EXPECT_TRUE(client.Command("    ", ""));
  ASSERT_TRUE(client.Type("exit"));
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  EXPECT_EQ(VisibleText(client.Rest()), "");
}

TEST(ShellProcessCommands, CommandWordsIgnoreLetterCase) {
  TestServer server({"--no-echo"});
  ClientSession client;
  EXPECT_TRUE(client.Command("CONNECT " + server.Name(), kConnected));
  EXPECT_TRUE(client.Command("Close", kClosed));
  EXPECT_TRUE(client.Command("cOnNeCt -c " + server.Name(), kConnected));
  EXPECT_TRUE(client.Command("CLOSE", kClosed));
  EXPECT_TRUE(client.Command("cLoSe", kNotConnected));
  EXPECT_TRUE(client.Command("Connect", kNoName));
  // Only a lowercase -c is the option; "-C" is taken as the pipe name.
  EXPECT_TRUE(client.Command("connect -C", "ERROR Cannot connect to named pipe: -C\n"));
  ASSERT_TRUE(client.Type("ExIt"));
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  EXPECT_EQ(VisibleText(client.Rest()), "");
  // Commands are never sent to the pipe.
  ASSERT_TRUE(server.WaitForLog("close 2"));
  EXPECT_EQ(server.CountLog("recv "), 0u);
}

TEST(ShellProcessCommands, ExitWhileConnectedClosesTheConnection) {
  TestServer server({"--no-echo"});
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("exit"));
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  EXPECT_EQ(VisibleText(client.Rest()), "");
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(ShellProcessEndOfInput, ActsAsExit) {
  ClientSession idle;
  EXPECT_TRUE(idle.Command("close", kNotConnected));
  // The prompt for the read that meets the end was already printed.
  EXPECT_EQ(idle.EndInput(), 0);
  EXPECT_EQ(VisibleText(idle.Rest()), "");

  // Also while connected, with the receiver waiting for a message.
  TestServer server;
  ClientSession connected;
  EXPECT_TRUE(connected.Command("connect " + server.Name(), kConnected));
  EXPECT_EQ(connected.EndInput(), 0);
  EXPECT_EQ(VisibleText(connected.Rest()), "");
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(ShellProcessEndOfInput, LastLineWithoutLineFeedIsActedOnFirst) {
  ClientSession idle;
  ASSERT_TRUE(idle.Process().Send("close"));
  idle.Process().CloseInput();
  EXPECT_TRUE(idle.Reply(kNotConnected));
  EXPECT_EQ(idle.Process().WaitForExit(), 0);
  EXPECT_EQ(VisibleText(idle.Rest()), "");

  TestServer server({"--no-echo"});
  ClientSession connected;
  EXPECT_TRUE(connected.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(connected.Process().Send("last words"));
  connected.Process().CloseInput();
  // Sent like any line: with a line feed added.
  EXPECT_TRUE(server.WaitForLog("recv 1 11"));
  EXPECT_EQ(connected.Process().WaitForExit(), 0);
  EXPECT_TRUE(connected.Reply(""));
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

TEST(ShellProcessEndOfInput, WholeScriptAtOnceGivesExactTranscript) {
  TestServer server({"--no-echo"});
  ClientSession client;
  const std::string connect = "connect " + server.Name();
  ASSERT_TRUE(client.Process().Send("close\n" + connect + "\nhello\nclose\n\nconnect\n"));
  client.Process().CloseInput();
  EXPECT_EQ(client.Process().WaitForExit(), 0);
  const std::string &p = ClientSession::kPrompt;
  EXPECT_EQ(VisibleText(client.Rest()),
            VisibleText(client.Shown(kNotConnected + p + kConnected + p + p + kClosed + p + p +
                                     kNoName + p)));
  EXPECT_TRUE(server.WaitForLog("recv 1 6"));
}

} // namespace
