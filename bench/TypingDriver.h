#ifndef SKELLAN_BENCH_TYPINGDRIVER_H
#define SKELLAN_BENCH_TYPINGDRIVER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Plays an operator who types or pastes into a client, while reading the
// client's screen and the counting server's log (skellan-bench-echo
// --count) at the same time, so that none of the three can fill up and
// stall the others: what is typed is written as fast as the client takes
// it, every wait goes on writing it, and every wait reads both outputs.
class TypingDriver {
public:
  using Clock = std::chrono::steady_clock;

  // All three are non-blocking. `input` and `output` may be the same
  // descriptor, a terminal's master side.
  TypingDriver(int input, int output, int serverLog);

  // Queues the bytes behind what is still to be written.
  void Type(const std::string &bytes);
  // Reads until `text` shows in the output that came behind the last text
  // found (looked for in at least the last 64 KiB of it).
  bool UntilShown(const std::string &text, Clock::time_point deadline);
  // Writes all that was typed and reads until the server has logged
  // `messages` messages in all.
  bool UntilReceived(std::size_t messages, Clock::time_point deadline);
  // Reads until the client has closed its output.
  bool UntilEnd(Clock::time_point deadline);

  std::size_t Received() const { return received; }
  std::uint64_t ReceivedBytes() const { return receivedBytes; }

private:
  // Writes and reads what can be, after waiting for any of it; false when
  // the time runs out or a descriptor fails.
  bool Step(Clock::time_point deadline);
  bool WriteTyped();
  bool ReadOutput();
  bool ReadLog();

  int input;
  int output;
  int serverLog;
  std::unique_ptr<char[]> buffer;
  std::string typed;
  std::size_t written = 0;
  // Output behind the last text found, its start dropped beyond a limit.
  std::string unread;
  // The bytes read before the first of `unread`.
  std::uint64_t dropped = 0;
  bool outputEnded = false;
  std::string logLine;
  std::size_t received = 0;
  std::uint64_t receivedBytes = 0;
};

#endif
