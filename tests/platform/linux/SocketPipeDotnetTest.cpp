// The real skellan against a real .NET NamedPipeServerStream (byte
// transmission mode) run by Mono.
#include "ClientSession.h"
#include "ClientText.h"
#include "EnvironmentSetting.h"
#include "TempDirectory.h"
#include "TestServer.h"
#include "Transcript.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace clienttext;

// PipePeer.exe, run by Mono, which takes far longer to start than a native
// server.
const std::vector<std::string> kPeer = {SKELLAN_MONO_PATH, SKELLAN_DOTNET_PEER_PATH};
const ChildProcess::Duration kPeerStart{60000};

bool IsSocket(const std::string &path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// A byte stream comes in reads of any size: waits until the pieces the
// client showed since `from` join to `expected`.
testing::AssertionResult ShowsStream(ClientSession &client, std::size_t from,
                                     const std::string &expected) {
  const auto deadline = std::chrono::steady_clock::now() + ChildProcess::kDefaultTimeout;
  std::string joined;
  for (;;) {
    client.Process().Collect();
    joined = Transcript(client.Process().Output().substr(from)).Joined();
    if (joined == expected) {
      return testing::AssertionSuccess();
    }
    if (joined.size() >= expected.size() || expected.compare(0, joined.size(), joined) != 0 ||
        std::chrono::steady_clock::now() >= deadline) {
      break;
    }
    client.Process().WaitForOutputSize(client.Process().Output().size() + 1,
                                       ChildProcess::Duration(100));
  }
  return testing::AssertionFailure()
         << "shown \"" << VisibleText(joined) << "\", not \"" << VisibleText(expected) << "\"";
}

// Types a line and returns where the output stood before it.
std::size_t TypeAt(ClientSession &client, const std::string &line) {
  client.Process().Collect();
  const std::size_t from = client.Process().Output().size();
  EXPECT_TRUE(client.Type(line)) << line;
  return from;
}

// Ends the input and checks everything the client printed since `from`:
// these replies, and the pieces joined to `stream`.
void ExpectTranscript(ClientSession &client, std::size_t from,
                      const std::vector<std::string> &replies, const std::string &stream) {
  EXPECT_EQ(client.EndInput(), 0);
  const Transcript shown(client.Process().Output().substr(from));
  EXPECT_TRUE(shown.Complete()) << VisibleText(shown.Rest());
  EXPECT_EQ(shown.Replies(), replies);
  EXPECT_EQ(shown.Joined(), stream);
}

TEST(SocketPipeDotnet, SocketIsWhereSkellanLooksAndLinesComeBack) {
  TestServer peer({}, TestServer::UniqueName(), kPeer, kPeerStart);
  // .NET's own placement, under whatever TMPDIR this run has.
  EXPECT_EQ(peer.SocketPath(), TestServer::SocketPrefix() + peer.Name());
  ASSERT_TRUE(IsSocket(peer.SocketPath()));

  ClientSession client;
  const std::size_t from = TypeAt(client, "connect " + peer.Name());
  ASSERT_TRUE(client.Process().WaitForOutput(kConnected, ChildProcess::kDefaultTimeout, from));
  ASSERT_TRUE(peer.WaitForLog("connect 1"));
  client.Type("hello from skellan");
  client.Type("  leading blanks\tand a tab");
  const std::string echoes = "hello from skellan\n  leading blanks\tand a tab\n";
  EXPECT_TRUE(ShowsStream(client, from, echoes));
  client.Type("close");
  EXPECT_TRUE(peer.WaitForLog("close 1"));
  ExpectTranscript(client, from, {kConnected, kClosed}, echoes);
}

TEST(SocketPipeDotnet, GreetingFollowsTheReplyToConnect) {
  const std::string greeting = "hello from .NET\n";
  TestServer peer({"--send", greeting}, TestServer::UniqueName(), kPeer, kPeerStart);
  ClientSession client;
  const std::size_t from = TypeAt(client, "connect -c " + peer.Name());
  EXPECT_TRUE(ShowsStream(client, from, greeting));
  EXPECT_EQ(client.Process().Output().compare(from, kConnected.size(), kConnected), 0)
      << VisibleText(client.Process().Output().substr(from));
  client.Type("echoed after the greeting");
  EXPECT_TRUE(ShowsStream(client, from, greeting + "echoed after the greeting\n"));
  ExpectTranscript(client, from, {kConnected}, greeting + "echoed after the greeting\n");
}

TEST(SocketPipeDotnet, HundredKilobyteReplyIsShownWholeInReadsOfAtMost1024Bytes) {
  const std::size_t size = 100 * 1024;
  TestServer peer({"--send-size", std::to_string(size)}, TestServer::UniqueName(), kPeer,
                  kPeerStart);
  ClientSession client;
  const std::size_t from = TypeAt(client, "connect " + peer.Name());
  EXPECT_TRUE(ShowsStream(client, from, Pattern(size)));
  client.Type("close");
  ExpectTranscript(client, from, {kConnected, kClosed}, Pattern(size));
  const Transcript shown(client.Process().Output().substr(from));
  EXPECT_GE(shown.Pieces().size(), size / 1024);
  for (const std::string &piece : shown.Pieces()) {
    EXPECT_LE(piece.size(), 1024u);
  }
}

TEST(SocketPipeDotnet, ServerClosingLeavesTheConnectionToClose) {
  TestServer peer({"--send", "bye\n", "--close"}, TestServer::UniqueName(), kPeer, kPeerStart);
  ClientSession client;
  const std::size_t from = TypeAt(client, "connect " + peer.Name());
  EXPECT_TRUE(ShowsStream(client, from, "bye\n"));
  ASSERT_TRUE(peer.WaitForLog("close 1"));
  // The server is gone, but the connection counts as open until closed.
  client.Type("anyone there?");
  client.Type("close");
  client.Type("close");
  // The pipe is still served: the next connection is greeted as well.
  client.Type("connect " + peer.Name());
  EXPECT_TRUE(ShowsStream(client, from, "bye\nbye\n"));
  EXPECT_TRUE(peer.WaitForLog("close 2"));
  ExpectTranscript(client, from, {kConnected, kCannotWrite, kClosed, kNotConnected, kConnected},
                   "bye\nbye\n");
}

TEST(SocketPipeDotnet, UnderATmpdirBothSidesMeetThere) {
  for (const std::string slash : {"", "/"}) {
    TempDirectory tmpdir;
    EnvironmentSetting setting("TMPDIR", tmpdir.Path() + slash);
    SCOPED_TRACE("TMPDIR=" + tmpdir.Path() + slash);
    TestServer peer({"--send", "in the temporary directory\n"}, TestServer::UniqueName(), kPeer,
                    kPeerStart);
    EXPECT_EQ(peer.SocketPath(), tmpdir.Path() + "/CoreFxPipe_" + peer.Name());
    ASSERT_TRUE(IsSocket(peer.SocketPath()));

    ClientSession client;
    const std::size_t from = TypeAt(client, "connect " + peer.Name());
    client.Type("echo me");
    const std::string stream = "in the temporary directory\necho me\n";
    EXPECT_TRUE(ShowsStream(client, from, stream));
    client.Type("close");
    ExpectTranscript(client, from, {kConnected, kClosed}, stream);

    // A client with another TMPDIR looks elsewhere.
    TempDirectory other;
    EnvironmentSetting otherSetting("TMPDIR", other.Path());
    ClientSession stranger;
    EXPECT_TRUE(stranger.Command("connect " + peer.Name(), CannotConnect(peer.Name())));
  }
}

} // namespace
