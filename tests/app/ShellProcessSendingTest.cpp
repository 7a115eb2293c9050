#include "ClientSession.h"
#include "TestServer.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// A connected client and an echoing server.
class ShellProcessSending : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(client_.Command("connect " + server_.Name(), "OK Connected\n"));
  }

  // Sends raw input and expects the server to have got `sent` (seen in its
  // log) and echoed it back (seen on the client's screen).
  void ExpectSent(const std::string &input, const std::string &sent) {
    SCOPED_TRACE("input \"" + VisibleText(input) + "\"");
    ++messages_;
    ASSERT_TRUE(client_.Process().Send(input));
    EXPECT_TRUE(client_.Received({sent}));
    EXPECT_TRUE(server_.WaitForLog("recv 1 " + std::to_string(sent.size())));
    EXPECT_EQ(server_.CountLog("recv 1 "), messages_);
  }

  TestServer server_;
  ClientSession client_;
  std::size_t messages_ = 0;
};

TEST_F(ShellProcessSending, LineGoesOutAsOneMessageWithItsLineFeed) {
  ExpectSent("hello world\n", "hello world\n");
  ExpectSent("x\n", "x\n");
  ExpectSent("  leading and trailing blanks  \n", "  leading and trailing blanks  \n");
  ExpectSent("\ttab\tinside\n", "\ttab\tinside\n");
}

TEST_F(ShellProcessSending, CarriageReturnBeforeLineFeedIsDropped) {
  ExpectSent("dos line\r\n", "dos line\n");
  // Only the one right before the line feed.
  ExpectSent("a\rb\r\n", "a\rb\n");
}

TEST_F(ShellProcessSending, NulEndsTheLineText) { ExpectSent("before\0after\n"s, "before\n"); }

TEST_F(ShellProcessSending, WordsThatOnlyLookLikeCommandsAreMessages) {
  ExpectSent("closed door\n", "closed door\n");
  ExpectSent("exiting now\n", "exiting now\n");
  ExpectSent("connection refused\n", "connection refused\n");
  ExpectSent("-c\n", "-c\n");
}

TEST_F(ShellProcessSending, LongLinesGoOutWhole) {
  for (std::size_t size :
       {std::size_t{1023}, std::size_t{1024}, std::size_t{5000}, std::size_t{100000}}) {
    std::string line;
    for (std::size_t i = 0; i < size; ++i) {
      line += static_cast<char>('A' + (i * 7) % 26);
    }
    ExpectSent(line + "\n", line + "\n");
  }
}

} // namespace
