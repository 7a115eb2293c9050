// The mapping of pipe names to socket paths, under each form of TMPDIR.
#include "linux/PipeName.h"
#include "EnvironmentSetting.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <sys/un.h>

namespace {

const std::size_t kLongestPath = sizeof(sockaddr_un::sun_path) - 1;

std::string SocketOf(const std::string &name) {
  PipeName pipe(("\\\\.\\pipe\\" + name).c_str());
  EXPECT_EQ(pipe.GetError(), static_cast<DWORD>(ERROR_SUCCESS)) << name;
  return pipe.GetSocketPath();
}

TEST(PipeNameTest, DirectoryFollowsTmpdirAsDotNetDoes) {
  struct Case {
    std::optional<std::string> tmpdir;
    std::string directory;
  };
  const Case cases[] = {
      {std::nullopt, "/tmp/"},
      {"", "/tmp/"},
      {"/var/run/pipes", "/var/run/pipes/"},
      {"/var/run/pipes/", "/var/run/pipes/"},
      // Only a missing slash is added: others are kept as they are.
      {"/var/run/pipes//", "/var/run/pipes//"},
      {"/", "/"},
      {"relative", "relative/"},
      {" ", " /"},
  };
  for (const Case &test : cases) {
    SCOPED_TRACE(test.tmpdir ? "TMPDIR=\"" + *test.tmpdir + "\"" : "TMPDIR unset");
    EnvironmentSetting setting("TMPDIR", test.tmpdir);
    EXPECT_EQ(PipeName::Directory(), test.directory);
    EXPECT_EQ(SocketOf("demo"), test.directory + "CoreFxPipe_demo");
  }
}

TEST(PipeNameTest, AnAbsoluteNameIgnoresTmpdir) {
  EnvironmentSetting setting("TMPDIR", std::string("/var/run/pipes"));
  EXPECT_EQ(SocketOf("/run/user/sock"), "/run/user/sock");
}

TEST(PipeNameTest, TmpdirCountsTowardsTheLengthLimit) {
  const std::string name = "n";
  const std::string fixed = "/CoreFxPipe_" + name;
  // A directory that leaves the path exactly at the limit, then one byte
  // longer, given without the slash that is added.
  const std::string fits = "/" + std::string(kLongestPath - fixed.size() - 1, 'd');
  {
    EnvironmentSetting setting("TMPDIR", fits);
    PipeName pipe(("\\\\.\\pipe\\" + name).c_str());
    EXPECT_EQ(pipe.GetError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(pipe.GetSocketPath().size(), kLongestPath);
    EXPECT_EQ(std::string(pipe.GetAddress().sun_path), fits + fixed);
  }
  {
    EnvironmentSetting setting("TMPDIR", fits + "d");
    PipeName pipe(("\\\\.\\pipe\\" + name).c_str());
    EXPECT_EQ(pipe.GetError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  }
  {
    // The slash that is added is what makes it too long.
    EnvironmentSetting setting("TMPDIR", fits + "d/");
    PipeName pipe(("\\\\.\\pipe\\" + name).c_str());
    EXPECT_EQ(pipe.GetError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  }
}

TEST(PipeNameTest, PrefixIsCaselessAndANameIsNeeded) {
  EnvironmentSetting setting("TMPDIR", std::nullopt);
  EXPECT_EQ(PipeName("\\\\.\\PIPE\\x").GetSocketPath(), "/tmp/CoreFxPipe_x");
  EXPECT_EQ(PipeName("\\\\.\\pipe\\").GetError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(PipeName("//./pipe/x").GetError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(PipeName(nullptr).GetError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

} // namespace
