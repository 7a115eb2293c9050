// The shell and the receiver print to the same console stream from two
// threads. A stream object is not safe to use from two threads at once
// (its state is written on every output once output has failed), so they
// must take turns.
#include "FakePipeApi.h"
#include "ShellProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

namespace {
// A stream buffer that notes whether two threads were ever inside it at the
// same time. Each call lingers a little, so that an overlap, if the callers
// allow one, is all but certain to happen.
class OverlapDetector : public std::streambuf {
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
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::not_eof(c);
    char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
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

TEST(ConsoleSharingTest, ShellAndReceiverTakeTurnsOnTheConsole) {
  constexpr int messages = 100;
  FakePipeApi fake;
  for (int i = 0; i < messages; ++i)
    fake.QueueMessage("message " + std::to_string(i));
  // The shell prints a prompt for every empty line while the receiver
  // prints the messages.
  std::istringstream input("connect console\n" + std::string(messages, '\n'));
  OverlapDetector console;
  std::streambuf *saved = std::cout.rdbuf(&console);
  {
    ShellProcess shell(fake.Api());
    shell.Run(input, std::cout);
  }
  std::cout.rdbuf(saved);

  std::string text = console.Text();
  EXPECT_NE(text.find("\rmessage 0$ "), std::string::npos) << "the receiver printed nothing";
  EXPECT_NE(text.find("OK Connected\n"), std::string::npos) << "the shell printed no reply";
  EXPECT_FALSE(console.Overlapped());
}
} // namespace
