#include "ClientSession.h"
#include "ClientText.h"
#include "EnvironmentSetting.h"
#include "TempDirectory.h"
#include "TestPrograms.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/un.h>

#include <filesystem>
#include <string>

namespace {

using namespace clienttext;

TEST(PipeNameMapping, AbsolutePathNamesTheSocketItself) {
  TestServer server({}, TestServer::UniquePath());
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("by path"));
  EXPECT_TRUE(client.Received({"by path\n"}));
  EXPECT_TRUE(server.WaitForLog("recv 1 8"));
}

TEST(PipeNameMapping, UnderATmpdirClientAndServerMeetThere) {
  for (const std::string slash : {"", "/"}) {
    TempDirectory tmpdir;
    EnvironmentSetting setting("TMPDIR", tmpdir.Path() + slash);
    SCOPED_TRACE("TMPDIR=" + tmpdir.Path() + slash);
    TestServer server;
    EXPECT_EQ(server.SocketPath(), tmpdir.Path() + "/CoreFxPipe_" + server.Name());
    ClientSession client;
    EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(client.Type("in the temporary directory"));
    EXPECT_TRUE(client.Received({"in the temporary directory\n"}));
    EXPECT_TRUE(client.Command("close", kClosed));

    // A client under another TMPDIR looks elsewhere.
    TempDirectory other;
    EnvironmentSetting otherSetting("TMPDIR", other.Path());
    ClientSession stranger;
    EXPECT_TRUE(stranger.Command("connect " + server.Name(), CannotConnect(server.Name())));
  }
}

TEST(PipeNameMapping, EmptyTmpdirMeansTmp) {
  EnvironmentSetting setting("TMPDIR", "");
  TestServer server;
  EXPECT_EQ(server.SocketPath(), "/tmp/CoreFxPipe_" + server.Name());
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + server.Name(), kConnected));
  EXPECT_EQ(client.EndInput(), 0);
}

TEST(PipeNameMapping, TmpdirThatMakesTheSocketPathTooLongIsRefused) {
  // The directory exists; only the length of the whole path is at fault.
  TempDirectory tmpdir("skellan-tmpdir-" + std::string(80, 'd'));
  EnvironmentSetting setting("TMPDIR", tmpdir.Path());
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
