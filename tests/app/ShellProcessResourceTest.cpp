#include "ClientSession.h"
#include "ClientText.h"
#include "ProcessCensus.h"
#include "SocketPeer.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace clienttext;

// A busy pipe is given up only after some seconds of tries; this only
// guards against a hang.
const ChildProcess::Duration kBusyConnect{30000};

TEST(ShellProcessResources, DescriptorsAndThreadsStayFlatOverAThousandConnects) {
  TestServer server({"--no-echo"});
  TestServer closing({"--close"});
  TestServer busy({"--instances", "1"});
  SocketPeer holder;
  ASSERT_EQ(holder.Connect(busy.SocketPath()), 0);
  ASSERT_TRUE(busy.WaitForLog("connect 1"));
  const std::string missing = TestServer::UniqueName();

  ClientSession client;
  const pid_t pid = client.Process().Pid();
  // Measured while connected, as it is after the last connect below.
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
  const std::size_t descriptors = ProcessCensus::Descriptors(pid);
  const std::size_t threads = ProcessCensus::Threads(pid);
  ASSERT_GT(descriptors, 3u);
  ASSERT_EQ(ProcessCensus::Receivers(pid), 1u) << "a receiver runs beside the shell";

  // Every way a connection ends, or fails to begin: 1003 connects.
  for (int round = 0; round < 250; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(client.Command("connect -c " + server.Name(), kConnected));
    ASSERT_TRUE(client.Command("close", kClosed));
    ASSERT_TRUE(client.Command("connect " + missing, CannotConnect(missing)));
    ASSERT_TRUE(client.Command("connect " + closing.Name(), kConnected));
    ASSERT_TRUE(client.Command("close", kClosed));
  }
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(client.Command("connect " + busy.Name(), CannotConnect(busy.Name()), kBusyConnect));
  }
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));

  EXPECT_EQ(ProcessCensus::Descriptors(pid), descriptors);
  EXPECT_EQ(ProcessCensus::Threads(pid), threads);
  EXPECT_EQ(ProcessCensus::Receivers(pid), 1u);
  EXPECT_EQ(client.EndInput(), 0);
  EXPECT_TRUE(server.WaitForLog("close 502"));
  EXPECT_TRUE(closing.WaitForLog("close 250"));
}

} // namespace
