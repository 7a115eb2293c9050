// The shell and the receiver print to the same console stream from two
// threads. A stream object is not safe to use from two threads at once
// (its state is written on every output once output has failed), so they
// must take turns; and the shell posts its prompt rather than wait while
// the receiver prints.
#include "PlainConsole.h"
#include "FakePipeApi.h"
#include "ReceivedPieces.h"
#include "ShellProcess.h"
#include "TextMask.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

namespace {
using namespace receivedpieces;
// A stream buffer without a buffer of its own: every byte comes to xsputn.
class UnbufferedConsole : public std::streambuf {
protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::not_eof(c);
    char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }
};

// A stream buffer that notes whether two threads were ever inside it at the
// same time. Each call lingers a little, so that an overlap, if the callers
// allow one, is all but certain to happen.
class OverlapDetector : public UnbufferedConsole {
public:
  bool Overlapped() const { return overlapped; }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex);
    return text;
  }

protected:
  std::streamsize xsputn(const char *bytes, std::streamsize count) override {
    Enter();
    {
      std::lock_guard<std::mutex> lock(mutex);
      text.append(bytes, static_cast<std::size_t>(count));
    }
    Leave();
    return count;
  }
  int sync() override {
    Enter();
    Leave();
    return 0;
  }

private:
  void Enter() {
    if (inside.fetch_add(1) != 0)
      overlapped = true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  void Leave() { inside.fetch_sub(1); }

  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::mutex mutex;
  std::string text;
};

TEST(PlainConsoleTest, ShellAndReceiverTakeTurnsOnTheConsole) {
  constexpr int messages = 100;
  FakePipeApi fake;
  for (int i = 0; i < messages; ++i)
    fake.QueueMessage("message " + std::to_string(i));
  // The shell prints a prompt for every empty line while the receiver
  // prints the messages.
  std::istringstream input("connect console\n" + std::string(messages, '\n'));
  OverlapDetector console;
  std::ostream output(&console);
  {
    ShellProcess shell(fake.Api());
    shell.Run(input, output);
  }

  std::string text = console.Text();
  EXPECT_NE(text.find("\rmessage 0$ "), std::string::npos) << "the receiver printed nothing";
  EXPECT_NE(text.find("OK Connected\n"), std::string::npos) << "the shell printed no reply";
  EXPECT_FALSE(console.Overlapped());
}

// A stream that counts its flushes: each is a system call on a console.
struct CountingBuffer : std::stringbuf {
  int flushes = 0;
  int sync() override {
    ++flushes;
    return std::stringbuf::sync();
  }
};

TEST(PlainConsoleTest, EachPieceReplacesThePromptLineAndTheRunsOfAReadShareAFlush) {
  CountingBuffer buffer;
  std::ostream stream(&buffer);
  PlainConsole console(stream, "> ");
  EXPECT_TRUE(Show(console, {Whole("a"), Whole(""), Whole("b\n")}));
  EXPECT_EQ(buffer.str(), "\ra> \r> \rb\n> ");
  EXPECT_EQ(buffer.flushes, 1);
  // The parts of a long piece: one carriage return before, one prompt behind.
  EXPECT_TRUE(Show(console, {First("long ")}));
  EXPECT_TRUE(Show(console, {Last("piece")}));
  EXPECT_TRUE(console.Reply("OK\n", 3));
  EXPECT_TRUE(console.Prompt());
  EXPECT_EQ(buffer.str(), "\ra> \r> \rb\n> \rlong piece> OK\n\r> ");
  EXPECT_EQ(buffer.flushes, 5);
}

// The text a terminal shows of what the console wrote, SGRs taken out;
// any other escape sequence is kept whole, and would fail the test.
std::string WithoutSgr(const std::string &written) {
  std::string shown;
  for (std::size_t i = 0; i < written.size(); ++i) {
    const std::size_t end = written.find_first_not_of("0123456789;:", i + 2);
    if (written.compare(i, 2, "\x1b[") == 0 && end != std::string::npos && written[end] == 'm')
      i = end;
    else
      shown += written[i];
  }
  return shown;
}

TEST(PlainConsoleTest, OnATerminalTheServersTextIsMaskedAndThePromptWearsNoColour) {
  std::ostringstream stream;
  TextMask mask(true, nullptr, TextMask::KeepColours);
  PlainConsole console(stream, "$ ", &mask);

  EXPECT_TRUE(Show(console, {Whole("\x1b[1mbold\x1b[H")}));
  std::string written = stream.str();
  EXPECT_EQ(WithoutSgr(written), "\rbold^[[H$ ");
  EXPECT_EQ(written.substr(written.size() - 6), "\x1b[0m$ ") << "the prompt is not reset";

  // A stream: a character cut between reads is judged whole; a colour goes
  // on in the next read, and is off for every prompt.
  stream.str("");
  EXPECT_TRUE(Show(console, {Read("\x1b[31mre\xc3")}));
  EXPECT_TRUE(Show(console, {Read("\xbc\x1b[")}));
  EXPECT_TRUE(Show(console, {Read("7mX")}));
  written = stream.str();
  EXPECT_EQ(WithoutSgr(written), "\rre$ \r\xc3\xbc$ \rX$ ");
  EXPECT_EQ(written, "\r\x1b[31mre\x1b[0m$ \r\x1b[31m\xc3\xbc\x1b[0m$ \r\x1b[31m\x1b[7mX\x1b[0m$ ");

  // The connection ends inside a character: its bytes still show.
  stream.str("");
  EXPECT_TRUE(Show(console, {Read("\xe6\x97")}));
  console.Ended();
  EXPECT_EQ(WithoutSgr(stream.str()), "\r$ \r<E6><97>$ ");
}

// A name in a reply (a pipe's, which any local process may choose) shows
// its controls on a terminal; elsewhere the bytes go out as they are.
TEST(PlainConsoleTest, ANameInAReplyShowsItsControlsOnATerminal) {
  std::ostringstream stream;
  TextMask mask(true, nullptr, TextMask::KeepColours);
  const PlainConsole terminal(stream, "$ ", &mask);
  EXPECT_EQ(terminal.Quoted("a\x1b]2;t\x07"), "a\x1b[7m^[\x1b[27m]2;t\x1b[7m^G\x1b[27m");
  const PlainConsole plain(stream, "$ ");
  EXPECT_EQ(plain.Quoted("a\x1b]2;t\x07"), "a\x1b]2;t\x07");
}

// A stream buffer that keeps each write apart.
class WriteLog : public UnbufferedConsole {
public:
  std::vector<std::string> writes;

protected:
  std::streamsize xsputn(const char *bytes, std::streamsize count) override {
    writes.emplace_back(bytes, static_cast<std::size_t>(count));
    return count;
  }
};

// However many bytes are masked, what masking makes of a piece goes out a
// bounded part at a time, so that the console never holds much of it, and
// the piece is still framed once and shown whole.
TEST(PlainConsoleTest, AMaskedPieceGoesOutInBoundedPartsAndWhole) {
  WriteLog log;
  std::ostream stream(&log);
  TextMask mask(true, nullptr, TextMask::KeepColours);
  PlainConsole console(stream, "$ ", &mask);
  std::string piece, shown;
  while (piece.size() + 11 <= TextMask::maxAttributes)
    piece += "\x1b[38;5;100m";
  while (piece.size() < 3 * PlainConsole::heldLimit) {
    piece += "\ax";
    shown += "^Gx";
  }
  EXPECT_TRUE(Show(console, {Whole(piece)}));
  std::string written;
  for (const std::string &write : log.writes) {
    EXPECT_LE(write.size(),
              PlainConsole::heldLimit + TextMask::MostShown(ReceivedText::sliceLength));
    written += write;
  }
  EXPECT_GT(log.writes.size(), 2u);
  EXPECT_EQ(WithoutSgr(written), "\r" + shown + "$ ");
  EXPECT_LE(written.size(), 16 * piece.size());
  EXPECT_EQ(written.substr(written.size() - 6), "\x1b[0m$ ");
}

// The pieces of one read, each framed, reach the stream in one write: a
// terminal or pipe behind it is woken once a read.
TEST(PlainConsoleTest, ThePiecesOfOneReadGoOutInOneWrite) {
  WriteLog log;
  std::ostream stream(&log);
  PlainConsole console(stream, "$ ");
  const std::string longText(4096, 'x');
  EXPECT_TRUE(Show(console, {Whole("one"), Whole(longText), Whole("two")}));
  ASSERT_EQ(log.writes.size(), 1u);
  EXPECT_EQ(log.writes[0], "\rone$ \r" + longText + "$ \rtwo$ ");
}

// A console whose writes or flushes stop at a gate until the test opens
// it: a console whose reader is slow. Once open, it can refuse everything:
// a reader that went away.
class GatedConsole : public UnbufferedConsole {
public:
  enum Stop { AtWrite, AtFlush };
  explicit GatedConsole(Stop where) : where(where) {}

  // Waits until a writer stands at the gate.
  void WaitForWriter() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return waiting; });
  }
  // Opens the gate; from then on the console refuses every byte, or not.
  void Open(bool refuseFromNow = false) {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    refusing = refuseFromNow;
    changed.notify_all();
  }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex);
    return text;
  }
  int Flushes() {
    std::lock_guard<std::mutex> lock(mutex);
    return flushes;
  }

protected:
  std::streamsize xsputn(const char *bytes, std::streamsize count) override {
    std::unique_lock<std::mutex> lock(mutex);
    if (where == AtWrite)
      Pass(lock);
    if (refusing)
      return 0;
    text.append(bytes, static_cast<std::size_t>(count));
    return count;
  }
  int sync() override {
    std::unique_lock<std::mutex> lock(mutex);
    if (where == AtFlush)
      Pass(lock);
    ++flushes;
    return refusing ? -1 : 0;
  }

private:
  void Pass(std::unique_lock<std::mutex> &lock) {
    waiting = true;
    changed.notify_all();
    changed.wait(lock, [this] { return open; });
  }

  const Stop where;
  std::mutex mutex;
  std::condition_variable changed;
  bool waiting = false;
  bool open = false;
  bool refusing = false;
  int flushes = 0;
  std::string text;
};

// Only guards against a poster that waits when it should not.
constexpr std::chrono::seconds kHangGuard(20);

// The receiver showing a piece, stopped at the console's gate.
struct StuckReceiver {
  explicit StuckReceiver(GatedConsole::Stop where)
      : console(where), stream(&console), plain(stream, "$ "),
        receiver([this] { Show(plain, {Whole("piece")}); }) {
    console.WaitForWriter();
  }
  ~StuckReceiver() {
    if (receiver.joinable())
      Finish();
  }
  // Lets it go on, the console refusing everything from now on, or not.
  void Finish(bool refusing = false) {
    console.Open(refusing);
    receiver.join();
  }

  GatedConsole console;
  std::ostream stream;
  PlainConsole plain;
  std::thread receiver;
};

TEST(PlainConsolePrompt, APromptPostedDuringAWriteGoesOutRightBehindIt) {
  for (GatedConsole::Stop where : {GatedConsole::AtWrite, GatedConsole::AtFlush}) {
    SCOPED_TRACE(where == GatedConsole::AtWrite ? "while it writes" : "while it flushes");
    StuckReceiver stuck(where);
    // The poster goes on while the receiver is stuck.
    std::future<bool> posted = std::async(std::launch::async, [&] { return stuck.plain.Prompt(); });
    ASSERT_EQ(posted.wait_for(kHangGuard), std::future_status::ready);
    EXPECT_TRUE(posted.get());
    stuck.Finish();
    // Left during the write, it goes out in the same flush as the piece.
    EXPECT_EQ(stuck.console.Flushes(), where == GatedConsole::AtWrite ? 1 : 2);
    // The poster's next output comes behind its prompt.
    EXPECT_TRUE(stuck.plain.Reply("reply\n", 6));
    EXPECT_EQ(stuck.console.Text(), "\rpiece$ \r$ reply\n");
  }
}

TEST(PlainConsolePrompt, OnlyOnePromptIsLeftAtATime) {
  StuckReceiver stuck(GatedConsole::AtWrite);
  EXPECT_TRUE(stuck.plain.Prompt());
  // A second one waits for the console, as a write does, so that a stuck
  // console still stops the shell.
  std::future<bool> second = std::async(std::launch::async, [&] { return stuck.plain.Prompt(); });
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  stuck.Finish();
  EXPECT_TRUE(second.get());
  EXPECT_EQ(stuck.console.Text(), "\rpiece$ \r$ \r$ ");
}

TEST(PlainConsolePrompt, ARefusedPromptIsReportedByTheNextPost) {
  StuckReceiver stuck(GatedConsole::AtWrite);
  EXPECT_TRUE(stuck.plain.Prompt());
  stuck.Finish(true);
  // Even once the console takes bytes again, the poster hears of the
  // failure, once.
  stuck.console.Open(false);
  stuck.stream.clear();
  EXPECT_FALSE(stuck.plain.Prompt());
  EXPECT_TRUE(stuck.plain.Prompt());
  EXPECT_EQ(stuck.console.Text(), "\r$ ");
}
} // namespace
