#include "ClientSession.h"
#include "ClientText.h"
#include "ProcessCensus.h"
#include "SocketPeer.h"
#include "TestServer.h"
#include "Transcript.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace clienttext;

// Guards against a hang while megabytes pass through the client.
const ChildProcess::Duration kLong{60000};
// A connect to a busy pipe tries for some seconds; this only guards against a hang.
const ChildProcess::Duration kBusyConnect{30000};

TEST(ShellProcessServerKilled, WhileMessagesStreamToTheClient) {
  // Far more than the socket buffers hold, so the server is still sending
  // when it is killed.
  const std::size_t count = 400;
  const std::size_t size = 65536;
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType(Messages(count, size), byteType));
    ClientSession client;
    ASSERT_TRUE(client.Type("connect " + server.Name()));
    ASSERT_TRUE(client.Process().WaitForOutputSize(1024 * 1024, kLong));
    server.Process().Signal(SIGKILL);
    ASSERT_TRUE(server.Process().WaitForExit().has_value());

    ASSERT_TRUE(client.Type("are you there"));
    ASSERT_TRUE(client.Type("close"));
    EXPECT_EQ(client.EndInput(kLong), 0);

    // What was still on its way is shown before, between or after the
    // replies; the replies themselves are exactly these.
    const Transcript shown(client.Rest());
    ASSERT_TRUE(shown.Complete()) << VisibleText(shown.Rest());
    EXPECT_EQ(shown.Replies(), (std::vector<std::string>{kConnected, kCannotWrite, kClosed}));
    EXPECT_EQ(shown.Prompts(), 3u);
    const std::string stream = shown.Joined();
    ASSERT_GT(stream.size(), 0u);
    ASSERT_LT(stream.size(), count * size) << "the server was not killed mid-stream";
    if (byteType) {
      // A stream has no messages: what came must be the start of what was sent.
      EXPECT_EQ(PatternBreak(stream, size), stream.size());
    } else {
      const std::string message = Pattern(size);
      for (std::size_t i = 0; i < shown.Pieces().size(); ++i) {
        ASSERT_TRUE(shown.Pieces()[i] == message)
            << "piece " << i << " of " << shown.Pieces().size() << " has "
            << shown.Pieces()[i].size() << " bytes";
      }
    }
  }
}

TEST(ShellProcessServerKilled, WhileTheClientWaitsForTheBusyPipe) {
  TestServer server({"--instances", "1"});
  SocketPeer holder;
  ASSERT_EQ(holder.Connect(server.SocketPath()), 0);
  ASSERT_TRUE(server.WaitForLog("connect 1"));

  ClientSession client;
  ASSERT_TRUE(client.Type("connect " + server.Name()));
  // Within the client's tries, which wait between them.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  server.Process().Signal(SIGKILL);
  ASSERT_TRUE(server.Process().WaitForExit().has_value());
  EXPECT_TRUE(client.Reply(CannotConnect(server.Name()), kBusyConnect));
  EXPECT_TRUE(client.Command("hello", kNotConnected));
  EXPECT_EQ(client.EndInput(), 0);
}

TEST(ShellProcessServerFrozen, ClientBlockedOnAWriteGetsAnErrorAndGoesOn) {
  const std::string line(100 * 1024, 'x');
  const int most = 400;
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({}, byteType));
    ClientSession client;
    EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(server.WaitForLog("connect 1"));
    // A stopped server reads nothing: the client's writes fill the
    // socket and then wait, and it stops reading its input.
    server.Process().Signal(SIGSTOP);
    int sent = 0;
    while (sent < most && client.Process().Send(line + "\n", ChildProcess::Duration(2000))) {
      ++sent;
    }
    ASSERT_LT(sent, most) << "the client never waited on a write";

    server.Process().Signal(SIGKILL);
    ASSERT_TRUE(server.Process().WaitForExit().has_value());
    // The line feed ends whatever part of a line went in before the wait.
    ASSERT_TRUE(client.Process().Send("\nclose\n", kLong));
    EXPECT_EQ(client.EndInput(kLong), 0);

    const Transcript shown(client.Rest());
    ASSERT_TRUE(shown.Complete()) << VisibleText(shown.Rest());
    EXPECT_TRUE(shown.Pieces().empty()) << "shown: \"" << VisibleText(shown.Joined()) << "\" in \""
                                        << VisibleText(client.Rest()) << "\"";
    const std::vector<std::string> &replies = shown.Replies();
    ASSERT_GE(replies.size(), 2u);
    EXPECT_EQ(replies.back(), kClosed);
    // Every line that was not through when the server died failed,
    // the one that waited first.
    std::size_t failed = 0;
    for (const std::string &reply : replies) {
      failed += reply == kCannotWrite ? 1 : 0;
    }
    EXPECT_GE(failed, 1u);
    EXPECT_EQ(failed, replies.size() - 1);
  }
}

TEST(ShellProcessServerCloses, AfterSomeMessages) {
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({"--close-after", "2"}, byteType));
    ClientSession client;
    EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(client.Type("one"));
    EXPECT_TRUE(client.Received({"one\n"}));
    ASSERT_TRUE(client.Type("two"));
    // The last echo still comes, though the server closes right after it.
    EXPECT_TRUE(client.Received({"two\n"}));
    ASSERT_TRUE(server.WaitForLog("close 1"));
    EXPECT_TRUE(client.Command("three", kCannotWrite));
    EXPECT_TRUE(client.Command("close", kClosed));
    EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(client.Type("four"));
    EXPECT_TRUE(client.Received({"four\n"}));
    EXPECT_EQ(client.EndInput(), 0);
    EXPECT_EQ(VisibleText(client.Rest()), "");
  }
}

TEST(ShellProcessServerCloses, RightAfterItsMessages) {
  const std::vector<std::string> script = {"--send", "first",       "--send",
                                           "second", "--send-size", "5000"};
  const std::vector<std::string> texts = {"first", "second", Pattern(5000)};
  for (bool onMessage : {false, true}) {
    for (bool byteType : {false, true}) {
      SCOPED_TRACE(std::string(TestServer::TypeName(byteType)) +
                   (onMessage ? ", in reply to a message" : ", on connect"));
      std::vector<std::string> options = script;
      options.push_back("--close");
      if (onMessage) {
        options.push_back("--on-message");
      }
      TestServer server(TestServer::OfType(options, byteType));
      ClientSession client;
      ASSERT_TRUE(client.Type("connect " + server.Name()));
      if (onMessage) {
        ASSERT_TRUE(client.Type("go"));
      }
      ASSERT_TRUE(server.WaitForLog("close 1"));
      // The receiver is started before the reply. It ends once it has
      // met the end of the connection, so all that came before has
      // been shown then; a `close` any earlier would drop the rest.
      ASSERT_TRUE(client.Process().WaitForOutput(kConnected));
      ASSERT_TRUE(ProcessCensus::WaitForReceivers(client.Process().Pid(), 0,
                                                  ChildProcess::kDefaultTimeout));
      ASSERT_TRUE(client.Type("hello?"));
      ASSERT_TRUE(client.Type("close"));
      EXPECT_EQ(client.EndInput(), 0);

      const Transcript shown(client.Rest());
      ASSERT_TRUE(shown.Complete()) << VisibleText(shown.Rest());
      EXPECT_EQ(shown.Replies(), (std::vector<std::string>{kConnected, kCannotWrite, kClosed}));
      if (byteType) {
        EXPECT_TRUE(shown.Joined() == texts[0] + texts[1] + texts[2])
            << "received " << shown.Joined().size() << " bytes";
      } else {
        EXPECT_TRUE(shown.Pieces() == texts) << "received " << shown.Pieces().size() << " pieces";
      }
    }
  }
}

} // namespace
