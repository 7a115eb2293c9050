#include "ClientSession.h"
#include "ClientText.h"
#include "TestServer.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using namespace clienttext;

// Where a plain name's socket lives: the name follows this.
const std::string kSocketFolder = TestServer::SocketPrefix();
// A socket path and its terminating NUL must fit in sun_path.
const std::size_t kLongestPath = sizeof(sockaddr_un::sun_path) - 1;

// Every byte but the line feed, which ends a line, and NUL, which ends its
// text. It starts with a letter, so it is no command, and it holds what the
// client prints itself: carriage returns and "$ ".
std::string EveryByte() {
  std::string line = "x\r$ ";
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '\n') {
      line += static_cast<char>(byte);
    }
  }
  return line + "end";
}

std::string Padded(std::string name, std::size_t length) {
  name.resize(length, 'n');
  return name;
}

TEST(ShellProcessOddBytes, GoOutAndComeBackAsTheyAre) {
  const std::vector<std::string> lines = {
      EveryByte(),
      "\xff\xfe\xfd not UTF-8 \xc3\x28 \xe2\x82 \xf0\x9f\x98",
      "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
      // Command words with bytes that make them other words.
      "close\xa0",
      "\xe9xit",
      "connect\x7f name",
      "\x1b[2J\x1b[H escape sequences \a\b\f\v",
  };
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({}, byteType));
    ClientSession client;
    for (const std::string &line : lines) {
      EXPECT_TRUE(client.Command(line, kNotConnected)) << VisibleText(line);
    }
    ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
    std::size_t count = 0;
    for (const std::string &line : lines) {
      ASSERT_TRUE(client.Type(line));
      EXPECT_TRUE(client.Received({line + "\n"})) << VisibleText(line);
      EXPECT_TRUE(server.WaitForLog("recv 1 " + std::to_string(line.size() + 1)));
      ++count;
    }
    EXPECT_EQ(client.EndInput(), 0);
    if (!byteType) {
      EXPECT_EQ(server.CountLog("recv 1 "), count);
    }
  }
}

TEST(ShellProcessOddPipeNames, TooLongForASocketPathFailCleanly) {
  // The longest names that fit, a plain one and a path, are served.
  const std::string longestName =
      Padded(TestServer::UniqueName(), kLongestPath - kSocketFolder.size());
  const std::string longestPath = Padded(TestServer::UniquePath(), kLongestPath);
  for (const std::string &name : {longestName, longestPath}) {
    SCOPED_TRACE(std::to_string(name.size()) + "-byte name");
    TestServer server({}, name);
    ClientSession client;
    EXPECT_TRUE(client.Command("connect " + name, kConnected));
    ASSERT_TRUE(client.Type("fits"));
    EXPECT_TRUE(client.Received({"fits\n"}));
    EXPECT_EQ(client.EndInput(), 0);
  }

  // One byte more, and far more, names no socket.
  const std::vector<std::string> tooLong = {
      longestName + "n",
      longestPath + "n",
      Padded(TestServer::UniqueName(), 4096),
      Padded(TestServer::UniqueName(), 1024 * 1024),
      "/" + std::string(300, '/'),
  };
  ClientSession client;
  for (const std::string &name : tooLong) {
    SCOPED_TRACE(std::to_string(name.size()) + "-byte name");
    EXPECT_TRUE(client.Command("connect " + name, CannotConnect(name)));
  }
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_EQ(client.EndInput(), 0);
}

// A pipe name with a '/' is a path below the socket folder.
class ShellProcessOddPipeNamesWithSlash : public testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(mkdir(Folder().c_str(), 0700), 0); }
  void TearDown() override { rmdir(Folder().c_str()); }
  std::string Folder() const { return kSocketFolder + stem_; }

  const std::string stem_ = TestServer::UniqueName();
};

TEST_F(ShellProcessOddPipeNamesWithSlash, ReachASocketInAFolder) {
  const std::string name = stem_ + "/inner";
  {
    TestServer server({}, name);
    ASSERT_EQ(server.SocketPath(), Folder() + "/inner");
    ClientSession client;
    for (const std::string &missing :
         {stem_ + "/missing", stem_ + "/inner/deeper", stem_, stem_ + "/", std::string("/")}) {
      EXPECT_TRUE(client.Command("connect " + missing, CannotConnect(missing)));
    }
    EXPECT_TRUE(client.Command("connect " + name, kConnected));
    ASSERT_TRUE(client.Type("in a folder"));
    EXPECT_TRUE(client.Received({"in a folder\n"}));
    EXPECT_TRUE(client.Command("connect " + stem_ + "//inner", kConnected));
    ASSERT_TRUE(client.Type("and again"));
    EXPECT_TRUE(client.Received({"and again\n"}));
    EXPECT_EQ(client.EndInput(), 0);
    EXPECT_TRUE(server.WaitForLog("close 2"));
  }
}

TEST(ShellProcessOddPipeNames, NameIsOneToken) {
  const std::string first = TestServer::UniqueName();
  TestServer server({}, first);
  // Its socket's name is the whole line after "connect ", blanks and all.
  TestServer whole({}, first + " second");
  ClientSession client;
  for (const std::string &line : {"connect " + first + " second", "connect\t" + first + "\tsecond",
                                  "connect -c " + first + " second third",
                                  "connect   " + first + "   ", "CONNECT " + first + " -c"}) {
    SCOPED_TRACE(VisibleText(line));
    EXPECT_TRUE(client.Command(line, kConnected));
  }
  ASSERT_TRUE(client.Type("to the first"));
  EXPECT_TRUE(client.Received({"to the first\n"}));
  EXPECT_EQ(client.EndInput(), 0);
  EXPECT_TRUE(server.WaitForLog("close 5"));
  EXPECT_EQ(whole.CountLog("connect "), 0u);
}

TEST(ShellProcessOddPipeNames, BytesThatAreNotUtf8) {
  const std::string name = TestServer::UniqueName() + "-\xff\xfe\x80\xc3\x28\x01\x7f";
  TestServer server({}, name);
  ClientSession client;
  EXPECT_TRUE(client.Command("connect " + name, kConnected));
  ASSERT_TRUE(client.Type("named oddly"));
  EXPECT_TRUE(client.Received({"named oddly\n"}));
  // A name that differs in one byte is another pipe, and the reply shows
  // the name as it was typed.
  for (const std::string &other :
       {TestServer::UniqueName() + "-\xff\xfe\x80\xc3\x28\x01\x7e",
        TestServer::UniqueName() + "-\x1b[31mred\x1b[0m", std::string("\xc0\xaf..\xc0\xaf")}) {
    EXPECT_TRUE(client.Command("connect " + other, CannotConnect(other))) << VisibleText(other);
  }
  EXPECT_TRUE(client.Command("close", kNotConnected));
  EXPECT_EQ(client.EndInput(), 0);
  EXPECT_TRUE(server.WaitForLog("close 1"));
}

} // namespace
