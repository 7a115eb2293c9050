#include "ClientSession.h"
#include "ClientText.h"
#include "TempDirectory.h"
#include "TestPrograms.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/un.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

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

TEST(ClientConnection, UnderATmpdirClientAndServerMeetThere) {
  for (bool trailingSlash : {false, true}) {
    TempDirectory tmpdir(trailingSlash);
    SCOPED_TRACE("TMPDIR=" + tmpdir.Value());
    TestServer server;
    EXPECT_EQ(server.SocketPath(), tmpdir.Path() + "/CoreFxPipe_" + server.Name());
    ClientSession client;
    EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(client.Type("in the temporary directory"));
    EXPECT_TRUE(client.Received({"in the temporary directory\n"}));
    EXPECT_TRUE(client.Command("close", kClosed));

    // A client under another TMPDIR, or none, looks elsewhere.
    TempDirectory other;
    ClientSession stranger;
    EXPECT_TRUE(stranger.Command("connect " + server.Name(), CannotConnect(server.Name())));
  }
}

TEST(ClientConnection, EmptyTmpdirMeansTmp) {
  std::optional<std::string> saved;
  if (const char *old = std::getenv("TMPDIR")) {
    saved = old;
  }
  setenv("TMPDIR", "", 1);
  {
    TestServer server;
    EXPECT_EQ(server.SocketPath(), "/tmp/CoreFxPipe_" + server.Name());
    ClientSession client;
    EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
    EXPECT_EQ(client.EndInput(), 0);
  }
  if (saved) {
    setenv("TMPDIR", saved->c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST(ClientConnection, TmpdirThatMakesTheSocketPathTooLongIsRefused) {
  // The directory exists; only the length of the whole path is at fault.
  TempDirectory tmpdir(false, "skellan-tmpdir-" + std::string(80, 'd'));
  const std::string name = TestServer::UniqueName();
  ASSERT_GT(tmpdir.Path().size() + std::string("/CoreFxPipe_").size() + name.size(),
            sizeof(sockaddr_un::sun_path) - 1);
  ChildProcess server(testprograms::Server({name}));
  EXPECT_EQ(server.WaitForExit(), 2);
  EXPECT_NE(server.ErrorOutput(), "");
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + name, CannotConnect(name)));
  EXPECT_TRUE(std::filesystem::is_empty(tmpdir.Path()));
}

} // namespace
