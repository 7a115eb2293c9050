#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace clienttext;

struct Case {
  std::string what;
  // Server options making the messages it replies with.
  std::vector<std::string> script;
  // The pieces the client must print for them.
  std::vector<std::string> pieces;
};

// The server sends its messages in reply to the client's first line, so the
// test knows when they come.
void ExpectReceived(const Case &test, const std::vector<std::string> &serverOptions = {}) {
  SCOPED_TRACE(test.what);
  std::vector<std::string> options = serverOptions;
  options.push_back("--on-message");
  options.insert(options.end(), test.script.begin(), test.script.end());
  TestServer server(options);
  ClientSession client;
  ASSERT_TRUE(client.Command("connect " + server.Name(), "OK Connected\n"));
  ASSERT_TRUE(client.Type("go"));
  EXPECT_TRUE(client.Received(test.pieces));
  EXPECT_TRUE(client.Command("close", "OK Connection closed\n"));
}

TEST(PipeRxThreadReceiving, MessagesAreSplitAtNulBytes) {
  const std::vector<Case> cases = {
      {"plain text", {"--send", "hello"}, {"hello"}},
      {"line feed kept", {"--send", "two\\nlines\\n"}, {"two\nlines\n"}},
      {"one NUL inside", {"--send", "one\\0two"}, {"one", "two"}},
      {"ending NUL gives no empty piece", {"--send", "one\\0two\\0"}, {"one", "two"}},
      {"two NULs give two empty pieces", {"--send", "\\0\\0"}, {"", ""}},
      {"leading NUL gives an empty piece", {"--send", "\\0x"}, {"", "x"}},
      {"NULs in a row", {"--send", "a\\0\\0b"}, {"a", "", "b"}},
  };
  for (const Case &test : cases) {
    ExpectReceived(test);
  }
}

TEST(PipeRxThreadReceiving, MessagesArePrintedInOrderAndEmptyOnesPrintNothing) {
  const std::vector<Case> cases = {
      {"several messages", {"--send", "m1", "--send", "m2", "--send", "m3"}, {"m1", "m2", "m3"}},
      {"empty message", {"--send", "", "--send", "after"}, {"after"}},
      {"empty messages around one NUL", {"--send", "", "--send", "\\0", "--send", ""}, {""}},
  };
  for (const Case &test : cases) {
    ExpectReceived(test);
  }
}

TEST(PipeRxThreadReceiving, LongMessagesArePrintedWhole) {
  const std::string halves = std::string(1500, 'x') + "\\0" + std::string(1500, 'y');
  const std::vector<Case> cases = {
      {"1024 bytes", {"--send-size", "1024"}, {Pattern(1024)}},
      {"1025 bytes", {"--send-size", "1025"}, {Pattern(1025)}},
      {"3000 bytes", {"--send-size", "3000"}, {Pattern(3000)}},
      {"100000 bytes", {"--send-size", "100000"}, {Pattern(100000)}},
      {"long and short in turn",
       {"--send-size", "3000", "--send", "short", "--send-size", "2048"},
       {Pattern(3000), "short", Pattern(2048)}},
      {"NUL past the first 1024 bytes",
       {"--send", halves},
       {std::string(1500, 'x'), std::string(1500, 'y')}},
  };
  for (const Case &test : cases) {
    ExpectReceived(test);
  }
}

TEST(PipeRxThreadReceiving, ByteTypeServerWorksToo) {
  const std::vector<Case> cases = {
      {"byte text", {"--send", "bytes"}, {"bytes"}},
      {"byte NULs", {"--send", "a\\0b\\0"}, {"a", "b"}},
  };
  for (const Case &test : cases) {
    ExpectReceived(test, {"--byte"});
  }
}

TEST(PipeRxThreadReceiving, LongPiecesStayWholeWhileTheShellPrints) {
  // Many long echoes arrive while the shell prints a prompt for each line
  // read: a piece written in parts could get a prompt inside it.
  TestServer server;
  ClientSession client;
  ASSERT_TRUE(client.Command("connect " + server.Name(), "OK Connected\n"));
  std::string input;
  std::vector<std::string> echoes;
  for (int i = 0; i < 200; ++i) {
    echoes.push_back("line " + std::to_string(i) + " " + Pattern(1500) + "\n");
    input += echoes.back();
  }
  ASSERT_TRUE(client.Process().Send(input));
  EXPECT_TRUE(client.Received(echoes, echoes.size()));
  EXPECT_TRUE(server.WaitForLog("recv 1 " + std::to_string(echoes.back().size())));
}

} // namespace
