// The end of a script: with standard input a pipe, the server's answers to
// the last lines sent are still on their way when the input ends, and the
// client shows them before it leaves.
#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {
using namespace clienttext;

// Guards against a client that never leaves; the wait itself is at most 2 s.
const ChildProcess::Duration kExitGuard = std::chrono::seconds(20);

// Sends every line at once, as a script does, then ends the input; the
// client must leave by itself with status 0.
testing::AssertionResult RunScript(ClientSession &client, const std::vector<std::string> &lines) {
  for (const std::string &line : lines) {
    if (!client.Type(line))
      return testing::AssertionFailure() << "skellan took no input \"" << line << "\"";
  }
  const std::optional<int> status = client.EndInput(kExitGuard);
  if (!status)
    return testing::AssertionFailure() << "skellan did not leave at the end of its input";
  if (*status != 0)
    return testing::AssertionFailure() << "skellan left with status " << *status;
  return testing::AssertionSuccess();
}

TEST(ShellProcessScriptEnd, EveryAnswerOfASlowServerToAnUnpacedScriptIsShown) {
  for (const bool typedExit : {false, true}) {
    SCOPED_TRACE(typedExit ? "with a final exit" : "at the end of input");
    // Each answer comes 100 ms after its message.
    TestServer server({"--delay", "100"});
    ClientSession client;
    std::vector<std::string> lines = {"connect " + server.Name(), "one", "two", "three"};
    if (typedExit)
      lines.push_back("exit");
    ASSERT_TRUE(RunScript(client, lines));
    EXPECT_TRUE(client.Reply(kConnected));
    // The prompts before "two", "three" and the last read.
    EXPECT_TRUE(client.Received({"one\n", "two\n", "three\n"}, 3));
    EXPECT_EQ(client.Rest(), "");
  }
}

TEST(ShellProcessScriptEnd, AByteTypeServersAnswerIsShownWhole) {
  TestServer server({"--byte", "--delay", "100"});
  ClientSession client;
  ASSERT_TRUE(RunScript(client, {"connect " + server.Name(), "a line of its own"}));
  EXPECT_TRUE(client.Reply(kConnected));
  // However the reads cut the echo, all of it is shown.
  EXPECT_EQ(ClientSession::Unframed(client.Rest()), "a line of its own\n");
}

TEST(ShellProcessScriptEnd, AServerThatNeverStopsSendingStillLetsTheClientLeave) {
  TestServer server({"--no-echo", "--tick", "50"});
  ClientSession client;
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Process().WaitForOutput("tick 2"));
  const std::size_t before = client.Process().Output().size();
  ASSERT_TRUE(RunScript(client, {"still here"}));
  // It went on showing the ticks for a while after the input ended: at
  // 50 ms a tick, about 40 until the cap.
  const std::string after = client.Process().Output().substr(before);
  std::size_t ticks = 0;
  for (std::size_t at = after.find("tick "); at != std::string::npos;
       at = after.find("tick ", at + 1))
    ++ticks;
  EXPECT_GE(ticks, 10u) << VisibleText(after);
}

TEST(ShellProcessScriptEnd, AServerThatClosesAfterAnsweringHasItsAnswerShown) {
  TestServer server({"--close-after", "1"});
  ClientSession client;
  ASSERT_TRUE(RunScript(client, {"connect " + server.Name(), "last words"}));
  EXPECT_TRUE(client.Reply(kConnected));
  EXPECT_TRUE(client.Received({"last words\n"}, 1));
  EXPECT_EQ(client.Rest(), "");
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

// A server that reads nothing: `close`, `connect` and the end of the script
// act at once all the same, whatever waits unread in the pipe.
TEST(ShellProcessScriptEnd, AServerThatReadsNothingHoldsUpNeitherCloseNorConnectNorTheEnd) {
  for (const bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({"--no-read"}, byteType));
    ClientSession client;
    ASSERT_TRUE(RunScript(client, {"connect " + server.Name(), "never read", "close",
                                   "connect " + server.Name(), "not read either"}));
    // A line sent is answered by nothing but the next prompt.
    EXPECT_TRUE(client.Reply(kConnected));
    EXPECT_TRUE(client.Reply(""));
    EXPECT_TRUE(client.Reply(kClosed));
    EXPECT_TRUE(client.Reply(kConnected));
    EXPECT_TRUE(client.Reply(""));
    EXPECT_EQ(server.CountLog("recv"), 0u);
  }
}

TEST(ShellProcessScriptEnd, NothingIsWaitedForOnceTheConnectionIsClosed) {
  TestServer server({"--no-echo", "--tick", "20"});
  ClientSession client;
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Process().WaitForOutput("tick 1"));
  ASSERT_TRUE(client.Type("close"));
  ASSERT_TRUE(client.Process().WaitForOutput(client.Shown(kClosed)));
  const std::size_t closed = client.Process().Output().find(client.Shown(kClosed));
  ASSERT_TRUE(RunScript(client, {}));
  // `close` acts at once, and after it nothing of the server's shows.
  EXPECT_EQ(client.Process().Output().find("tick", closed), std::string::npos)
      << VisibleText(client.Process().Output().substr(closed));
}
} // namespace
