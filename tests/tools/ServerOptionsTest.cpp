#include "ChildProcess.h"
#include "TestPrograms.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/un.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testprograms::Server;

const std::string kPrefix = TestServer::SocketPrefix();

bool Exists(const std::string &path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

TEST(ServerOptions, HelpPrintsUsageOfEveryOption) {
  ChildProcess help(Server({"--help"}));
  EXPECT_EQ(help.WaitForExit(), 0);
  const std::string &usage = help.Output();
  EXPECT_EQ(usage.rfind("Usage: skellan-server", 0), 0u) << usage;
  for (const char *option : {"--byte", "--no-echo", "--no-read", "--instances N", "--send TEXT",
                             "--send-size N", "--on-message", "--close ", "--close-after N",
                             "--max-connections N", "--delay MS", "--tick MS", "--help"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

// The long options that lines matching `line` name, with the manual's
// escaped hyphens made plain.
std::set<std::string> LongOptions(std::istream &text, const std::regex &line) {
  const std::regex option("--[a-z][a-z-]*");
  std::set<std::string> options;
  for (std::string row; std::getline(text, row);) {
    row = std::regex_replace(row, std::regex(R"(\\-)"), "-");
    if (std::regex_search(row, line)) {
      for (std::sregex_iterator it(row.begin(), row.end(), option), end; it != end; ++it) {
        options.insert(it->str());
      }
    }
  }
  return options;
}

TEST(ServerOptions, HelpAndManualPageListTheSameOptions) {
  ChildProcess help(Server({"--help"}));
  ASSERT_EQ(help.WaitForExit(), 0);
  std::istringstream usage(help.Output());
  const std::set<std::string> helped = LongOptions(usage, std::regex("^  --"));

  std::ifstream page(SKELLAN_SERVER_MAN_PAGE);
  ASSERT_TRUE(page) << SKELLAN_SERVER_MAN_PAGE;
  // Each option is the tag of a .TP paragraph: the line after ".TP".
  std::ostringstream tags;
  bool tag = false;
  for (std::string row; std::getline(page, row);) {
    if (tag) {
      tags << row << "\n";
    }
    tag = row == ".TP";
  }
  std::istringstream tagLines(tags.str());
  const std::set<std::string> documented = LongOptions(tagLines, std::regex("^\\.B"));

  EXPECT_GE(helped.size(), 10u);
  EXPECT_EQ(helped, documented);
}

TEST(ServerOptions, BadUsageExitsWithStatusTwo) {
  const std::string name = TestServer::UniqueName();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--byte"},
      {"--bogus", name},
      {name, name + "-other"},
      {""},
      {name, "--instances"},
      {"--instances", "0", name},
      {"--instances", "two", name},
      {"--instances", "-1", name},
      {"--close-after", "", name},
      {"--max-connections", "1x", name},
      {"--send-size", "99999999999999999999", name},
      {"--send-size", "1073741825", name},
      {"--send", "a\\q", name},
      {"--send", "\\x4", name},
      {"--send", "\\xg0", name},
      {"--send", "ends\\", name},
      {"--delay", "soon", name},
      {"--delay", "-5", name},
      {"--tick", "0", name},
      {"--tick", "1000000001", name},
      {name, "--tick"},
  };
  for (const auto &args : cases) {
    std::string shown;
    for (const std::string &arg : args) {
      shown += " '" + arg + "'";
    }
    SCOPED_TRACE("arguments:" + shown);
    ChildProcess server(Server(args));
    EXPECT_EQ(server.WaitForExit(), 2);
    EXPECT_NE(server.ErrorOutput(), "");
    EXPECT_EQ(server.Output(), "");
  }
  EXPECT_FALSE(Exists(kPrefix + name));
}

TEST(ServerOptions, SocketPathMustFitWithoutTruncation) {
  const std::size_t longest = sizeof(sockaddr_un::sun_path) - 1;
  // The first name is one byte too long; its truncated form must not be
  // used either.
  const std::string stem = TestServer::UniqueName() + "-";
  const std::string tooLong = stem + std::string(longest + 1 - kPrefix.size() - stem.size(), 'x');
  ASSERT_EQ((kPrefix + tooLong).size(), longest + 1);
  ChildProcess refused(Server({tooLong}));
  EXPECT_EQ(refused.WaitForExit(), 2);
  EXPECT_NE(refused.ErrorOutput(), "");
  EXPECT_FALSE(Exists((kPrefix + tooLong).substr(0, longest)));

  const std::string absoluteTooLong = "/tmp/" + stem + std::string(longest - 4 - stem.size(), 'y');
  ASSERT_EQ(absoluteTooLong.size(), longest + 1);
  ChildProcess refusedPath(Server({absoluteTooLong}));
  EXPECT_EQ(refusedPath.WaitForExit(), 2);
  EXPECT_FALSE(Exists(absoluteTooLong.substr(0, longest)));

  // The longest path that fits is served under its full name.
  const std::string fits = tooLong.substr(0, tooLong.size() - 1);
  TestServer server({}, fits);
  EXPECT_EQ(server.SocketPath(), kPrefix + fits);
  EXPECT_TRUE(Exists(kPrefix + fits));
}

} // namespace
