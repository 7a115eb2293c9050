#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"

#include <gtest/gtest.h>

namespace {

using namespace clienttext;

TEST(ClientConnection, AbsolutePathNamesTheSocketItself) {
  TestServer server({}, TestServer::UniquePath());
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("by path"));
  EXPECT_TRUE(client.Received({"by path\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 1 8"));
}

} // namespace
