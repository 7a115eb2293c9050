#include "ShellProcess.h"
#include "FakePipeApi.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {
using namespace std::string_literals;

class ShellProcessTest : public ::testing::Test {
protected:
  // Runs the shell over the input and returns its reply lines, prompts
  // taken out.
  std::vector<std::string> Replies(const std::string &input) {
    std::istringstream in(input);
    std::ostringstream out;
    shell.Run(in, out);
    std::vector<std::string> lines;
    std::string text = out.str();
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text.compare(i, 3, "\r$ ") == 0) {
        i += 2;
        continue;
      }
      if (text[i] == '\n') {
        lines.push_back(current);
        current.clear();
      } else {
        current += text[i];
      }
    }
    EXPECT_EQ(current, "") << "output ends inside a line";
    return lines;
  }

  FakePipeApi fake;
  ShellProcess shell{fake.Api()};
};

using Lines = std::vector<std::string>;

TEST_F(ShellProcessTest, IdentifiesItself) {
  EXPECT_EQ(std::string(shell.GetManufacturer()), "Zorvat");
  EXPECT_EQ(std::string(shell.GetName()), "Skellan");
  EXPECT_EQ(std::string(shell.GetVersion()), "0.1alpha0");
}

TEST_F(ShellProcessTest, PromptsBeforeEveryReadAndStopsAtEndOfInput) {
  std::istringstream in("\n");
  std::ostringstream out;
  shell.Run(in, out);
  EXPECT_EQ(out.str(), "\r$ \r$ ");
}

TEST_F(ShellProcessTest, CommandRepliesInAnyLetterCase) {
  EXPECT_EQ(Replies("CONNECT abc\nClose\nclose\nmessage\n\n \t \nexit now\nclose\n"),
            (Lines{"OK Connected", "OK Connection closed", "ERROR Not connected",
                   "ERROR Not connected"}));
  EXPECT_EQ(fake.LastPath(), "\\\\.\\pipe\\abc");
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(ShellProcessTest, ConnectNeedsAName) {
  EXPECT_EQ(Replies("connect\nconnect -c\nconnect   \n"),
            (Lines{"ERROR The pipe name must be specified", "ERROR The pipe name must be specified",
                   "ERROR The pipe name must be specified"}));
  EXPECT_EQ(fake.Calls("CreateFileA"), 0);
}

TEST_F(ShellProcessTest, ConnectOptionAndExtraWords) {
  EXPECT_EQ(Replies("connect -c first extra\n"), (Lines{"OK Connected"}));
  EXPECT_EQ(fake.LastPath(), "\\\\.\\pipe\\first");
  EXPECT_EQ(Replies("connect -C\n"), (Lines{"OK Connected"}));
  EXPECT_EQ(fake.LastPath(), "\\\\.\\pipe\\-C");
}

TEST_F(ShellProcessTest, ConnectWithoutANameKeepsTheConnection) {
  EXPECT_EQ(Replies("connect abc\nconnect\nhi\n"),
            (Lines{"OK Connected", "ERROR The pipe name must be specified"}));
  EXPECT_EQ(fake.Written(), (Lines{"hi\n"}));
}

TEST_F(ShellProcessTest, SendsTheLineAsTypedWithALineFeed) {
  EXPECT_EQ(Replies("connect abc\n  hello\nconnectx y\nclosed\nwith cr\r\nnul\0ignored\n"s),
            Lines{"OK Connected"});
  EXPECT_EQ(fake.Written(), (Lines{"  hello\n", "connectx y\n", "closed\n", "with cr\n", "nul\n"}));
}

TEST_F(ShellProcessTest, FirstWordsLongerThanAnyCommandAreMessages) {
  // A line read after a longer one keeps nothing of it.
  const std::string longLine(70000, 'w');
  EXPECT_EQ(
      Replies("closeclose\nconnect abc\n \tconnectx\n" + longLine + "\n  CLOSE\t\nconnected\n"),
      (Lines{"ERROR Not connected", "OK Connected", "OK Connection closed",
             "ERROR Not connected"}));
  EXPECT_EQ(fake.Written(), (Lines{" \tconnectx\n", longLine + "\n"}));
}

TEST_F(ShellProcessTest, LastLineWithoutALineFeedIsActedOn) {
  EXPECT_EQ(Replies("connect abc\nlast words"), Lines{"OK Connected"});
  EXPECT_EQ(fake.Written(), Lines{"last words\n"});
  EXPECT_EQ(Replies("close"), Lines{"ERROR Not connected"});
}

TEST_F(ShellProcessTest, FailedWriteAndFailedConnect) {
  fake.QueueWrite({false, ERROR_NO_DATA});
  fake.QueueCreateFile({true, ERROR_SUCCESS});
  fake.QueueCreateFile({false, ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(Replies("connect abc\nlost\nconnect Other-Name\nhello\n"),
            (Lines{"OK Connected", "ERROR Cannot write to pipe",
                   "ERROR Cannot connect to named pipe: Other-Name", "ERROR Not connected"}));
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(ShellProcessTest, ReconnectingReplacesTheConnection) {
  EXPECT_EQ(Replies("connect one\nconnect two\nclose\nconnect three\n"),
            (Lines{"OK Connected", "OK Connected", "OK Connection closed", "OK Connected"}));
  EXPECT_EQ(fake.Calls("CreateFileA"), 3);
  EXPECT_FALSE(fake.UsedReleasedHandle());
  EXPECT_EQ(fake.OpenHandles(), 0);
}
} // namespace
