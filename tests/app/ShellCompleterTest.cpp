#include "ShellCompleter.h"
#include "PipeNames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {
using Words = std::vector<std::string>;

// A socket directory of the test's own, through TMPDIR as the name mapping
// reads it, with live and dead pipes in it.
class ShellCompleterTest : public testing::Test {
protected:
  void SetUp() override {
    const char *old = std::getenv("TMPDIR");
    hadTmpdir = old != nullptr;
    if (hadTmpdir)
      oldTmpdir = old;
    char pattern[] = "/tmp/skellan-names-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
    setenv("TMPDIR", directory.c_str(), 1);
  }
  void TearDown() override {
    for (int fd : sockets)
      close(fd);
    for (const std::string &file : files)
      unlink(file.c_str());
    rmdir(directory.c_str());
    if (hadTmpdir)
      setenv("TMPDIR", oldTmpdir.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }

  // A socket file at the name; listening on it when `live`.
  void Socket(const std::string &file, bool live) {
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = directory + "/" + file;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    files.push_back(path);
    if (live) {
      ASSERT_EQ(listen(fd, 4), 0);
      sockets.push_back(fd);
    } else {
      close(fd);
    }
  }

  std::string directory;
  std::vector<int> sockets;
  std::vector<std::string> files;
  bool hadTmpdir = false;
  std::string oldTmpdir;
  ShellCompleter completer;
};

TEST_F(ShellCompleterTest, PipeNamesAreTheLiveSocketsOfTheMapping) {
  EXPECT_EQ(PipeNames::List(), Words{});
  Socket("CoreFxPipe_beta", true);
  Socket("CoreFxPipe_alpha", true);
  Socket("CoreFxPipe_stale", false);
  Socket("CoreFxPipe_", true);
  Socket("other", true);
  const std::string plain = directory + "/CoreFxPipe_file";
  const int fd = open(plain.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  files.push_back(plain);
  EXPECT_EQ(PipeNames::List(), (Words{"alpha", "beta"}));
}

TEST_F(ShellCompleterTest, TheFirstWordIsACommand) {
  EXPECT_EQ(completer.Candidates("", "c"), (Words{"connect", "close"}));
  EXPECT_EQ(completer.Candidates("", "EX"), Words{"exit"});
  EXPECT_EQ(completer.Candidates("  ", "clo"), Words{"close"});
  EXPECT_EQ(completer.Candidates("", "x"), Words{});
}

TEST_F(ShellCompleterTest, PipeNamesComeAfterConnectAndItsFlag) {
  Socket("CoreFxPipe_alpha", true);
  Socket("CoreFxPipe_alpine", true);
  Socket("CoreFxPipe_Beta", true);
  EXPECT_EQ(completer.Candidates("connect ", "al"), (Words{"alpha", "alpine"}));
  EXPECT_EQ(completer.Candidates("CONNECT  ", ""), (Words{"Beta", "alpha", "alpine"}));
  EXPECT_EQ(completer.Candidates("connect -c ", "alph"), Words{"alpha"});
  // Names are matched as they are spelt.
  EXPECT_EQ(completer.Candidates("connect ", "b"), Words{});
  // Nowhere else does a pipe name go.
  EXPECT_EQ(completer.Candidates("close ", ""), Words{});
  EXPECT_EQ(completer.Candidates("connect alpha ", ""), Words{});
  EXPECT_EQ(completer.Candidates("hello ", "al"), Words{});
}
} // namespace
