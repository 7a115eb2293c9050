#include "NamedPipe.h"
#include "FakePipeApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace {
const FakePipeApi::Result busy{false, ERROR_PIPE_BUSY};
const FakePipeApi::Result missing{false, ERROR_FILE_NOT_FOUND};

class NamedPipeTest : public ::testing::Test {
protected:
  FakePipeApi fake;
  NamedPipe pipe{fake.Api()};
};

TEST_F(NamedPipeTest, OpensInMessageModeAndNamesThePipe) {
  EXPECT_EQ(std::string(pipe.GetName()), "");
  ASSERT_TRUE(pipe.Open("abc", 3));
  EXPECT_TRUE(pipe.IsOpen());
  EXPECT_EQ(fake.LastPath(), "\\\\.\\pipe\\abc");
  EXPECT_EQ(std::string(pipe.GetName()), "\\\\.\\pipe\\abc");
  EXPECT_EQ(fake.LastReadMode(), static_cast<DWORD>(PIPE_READMODE_MESSAGE));
  EXPECT_EQ(fake.Calls("CreateFileA"), 1);
  EXPECT_EQ(fake.OpenHandles(), 3); // the pipe and its two events
}

// The server may learn who the client is (identification), never act as
// the operator with the client's rights (impersonation).
TEST_F(NamedPipeTest, OpensForOverlappedIoOfferingIdentificationOnly) {
  ASSERT_TRUE(pipe.Open("abc", 3));
  const FakePipeApi::OpenArguments open = fake.LastOpen();
  EXPECT_EQ(open.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
  EXPECT_EQ(open.shareMode, 0u);
  EXPECT_EQ(open.creation, static_cast<DWORD>(OPEN_EXISTING));
  EXPECT_EQ(open.flags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT |
                                           SECURITY_IDENTIFICATION));
}

TEST_F(NamedPipeTest, EmptyNameOrNoAttemptsKeepsTheChannelAsItStands) {
  EXPECT_FALSE(pipe.Open("", 3));
  EXPECT_FALSE(pipe.Open("abc", 0));
  EXPECT_EQ(fake.Calls("CreateFileA"), 0);
  EXPECT_EQ(std::string(pipe.GetName()), "");

  ASSERT_TRUE(pipe.Open("first", 3));
  EXPECT_TRUE(pipe.Open("", 3));
  EXPECT_TRUE(pipe.Open("second", -1));
  EXPECT_EQ(fake.Calls("CreateFileA"), 1);
  EXPECT_EQ(fake.Calls("CloseHandle"), 0);
  EXPECT_EQ(std::string(pipe.GetName()), "\\\\.\\pipe\\first");
}

TEST_F(NamedPipeTest, MakesExactlyTheGivenNumberOfTries) {
  fake.QueueCreateFile(busy);
  fake.QueueCreateFile(busy);
  fake.QueueCreateFile(busy);
  EXPECT_FALSE(pipe.Open("abc", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 3);
  EXPECT_EQ(fake.Calls("WaitNamedPipeA"), 3);
  EXPECT_EQ(std::string(pipe.GetName()), "\\\\.\\pipe\\abc");
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(NamedPipeTest, BusyAtTheFirstTryAndFreeAtTheSecond) {
  fake.QueueCreateFile(busy);
  EXPECT_TRUE(pipe.Open("abc", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 2);
  EXPECT_EQ(fake.Calls("WaitNamedPipeA"), 1);
  EXPECT_EQ(fake.LastReadMode(), static_cast<DWORD>(PIPE_READMODE_MESSAGE));
  EXPECT_EQ(fake.OpenHandles(), 3);
}

TEST_F(NamedPipeTest, StopsWhenTheWaitFailsOrThePipeIsMissing) {
  fake.QueueCreateFile(busy);
  fake.QueueWait(false);
  EXPECT_FALSE(pipe.Open("abc", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 1);
  EXPECT_EQ(fake.Calls("WaitNamedPipeA"), 1);

  fake.QueueCreateFile(missing);
  EXPECT_FALSE(pipe.Open("gone", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 2);
  EXPECT_EQ(fake.Calls("WaitNamedPipeA"), 1);
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(NamedPipeTest, FailedOpenClosesThePreviousConnection) {
  ASSERT_TRUE(pipe.Open("first", 3));
  fake.QueueCreateFile(missing);
  EXPECT_FALSE(pipe.Open("second", 3));
  EXPECT_FALSE(pipe.IsOpen());
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(NamedPipeTest, ModeChangeFailingOnceRetriesWithAFreshConnection) {
  fake.QueueSetState({false, ERROR_ACCESS_DENIED});
  EXPECT_TRUE(pipe.Open("abc", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 2);
  EXPECT_EQ(fake.LastReadMode(), static_cast<DWORD>(PIPE_READMODE_MESSAGE));
  EXPECT_EQ(fake.OpenHandles(), 3);
}

TEST_F(NamedPipeTest, ModeChangeFailingEveryTimeKeepsTheLastConnection) {
  for (int i = 0; i < 3; ++i)
    fake.QueueSetState({false, ERROR_ACCESS_DENIED});
  EXPECT_TRUE(pipe.Open("abc", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 3);
  EXPECT_EQ(fake.Calls("SetNamedPipeHandleState"), 3);
  EXPECT_EQ(fake.OpenHandles(), 3);
}

TEST_F(NamedPipeTest, ByteTypePipeIsKeptAtTheFirstTry) {
  fake.QueueSetState({false, ERROR_INVALID_PARAMETER});
  EXPECT_TRUE(pipe.Open("abc", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 1);
  EXPECT_EQ(fake.Calls("CloseHandle"), 0);
}

TEST_F(NamedPipeTest, EventCreationFailureLeavesNothingOpen) {
  fake.FailCreateEvent();
  EXPECT_FALSE(pipe.Open("abc", 3));
  EXPECT_EQ(fake.Calls("CreateFileA"), 0);
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(NamedPipeTest, ClosedChannelMakesNoPipeCalls) {
  char buffer[8];
  EXPECT_FALSE(pipe.Read(buffer, sizeof buffer));
  EXPECT_FALSE(pipe.Write("x", 1));
  EXPECT_FALSE(pipe.Accept());
  EXPECT_TRUE(pipe.Close());
  EXPECT_EQ(fake.Calls("ReadFile"), 0);
  EXPECT_EQ(fake.Calls("WriteFile"), 0);
  EXPECT_EQ(fake.Calls("CloseHandle"), 0);

  ASSERT_TRUE(pipe.Open("abc", 3));
  EXPECT_TRUE(pipe.Close());
  EXPECT_EQ(fake.Calls("CloseHandle"), 3);
  EXPECT_TRUE(pipe.Close());
  EXPECT_EQ(fake.Calls("CloseHandle"), 3);
  EXPECT_FALSE(pipe.IsOpen());
}

TEST_F(NamedPipeTest, WritesOneMessageAndReportsFailure) {
  ASSERT_TRUE(pipe.Open("abc", 3));
  EXPECT_TRUE(pipe.Write("hello\n", 6));
  fake.QueueWrite({false, ERROR_NO_DATA});
  EXPECT_FALSE(pipe.Write("again\n", 6));
  ASSERT_EQ(fake.Written().size(), 1u);
  EXPECT_EQ(fake.Written()[0], "hello\n");
}

TEST_F(NamedPipeTest, ReadsEmptyAndLongMessages) {
  ASSERT_TRUE(pipe.Open("abc", 3));
  fake.QueueMessage("");
  fake.QueueMessage(std::string(1024, 'a') + "bc");
  char buffer[1024];

  ASSERT_TRUE(pipe.Read(buffer, sizeof buffer));
  EXPECT_EQ(pipe.GetLastReadCount(), 0u);
  EXPECT_FALSE(pipe.HasMoreData());

  ASSERT_TRUE(pipe.Read(buffer, sizeof buffer));
  EXPECT_EQ(pipe.GetLastReadCount(), 1024u);
  EXPECT_TRUE(pipe.HasMoreData());
  EXPECT_EQ(std::string(buffer, 1024), std::string(1024, 'a'));

  ASSERT_TRUE(pipe.Read(buffer, sizeof buffer));
  EXPECT_EQ(pipe.GetLastReadCount(), 2u);
  EXPECT_FALSE(pipe.HasMoreData());
  EXPECT_EQ(std::string(buffer, 2), "bc");
}

// A write the server does not take: the caller is asked every slice
// whether to go on waiting, and the pipe is closed without waiting on it.
TEST_F(NamedPipeTest, AWriteThatWaitsAsksTheCallerAndIsAbandonedOnItsWord) {
  struct Case {
    const char *what;
    int askedBeforeTaken; // -1: never taken
    bool goOn;            // the answer once asked that many times
    bool sent;
  };
  for (const Case c :
       {Case{"abandoned", -1, false, false}, Case{"taken while it waits", 2, true, true},
        Case{"taken just as it is abandoned", 2, false, true}}) {
    SCOPED_TRACE(c.what);
    NamedPipe channel(fake.Api());
    ASSERT_TRUE(channel.Open("abc", 3));
    fake.QueueWrite({false, ERROR_IO_PENDING});
    const std::size_t before = fake.Written().size();
    int asked = 0;
    const bool sent = channel.Write("stuck\n", 6, [&] {
      if (++asked == c.askedBeforeTaken)
        fake.TakePendingWrite();
      return asked < 3 || c.goOn;
    });
    EXPECT_EQ(sent, c.sent);
    EXPECT_GE(asked, c.askedBeforeTaken < 0 ? 3 : c.askedBeforeTaken);
    EXPECT_FALSE(fake.WritePending());
    EXPECT_EQ(fake.Written().size() - before, c.sent ? 1u : 0u);
    // Closing never waits on the server, and the channel works on.
    EXPECT_TRUE(channel.Write("next\n", 5));
    EXPECT_TRUE(channel.Close());
    EXPECT_FALSE(fake.UsedReleasedHandle());
    EXPECT_EQ(fake.OpenHandles(), 0);
  }
}

TEST_F(NamedPipeTest, WithoutAWaitAWriteWaitsUntilTheServerTakesIt) {
  ASSERT_TRUE(pipe.Open("abc", 3));
  fake.QueueWrite({false, ERROR_IO_PENDING});
  auto writer = std::async(std::launch::async, [this] { return pipe.Write("slow\n", 5); });
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  fake.TakePendingWrite();
  ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(writer.get());
  EXPECT_EQ(fake.Written(), std::vector<std::string>{"slow\n"});
}

// One platform write takes a 32-bit count: a longer line is refused whole
// rather than sent cut.
TEST_F(NamedPipeTest, AWriteTooLongForOnePlatformWriteFailsWithoutSendingAnything) {
  if (sizeof(std::size_t) <= sizeof(DWORD))
    GTEST_SKIP() << "no longer size exists here";
  ASSERT_TRUE(pipe.Open("abc", 3));
  const std::size_t tooLong = std::size_t{MAXDWORD} + 1;
  EXPECT_FALSE(pipe.Write("x", tooLong));
  EXPECT_EQ(fake.Calls("WriteFile"), 0);
}

TEST_F(NamedPipeTest, CloseEndsAReadPendingOnAnotherThread) {
  ASSERT_TRUE(pipe.Open("abc", 3));
  auto reader = std::async(std::launch::async, [this] {
    char buffer[16];
    return pipe.Read(buffer, sizeof buffer);
  });
  ASSERT_TRUE(fake.WaitForPendingRead());
  EXPECT_TRUE(pipe.Close());
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(reader.get());
  EXPECT_FALSE(pipe.IsOpen());
  EXPECT_FALSE(fake.UsedReleasedHandle());
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(NamedPipeTest, AcceptTakesAConnectedClient) {
  ASSERT_TRUE(pipe.Open("abc", 3));
  EXPECT_TRUE(pipe.Accept());
  EXPECT_EQ(fake.Calls("ConnectNamedPipe"), 1);
}
} // namespace
