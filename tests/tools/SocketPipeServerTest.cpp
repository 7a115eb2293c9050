#include "SocketPeer.h"
#include "TestPrograms.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
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

// Long enough for the server to take back a freed instance; only a guard.
const ChildProcess::Duration kFreeing{10000};

void ExpectEcho(SocketPeer &client, const std::string &text) {
  ASSERT_TRUE(client.Send(text));
  std::string echo;
  EXPECT_EQ(client.Receive(echo), Result::Message);
  EXPECT_EQ(echo, text);
}

// A fresh client's message comes back.
void ExpectEcho(const std::string &path, const std::string &text) {
  SocketPeer client;
  ASSERT_EQ(client.Connect(path), 0);
  ExpectEcho(client, text);
}

TEST(SocketPipeServerSocketFile, NameMapsToCoreFxPipeSocketAndAbsolutePathToItself) {
  TestServer named;
  EXPECT_EQ(named.SocketPath(), TestServer::SocketPrefix() + named.Name());
  EXPECT_TRUE(IsSocket(named.SocketPath()));
  ExpectEcho(named.SocketPath(), "via name");

  TestServer absolute({}, TestServer::UniquePath());
  EXPECT_EQ(absolute.SocketPath(), absolute.Name());
  EXPECT_TRUE(IsSocket(absolute.Name()));
  ExpectEcho(absolute.Name(), "via path");
}

TEST(SocketPipeServerSocketFile, ReplacesStaleSocketButNotALiveOne) {
  const std::string path = TestServer::UniquePath();
  ASSERT_EQ(SocketPeer::LeaveStale(path), 0);
  ASSERT_TRUE(IsSocket(path));
  TestServer server({}, path);
  ExpectEcho(path, "after stale");

  ChildProcess rival(testprograms::Server({path}));
  EXPECT_EQ(rival.WaitForExit(), 1);
  EXPECT_NE(rival.ErrorOutput(), "");
  EXPECT_EQ(rival.Output().find("listening"), std::string::npos);
  // The first server still owns the socket.
  ExpectEcho(path, "still served");
}

TEST(SocketPipeServerSocketFile, RemovedOnSigtermAndSigint) {
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

TEST(SocketPipeServerSocketFile, ExitsAfterMaxConnectionsHaveEnded) {
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

TEST(SocketPipeServerRobustness, SurvivesClientsThatVanish) {
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

TEST(SocketPipeServerRobustness, ServesManyClientsAtOnce) {
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

TEST(SocketPipeServerInstances, PipeIsBusyWhileAllInstancesAreTaken) {
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({"--instances", "2"}, byteType));
    SocketPeer first;
    SocketPeer second;
    SocketPeer third;
    ASSERT_EQ(first.Connect(server.SocketPath(), byteType), 0);
    ASSERT_TRUE(server.WaitForLog("connect 1"));
    ASSERT_EQ(second.Connect(server.SocketPath(), byteType), 0);
    ASSERT_TRUE(server.WaitForLog("connect 2"));
    // Stays busy, however often it is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
      EXPECT_EQ(third.Connect(server.SocketPath(), byteType), EAGAIN);
    }
    ExpectEcho(first, "first served");
    ExpectEcho(second, "second served");

    second.Close();
    ASSERT_TRUE(server.WaitForLog("close 2"));
    ASSERT_EQ(third.Connect(server.SocketPath(), byteType, kFreeing), 0);
    ASSERT_TRUE(server.WaitForLog("connect 3"));
    ExpectEcho(third, "third served");
    SocketPeer fourth;
    EXPECT_EQ(fourth.Connect(server.SocketPath(), byteType), EAGAIN);
    // The server's own placeholder connection never shows as a client.
    EXPECT_EQ(server.CountLog("connect "), 3u);
  }
}

TEST(SocketPipeServerInstances, OneInstanceServesClientsInTurn) {
  TestServer server({"--instances", "1"});
  for (int id = 1; id <= 5; ++id) {
    SCOPED_TRACE(id);
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), false, kFreeing), 0);
    ASSERT_TRUE(server.WaitForLog("connect " + std::to_string(id)));
    SocketPeer other;
    EXPECT_EQ(other.Connect(server.SocketPath()), EAGAIN);
    ExpectEcho(client, "turn " + std::to_string(id));
  }
}

TEST(SocketPipeServerInstances, UnlimitedByDefault) {
  TestServer server;
  std::vector<std::unique_ptr<SocketPeer>> clients;
  for (int i = 0; i < 50; ++i) {
    clients.push_back(std::make_unique<SocketPeer>());
    ASSERT_EQ(clients.back()->Connect(server.SocketPath()), 0) << "client " << i;
  }
  ASSERT_TRUE(server.WaitForLog("connect 50"));
  ExpectEcho(*clients.back(), "fiftieth");
}

} // namespace
