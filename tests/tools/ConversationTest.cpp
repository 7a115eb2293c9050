#include "ClientText.h"
#include "SocketPeer.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace clienttext;

using namespace std::string_literals;
using Result = SocketPeer::Result;

// Bytes of every value, so nothing is special-cased on the way.
std::string Binary(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
  }
  return data;
}

void ExpectMessages(SocketPeer &client, const std::vector<std::string> &expected) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    std::string message;
    ASSERT_EQ(client.Receive(message), Result::Message) << "message " << i;
    EXPECT_TRUE(message == expected[i]) << "message " << i << ": got " << message.size()
                                        << " bytes, expected " << expected[i].size();
  }
}

TEST(ConversationMessages, EchoesEachMessageUnchangedAndLogsItsLength) {
  TestServer server;
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath()), 0);
  const std::vector<std::string> messages = {
      "hello\n", "", "a\0b"s, "\0\0"s, " \r\n\t ", std::string(1024, 'k'), Binary(3000), "last"};
  for (const std::string &message : messages) {
    ASSERT_TRUE(client.Send(message));
    ExpectMessages(client, {message});
  }
  for (const std::string &message : messages) {
    EXPECT_TRUE(server.WaitForLog("recv 1 " + std::to_string(message.size())));
  }
  // The log lists them in order.
  std::string expectedLog = "connect 1\n";
  for (const std::string &message : messages) {
    expectedLog += "recv 1 " + std::to_string(message.size()) + "\n";
  }
  EXPECT_NE(server.Process().Output().find(expectedLog), std::string::npos)
      << server.Process().Output();
}

TEST(ConversationMessages, EchoesLargeMessagesWhole) {
  TestServer server;
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath()), 0);
  for (std::size_t size : {std::size_t{100000}, std::size_t{3} * 1024 * 1024}) {
    SCOPED_TRACE(size);
    const std::string message = Binary(size);
    ASSERT_TRUE(client.Send(message));
    ExpectMessages(client, {message});
    EXPECT_TRUE(server.WaitForLog("recv 1 " + std::to_string(size)));
  }
}

TEST(ConversationMessages, NoEchoSendsNothingBack) {
  TestServer server({"--no-echo", "--close-after", "2"});
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath()), 0);
  ASSERT_TRUE(client.Send("one"));
  ASSERT_TRUE(client.Send("two"));
  // The end of the connection comes first: nothing was sent before it.
  std::string message;
  EXPECT_EQ(client.Receive(message), Result::Closed) << "got \"" << message << "\"";
  EXPECT_TRUE(server.WaitForLog("recv 1 3"));
  EXPECT_EQ(server.CountLog("recv 1 3"), 2u);
}

// A server that is stuck: it greets, then takes nothing, and the
// connection lasts until the client ends it.
TEST(ConversationMessages, NoReadTakesNothingAndStaysUntilTheClientCloses) {
  TestServer server({"--no-read", "--send", "hi"});
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath()), 0);
  ExpectMessages(client, {"hi"});
  ASSERT_TRUE(client.Send("never read"));
  client.Close();
  EXPECT_TRUE(server.WaitForLog("close 1"));
  EXPECT_EQ(server.CountLog("recv"), 0u);
}

TEST(ConversationScript, SendsMessagesOnConnectInOrder) {
  TestServer server({"--send", "one", "--send-size", "30", "--send", "", "--send",
                     "a\\0b\\n\\r\\t\\\\\\x41\\xff", "--send-size", "0", "--send-size", "2000000"});
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath()), 0);
  ExpectMessages(client, {"one", Pattern(30), "", "a\0b\n\r\t\\A\xff"s, "", Pattern(2000000)});
  // Then it echoes as usual.
  ASSERT_TRUE(client.Send("echo"));
  ExpectMessages(client, {"echo"});
}

TEST(ConversationScript, OnMessageRepliesToTheFirstMessageInsteadOfEchoing) {
  TestServer server({"--on-message", "--send", "reply 1", "--send", "reply 2"});
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath()), 0);
  ASSERT_TRUE(client.Send("trigger"));
  ASSERT_TRUE(client.Send("second"));
  ExpectMessages(client, {"reply 1", "reply 2", "second"});
  EXPECT_TRUE(server.WaitForLog("recv 1 7"));
  EXPECT_TRUE(server.WaitForLog("recv 1 6"));
}

TEST(ConversationScript, ClosesWhenTold) {
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> send;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{"--close"}, {}, {}},
      {{"--send", "bye", "--send", "", "--close"}, {}, {"bye", ""}},
      {{"--on-message", "--send", "bye", "--close"}, {"go"}, {"bye"}},
      {{"--close-after", "3"}, {"a", "b", "c", "d"}, {"a", "b", "c"}},
      // Answers, then closes.
      {{"--close-after", "1"}, {"only"}, {"only"}},
      {{"--close-after", "1", "--on-message", "--send", "r"}, {"go", "more"}, {"r"}},
  };
  for (const Case &test : cases) {
    std::string shown;
    for (const std::string &option : test.options) {
      shown += " " + option;
    }
    SCOPED_TRACE("options:" + shown);
    TestServer server(test.options);
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath()), 0);
    for (const std::string &message : test.send) {
      // The last ones may find the connection already closed.
      client.Send(message);
    }
    ExpectMessages(client, test.expected);
    std::string extra;
    EXPECT_EQ(client.Receive(extra), Result::Closed) << "got \"" << extra << "\"";
    EXPECT_TRUE(server.WaitForLog("close 1"));
    EXPECT_TRUE(server.Process().Running());
  }
}

TEST(ConversationByteType, EchoesTheByteStream) {
  TestServer server({"--byte"});
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath(), true), 0);
  const std::string data = "hello\0"s + Binary(300000);
  ASSERT_TRUE(client.Send(data));
  std::string echo;
  ASSERT_EQ(client.ReceiveBytes(data.size(), echo), Result::Message);
  EXPECT_TRUE(echo == data);
  // Each read is logged with its length; together they are all the bytes.
  client.Close();
  ASSERT_TRUE(server.WaitForLog("close 1"));
  std::size_t logged = 0;
  const std::string &log = server.Process().Output();
  const std::string recv = "\nrecv 1 ";
  for (std::size_t at = log.find(recv); at != std::string::npos; at = log.find(recv, at + 1)) {
    logged += std::stoul(log.substr(at + recv.size()));
  }
  EXPECT_EQ(logged, data.size());
}

TEST(ConversationByteType, SendsScriptAsBytesAndRefusesMessageClients) {
  TestServer server({"--byte", "--send", "ab\\0c", "--send", "", "--send-size", "10"});
  SocketPeer client;
  ASSERT_EQ(client.Connect(server.SocketPath(), true), 0);
  std::string data;
  ASSERT_EQ(client.ReceiveBytes(14, data), Result::Message);
  EXPECT_EQ(data, "ab\0c"s + Pattern(10));

  SocketPeer wrongType;
  EXPECT_NE(wrongType.Connect(server.SocketPath(), false), 0);
  TestServer messageServer;
  EXPECT_NE(wrongType.Connect(messageServer.SocketPath(), true), 0);
}

} // namespace
