#include "TypingDriver.h"

#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace {
// More than a pipe or a terminal hands over in one read.
constexpr std::size_t readSize = 256 * 1024;
// A paste typed as keys makes the editor draw its row for every key, some
// hundred MB: only the end of the output is kept for looking in.
constexpr std::size_t keptOutput = 1024 * 1024;
constexpr std::size_t keptAfterTrim = 64 * 1024;
} // namespace

TypingDriver::TypingDriver(int in, int out, int log)
    : input(in), output(out), serverLog(log), buffer(new char[readSize]) {}

void TypingDriver::Type(const std::string &bytes) {
  typed.erase(0, written);
  written = 0;
  typed += bytes;
}

bool TypingDriver::UntilShown(const std::string &text, Clock::time_point deadline) {
  // Where to look from, counted from the first byte ever read, so that it
  // holds while the start is dropped.
  std::uint64_t from = dropped;
  for (;;) {
    const std::string::size_type found =
        unread.find(text, from > dropped ? static_cast<std::size_t>(from - dropped) : 0);
    if (found != std::string::npos) {
      dropped += found + text.size();
      unread.erase(0, found + text.size());
      return true;
    }
    if (outputEnded)
      return false;
    // A text cut between two reads starts within its length of the end.
    from = dropped + (unread.size() >= text.size() ? unread.size() - text.size() + 1 : 0);
    if (!Step(deadline))
      return false;
  }
}

bool TypingDriver::UntilReceived(std::size_t messages, Clock::time_point deadline) {
  while (received < messages || written < typed.size()) {
    if (!Step(deadline))
      return false;
  }
  return true;
}

bool TypingDriver::UntilEnd(Clock::time_point deadline) {
  while (!outputEnded) {
    if (!Step(deadline))
      return false;
  }
  return true;
}

bool TypingDriver::Step(Clock::time_point deadline) {
  if (!WriteTyped())
    return false;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() < 0)
    return false;
  const bool writing = written < typed.size();
  pollfd fds[3];
  nfds_t count = 0;
  if (!outputEnded)
    fds[count++] = {output, static_cast<short>(POLLIN | (writing && input == output ? POLLOUT : 0)),
                    0};
  if (writing && input != output)
    fds[count++] = {input, POLLOUT, 0};
  fds[count++] = {serverLog, POLLIN, 0};
  const int ready = poll(fds, count, static_cast<int>(left.count()) + 1);
  if (ready < 0 && errno != EINTR)
    return false;
  return (outputEnded || ReadOutput()) && ReadLog();
}

bool TypingDriver::WriteTyped() {
  while (written < typed.size()) {
    const ssize_t put = write(input, typed.data() + written, typed.size() - written);
    if (put > 0) {
      written += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR)
      continue;
    return put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

bool TypingDriver::ReadOutput() {
  for (;;) {
    const ssize_t got = read(output, buffer.get(), readSize);
    if (got > 0) {
      unread.append(buffer.get(), static_cast<std::size_t>(got));
      if (unread.size() > keptOutput) {
        dropped += unread.size() - keptAfterTrim;
        unread.erase(0, unread.size() - keptAfterTrim);
      }
      continue;
    }
    // A terminal's master reads EIO once no one holds the slave.
    if (got == 0 || errno == EIO) {
      outputEnded = true;
      return true;
    }
    if (errno != EINTR)
      return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

bool TypingDriver::ReadLog() {
  for (;;) {
    const ssize_t got = read(serverLog, buffer.get(), readSize);
    if (got == 0)
      return false;
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    logLine.append(buffer.get(), static_cast<std::size_t>(got));
    std::string::size_type start = 0;
    std::string::size_type end;
    while ((end = logLine.find('\n', start)) != std::string::npos) {
      // "recv LENGTH"
      if (logLine.compare(start, 5, "recv ") == 0) {
        ++received;
        receivedBytes += std::strtoull(logLine.c_str() + start + 5, nullptr, 10);
      }
      start = end + 1;
    }
    logLine.erase(0, start);
  }
}
