#include "PipeRxThread.h"
#include "FakePipeApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace {
using namespace std::string_literals;

// Notes what the receiver hands on, a piece's start as a carriage return
// and its end as "$ ", and counts the reads handed on: each is a flush, a
// system call on a real console.
class CapturedOutput : public ReceivedOutput {
public:
  bool Show(const Piece *pieces, std::size_t count) override {
    std::lock_guard<std::mutex> lock(mutex);
    for (std::size_t i = 0; i < count; ++i) {
      if (pieces[i].starts)
        text += '\r';
      text.append(pieces[i].bytes, pieces[i].length);
      if (pieces[i].ends)
        text += "$ ";
      cut = cut || pieces[i].cut;
    }
    ++flushes;
    return true;
  }
  void Ended() override {
    std::lock_guard<std::mutex> lock(mutex);
    ++ends;
  }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex);
    return text;
  }
  int Flushes() {
    std::lock_guard<std::mutex> lock(mutex);
    return flushes;
  }
  int Ends() {
    std::lock_guard<std::mutex> lock(mutex);
    return ends;
  }
  bool Cut() {
    std::lock_guard<std::mutex> lock(mutex);
    return cut;
  }

private:
  std::mutex mutex;
  std::string text;
  int flushes = 0;
  int ends = 0;
  bool cut = false;
};

// Runs a receiver over the given messages and returns what it printed once
// it is waiting for the next one.
std::string Receive(const std::vector<std::string> &messages, int *flushes = nullptr) {
  FakePipeApi fake;
  NamedPipe pipe(fake.Api());
  EXPECT_TRUE(pipe.Open("rx", 3));
  for (const std::string &message : messages)
    fake.QueueMessage(message);
  CapturedOutput output;
  {
    PipeRxThread receiver(pipe, output);
    receiver.StartShowing();
    EXPECT_TRUE(fake.WaitForPendingRead());
  }
  EXPECT_FALSE(output.Cut()) << "a message pipe's piece was handed on as cut";
  EXPECT_FALSE(pipe.IsOpen());
  EXPECT_FALSE(fake.UsedReleasedHandle());
  EXPECT_EQ(output.Ends(), 1) << "the output was not told, once, that nothing more comes";
  if (flushes != nullptr)
    *flushes = output.Flushes();
  return output.Text();
}

TEST(PipeRxThreadTest, PrintsEachPieceBehindACarriageReturnWithAFreshPrompt) {
  EXPECT_EQ(Receive({"abc"}), "\rabc$ ");
  EXPECT_EQ(Receive({"a\0b"s}), "\ra$ \rb$ ");
  EXPECT_EQ(Receive({"abc\0"s}), "\rabc$ ");
  EXPECT_EQ(Receive({"\0\0"s}), "\r$ \r$ ");
  EXPECT_EQ(Receive({"line\r\n"}), "\rline\r\n$ ");
}

TEST(PipeRxThreadTest, EmptyMessagePrintsNothingAndReceivingGoesOn) {
  EXPECT_EQ(Receive({"", "next"}), "\rnext$ ");
}

TEST(PipeRxThreadTest, LongMessagesAreShownWhole) {
  std::string exact(1024, 'x');
  EXPECT_EQ(Receive({exact}), "\r" + exact + "$ ");

  // Pieces that straddle the 1024-byte reads come out as if read at once.
  std::string head(1020, 'h');
  std::string middle(2000, 'm');
  std::string message = head + "\0"s + middle + "\0"s + "tail";
  EXPECT_EQ(Receive({message, "after"}), "\r" + head + "$ \r" + middle + "$ \rtail$ \rafter$ ");

  // A NUL exactly at the end of a read still ends its piece there.
  std::string first(1023, 'a');
  EXPECT_EQ(Receive({first + "\0"s + "b"}), "\r" + first + "$ \rb$ ");
  EXPECT_EQ(Receive({std::string(1024, 'c') + "\0"s}), "\r" + std::string(1024, 'c') + "$ ");
}

TEST(PipeRxThreadTest, ThePiecesOfOneReadShareOneFlush) {
  int flushes = 0;
  EXPECT_EQ(Receive({"\0\0\0x"s}, &flushes), "\r$ \r$ \r$ \rx$ ");
  EXPECT_EQ(flushes, 1);

  // Longer than one read: what the first read closed goes out before the
  // second read, not held behind the piece it leaves open.
  const std::string rest(PipeRxThread::BufferSize, 'c');
  EXPECT_EQ(Receive({"a\0b\0"s + rest}, &flushes), "\ra$ \rb$ \r" + rest + "$ ");
  EXPECT_EQ(flushes, 2);
}

// What arrives before StartShowing (a greeting) waits for it, so that the
// shell's reply to connect comes first; a receiver deleted before then
// shows nothing and does not hang.
TEST(PipeRxThreadTest, NothingIsShownBeforeStartShowing) {
  for (const bool started : {true, false}) {
    SCOPED_TRACE(started ? "started" : "deleted first");
    FakePipeApi fake;
    NamedPipe pipe(fake.Api());
    ASSERT_TRUE(pipe.Open("rx", 3));
    fake.QueueMessage("greeting");
    CapturedOutput output;
    {
      PipeRxThread receiver(pipe, output);
      // The greeting is read at once and held: no second read comes (the
      // wait for one gives up after a second).
      EXPECT_FALSE(fake.WaitForPendingRead());
      EXPECT_EQ(output.Text(), "");
      if (started) {
        receiver.StartShowing();
        EXPECT_TRUE(fake.WaitForPendingRead());
      }
    }
    EXPECT_EQ(output.Text(), started ? "\rgreeting$ " : "");
    EXPECT_EQ(output.Ends(), started ? 1 : 0);
  }
}

TEST(PipeRxThreadTest, ClosedChannelEndsTheThreadWithoutOutput) {
  FakePipeApi fake;
  NamedPipe pipe(fake.Api());
  CapturedOutput output;
  { PipeRxThread receiver(pipe, output); }
  EXPECT_EQ(output.Text(), "");
  EXPECT_EQ(fake.Calls("ReadFile"), 0);
}

// Whether WaitForQuiet returns within 20 s; the waits that must not end it
// are 30 s, so that a failure still ends, and is told, inside the test's
// time-out.
bool Returns(PipeRxThread &receiver, PipeRxThread::Clock::duration quiet,
             PipeRxThread::Clock::duration cap) {
  std::future<void> waited = std::async(std::launch::async, [&receiver, quiet, cap] {
    receiver.WaitForQuiet(quiet, PipeRxThread::Clock::now() + cap);
  });
  return waited.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
}

TEST(PipeRxThreadTest, WaitForQuietEndsAtQuietAtTheCapOrWhenTheReceiverEnds) {
  const auto never = std::chrono::seconds(30);
  const auto soon = std::chrono::milliseconds(20);
  CapturedOutput output;
  {
    FakePipeApi fake;
    NamedPipe pipe(fake.Api());
    ASSERT_TRUE(pipe.Open("rx", 3));
    fake.QueueMessage("greeting");
    PipeRxThread receiver(pipe, output);
    receiver.StartShowing();
    ASSERT_TRUE(fake.WaitForPendingRead());
    EXPECT_TRUE(Returns(receiver, soon, never)) << "the quiet time did not end the wait";
    EXPECT_TRUE(Returns(receiver, never, soon)) << "the cap did not end the wait";
  }
  // A receiver that has ended (the server closed its end) ends it at once.
  FakePipeApi fake;
  NamedPipe closed(fake.Api());
  PipeRxThread ended(closed, output);
  ended.StartShowing();
  EXPECT_TRUE(Returns(ended, never, never)) << "an ended receiver still kept the caller waiting";
}

TEST(PipeRxThreadTest, StackSizeIsRaisedToAUsableFloor) {
  FakePipeApi fake;
  NamedPipe pipe(fake.Api());
  CapturedOutput output;
  PipeRxThread receiver(pipe, output);
  EXPECT_TRUE(receiver.IsCreated());
  EXPECT_GE(receiver.GetStackSize(), PThread::MinimumStackSize);
  EXPECT_EQ(receiver.GetPriority(), PThread::NormalPriority);
  EXPECT_EQ(std::string(receiver.GetThreadName()), "PipeRxThread");
}
} // namespace
