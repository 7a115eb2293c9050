#include "ClientText.h"
#include "ClosableOutputClient.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

using namespace clienttext;
using Sigpipe = ClosableOutputClient::Sigpipe;

const ClosableOutputClient::Duration kTimeout{10000};

// With nobody left to read its output, the client ends without a word: by
// SIGPIPE where that has its default action, as a pipeline's programs do,
// and with status 1 where it is ignored and the write fails instead.
int QuietEnd(Sigpipe sigpipe) { return sigpipe == Sigpipe::Default ? 128 + SIGPIPE : 1; }

const char *Describe(Sigpipe sigpipe) {
  return sigpipe == Sigpipe::Default ? "SIGPIPE at its default" : "SIGPIPE ignored";
}

TEST(ClosedOutput, ClientEndsQuietlyWhenNobodyReadsFromTheStart) {
  for (Sigpipe sigpipe : {Sigpipe::Default, Sigpipe::Ignored}) {
    SCOPED_TRACE(Describe(sigpipe));
    ClosableOutputClient client(sigpipe);
    client.CloseOutput();
    // The input stays open: the client must not wait for its end.
    EXPECT_EQ(client.FeedUntilExit("close\n", kTimeout), QuietEnd(sigpipe));
    EXPECT_EQ(client.ErrorOutput(), "");
  }
}

TEST(ClosedOutput, ClientWithoutAnyOutputEndsBeforeItConnects) {
  // Nothing the client did could be seen: it acts on no line at all.
  TestServer server;
  ClosableOutputClient client(Sigpipe::Default, ClosableOutputClient::Start::WithoutOutput);
  EXPECT_EQ(client.FeedUntilExit("connect " + server.Name() + "\nhello\n", kTimeout), 1);
  EXPECT_EQ(client.ErrorOutput(), "");
  EXPECT_EQ(server.CountLog("connect "), 0u);
}

TEST(ClosedOutput, ClientEndsQuietlyWhenTheReaderGoesWhileMessagesArrive) {
  for (Sigpipe sigpipe : {Sigpipe::Default, Sigpipe::Ignored}) {
    SCOPED_TRACE(Describe(sigpipe));
    // Messages stream in all the time, and the receiver prints them.
    TestServer server(Messages(2000, 4096));
    ClosableOutputClient client(sigpipe);
    ASSERT_TRUE(client.Send("connect " + server.Name() + "\n", kTimeout));
    ASSERT_TRUE(client.WaitForOutput(kConnected, kTimeout));
    client.CloseOutput();
    EXPECT_EQ(client.FeedUntilExit("still typing\n", kTimeout), QuietEnd(sigpipe));
    EXPECT_EQ(client.ErrorOutput(), "");
    // The connection does not outlive the client.
    EXPECT_TRUE(server.WaitForLog("close 1"));
  }
}

TEST(ClosedOutput, ClientEndsQuietlyWhenTheReaderGoesWhileIdle) {
  for (Sigpipe sigpipe : {Sigpipe::Default, Sigpipe::Ignored}) {
    SCOPED_TRACE(Describe(sigpipe));
    TestServer server({"--no-echo"});
    ClosableOutputClient client(sigpipe);
    ASSERT_TRUE(client.Send("connect " + server.Name() + "\n", kTimeout));
    // The client waits for its next line.
    ASSERT_TRUE(client.WaitForOutput(kConnected + "\r$ ", kTimeout));
    client.CloseOutput();
    // The line it reads still goes out; the prompt after it finds no reader.
    EXPECT_EQ(client.FeedUntilExit("typed into the void\n", kTimeout), QuietEnd(sigpipe));
    EXPECT_EQ(client.ErrorOutput(), "");
    EXPECT_TRUE(server.WaitForLog("close 1"));
    EXPECT_GE(server.CountLog("recv 1 "), 1u);
  }
}

} // namespace
