#include "SocketPeer.h"
#include "TestPrograms.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

namespace {

using Result = SocketPeer::Result;

bool IsSocket(const std::string &path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

bool Exists(const std::string &path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Leaves a socket file behind that nobody listens on, as a killed server does.
void MakeStaleSocket(const std::string &path) {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
  close(fd);
  ASSERT_TRUE(IsSocket(path));
}

void ExpectEcho(const std::string &path, const std::string &text) {
  SocketPeer client;
  ASSERT_EQ(client.Connect(path), 0);
  ASSERT_TRUE(client.Send(text));
  std::string echo;
  EXPECT_EQ(client.Receive(echo), Result::Message);
  EXPECT_EQ(echo, text);
}

TEST(ServerSocketFile, NameMapsToCoreFxPipeSocketAndAbsolutePathToItself) {
  TestServer named;
  EXPECT_EQ(named.SocketPath(), TestServer::SocketPrefix() + named.Name());
  EXPECT_TRUE(IsSocket(named.SocketPath()));
  ExpectEcho(named.SocketPath(), "via name");

  TestServer absolute({}, TestServer::UniquePath());
  EXPECT_EQ(absolute.SocketPath(), absolute.Name());
  EXPECT_TRUE(IsSocket(absolute.Name()));
  ExpectEcho(absolute.Name(), "via path");
}

TEST(ServerSocketFile, ReplacesStaleSocketButNotALiveOne) {
  const std::string path = TestServer::UniquePath();
  MakeStaleSocket(path);
  TestServer server({}, path);
  ExpectEcho(path, "after stale");

  ChildProcess rival(testprograms::Server({path}));
  EXPECT_EQ(rival.WaitForExit(), 1);
  EXPECT_NE(rival.ErrorOutput(), "");
  EXPECT_EQ(rival.Output().find("listening"), std::string::npos);
  // The first server still owns the socket.
  ExpectEcho(path, "still served");
}

TEST(ServerSocketFile, RemovedOnSigtermAndSigint) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE("signal " + std::to_string(signal));
    TestServer server;
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath()), 0);
    ASSERT_TRUE(server.WaitForLog("connect 1"));
    server.Process().Signal(signal);
    EXPECT_EQ(server.Process().WaitForExit(), 0);
    EXPECT_FALSE(Exists(server.SocketPath()));
    // Open connections are ended too.
    EXPECT_NE(server.Process().Output().find("\nclose 1\n"), std::string::npos);
    std::string message;
    EXPECT_EQ(client.Receive(message), Result::Closed);
  }
}

TEST(ServerSocketFile, ExitsAfterMaxConnectionsHaveEnded) {
  TestServer server({"--max-connections", "2"});
  for (int id = 1; id <= 2; ++id) {
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath()), 0);
    ASSERT_TRUE(server.WaitForLog("connect " + std::to_string(id)));
  }
  EXPECT_EQ(server.Process().WaitForExit(), 0);
  EXPECT_FALSE(Exists(server.SocketPath()));
  EXPECT_EQ(server.CountLog("close "), 2u);
}

TEST(ServerRobustness, SurvivesClientsThatVanish) {
  TestServer server;
  {
    // Goes away without reading the echo of a big message.
    SocketPeer rude;
    ASSERT_EQ(rude.Connect(server.SocketPath()), 0);
    ASSERT_TRUE(rude.Send(std::string(1024 * 1024, 'r')));
    ASSERT_TRUE(server.WaitForLog("recv 1 1048576"));
  }
  {
    // Goes away while its messages wait unread.
    SocketPeer hasty;
    ASSERT_EQ(hasty.Connect(server.SocketPath()), 0);
    for (int i = 0; i < 50; ++i) {
      ASSERT_TRUE(hasty.Send("message " + std::to_string(i)));
    }
  }
  ASSERT_TRUE(server.WaitForLog("close 1"));
  ASSERT_TRUE(server.WaitForLog("close 2"));
  EXPECT_TRUE(server.Process().Running());
  ExpectEcho(server.SocketPath(), "still alive");
}

TEST(ServerRobustness, ServesManyClientsAtOnce) {
  TestServer server;
  std::vector<std::unique_ptr<SocketPeer>> clients;
  for (int i = 0; i < 20; ++i) {
    clients.push_back(std::make_unique<SocketPeer>());
    ASSERT_EQ(clients.back()->Connect(server.SocketPath()), 0) << "client " << i;
  }
  for (std::size_t i = 0; i < clients.size(); ++i) {
    ASSERT_TRUE(clients[i]->Send("from client " + std::to_string(i)));
  }
  // Answered in the reverse order: no client waits for another.
  for (std::size_t i = clients.size(); i-- > 0;) {
    std::string echo;
    EXPECT_EQ(clients[i]->Receive(echo), Result::Message);
    EXPECT_EQ(echo, "from client " + std::to_string(i));
  }
  EXPECT_TRUE(server.WaitForLog("connect " + std::to_string(clients.size())));
  EXPECT_EQ(server.CountLog("connect "), clients.size());
}

} // namespace
