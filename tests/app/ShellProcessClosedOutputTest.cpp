#include "ChildProcess.h"
#include "ClientText.h"
#include "TestPrograms.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>

namespace {

using namespace clienttext;
using Sigpipe = ChildProcess::Sigpipe;

const ChildProcess::Duration kTimeout{10000};
// How long one step of feeding waits for the client to take a line or end.
const ChildProcess::Duration kFeedStep{20};

// A client whose output the test can take away.
class Client : public ChildProcess {
public:
  explicit Client(Sigpipe sigpipe, Stdout output = Stdout::Piped)
      : ChildProcess(testprograms::Client(), sigpipe, output) {}

  // Sends line after line until the client exits, and returns its exit
  // status, or nothing on time-out. Once the client stops reading, the
  // sends fail and only its exit is waited for.
  std::optional<int> FeedUntilExit(const std::string &line) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::optional<int> status = WaitForExit(kFeedStep)) {
        return status;
      }
      Send(line, kFeedStep);
    }
    return std::nullopt;
  }
};

// With nobody left to read its output, the client ends without a word: by
// SIGPIPE where that has its default action, as a pipeline's programs do,
// and with status 1 where it is ignored and the write fails instead.
int QuietEnd(Sigpipe sigpipe) { return sigpipe == Sigpipe::Default ? 128 + SIGPIPE : 1; }

const char *Describe(Sigpipe sigpipe) {
  return sigpipe == Sigpipe::Default ? "SIGPIPE at its default" : "SIGPIPE ignored";
}

TEST(ShellProcessClosedOutput, ClientEndsQuietlyWhenNobodyReadsFromTheStart) {
  for (Sigpipe sigpipe : {Sigpipe::Default, Sigpipe::Ignored}) {
    SCOPED_TRACE(Describe(sigpipe));
    Client client(sigpipe);
    client.CloseOutput();
    // The input stays open: the client must not wait for its end.
    EXPECT_EQ(client.FeedUntilExit("close\n"), QuietEnd(sigpipe));
    EXPECT_EQ(client.ErrorOutput(), "");
  }
}

TEST(ShellProcessClosedOutput, ClientWithoutAnyOutputEndsBeforeItConnects) {
  // Nothing the client did could be seen: it acts on no line at all.
  TestServer server;
  Client client(Sigpipe::Default, ChildProcess::Stdout::Closed);
  EXPECT_EQ(client.FeedUntilExit("connect " + server.Name() + "\nhello\n"), 1);
  EXPECT_EQ(client.ErrorOutput(), "");
  EXPECT_EQ(server.CountLog("connect "), 0u);
}

TEST(ShellProcessClosedOutput, ClientEndsQuietlyWhenTheReaderGoesWhileMessagesArrive) {
  for (Sigpipe sigpipe : {Sigpipe::Default, Sigpipe::Ignored}) {
    SCOPED_TRACE(Describe(sigpipe));
    // Messages stream in all the time, and the receiver prints them.
    TestServer server(Messages(2000, 4096));
    Client client(sigpipe);
    ASSERT_TRUE(client.Send("connect " + server.Name() + "\n", kTimeout));
    ASSERT_TRUE(client.WaitForOutput(kConnected, kTimeout));
    client.CloseOutput();
    EXPECT_EQ(client.FeedUntilExit("still typing\n"), QuietEnd(sigpipe));
    EXPECT_EQ(client.ErrorOutput(), "");
    // The connection does not outlive the client.
    EXPECT_TRUE(server.WaitForLog("close 1"));
  }
}

TEST(ShellProcessClosedOutput, ClientEndsQuietlyWhenTheReaderGoesWhileIdle) {
  for (Sigpipe sigpipe : {Sigpipe::Default, Sigpipe::Ignored}) {
    SCOPED_TRACE(Describe(sigpipe));
    TestServer server({"--no-echo"});
    Client client(sigpipe);
    ASSERT_TRUE(client.Send("connect " + server.Name() + "\n", kTimeout));
    // The client waits for its next line.
    ASSERT_TRUE(client.WaitForOutput(kConnected + "\r$ ", kTimeout));
    client.CloseOutput();
    // The line it reads still goes out; the prompt after it finds no reader.
    EXPECT_EQ(client.FeedUntilExit("typed into the void\n"), QuietEnd(sigpipe));
    EXPECT_EQ(client.ErrorOutput(), "");
    EXPECT_TRUE(server.WaitForLog("close 1"));
    EXPECT_GE(server.CountLog("recv 1 "), 1u);
  }
}

} // namespace
