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
