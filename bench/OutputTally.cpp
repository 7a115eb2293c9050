#include "OutputTally.h"

#include "FeedText.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {
// More than a pipe or a terminal hands over in one read.
constexpr std::size_t readSize = 256 * 1024;

std::uint64_t Occurrences(const char *data, std::size_t length, char wanted) {
  std::uint64_t found = 0;
  const char *end = data + length;
  while ((data = static_cast<const char *>(
              std::memchr(data, wanted, static_cast<std::size_t>(end - data)))) != nullptr) {
    ++found;
    ++data;
  }
  return found;
}
} // namespace

OutputTally::OutputTally(int output) : fd(output), buffer(new char[readSize]) {}

void OutputTally::Count(const char *data, std::size_t length) {
  bytes += length;
  returns += Occurrences(data, length, '\r');
  dollars += Occurrences(data, length, '$');
  marked = marked || std::memchr(data, FeedText::endMark, length) != nullptr;
}

bool OutputTally::ReadAvailable(bool &ended) {
  ended = false;
  for (;;) {
    const ssize_t got = read(fd, buffer.get(), readSize);
    // All there is, without a poll between the reads of a full pipe.
    if (got > 0) {
      Count(buffer.get(), static_cast<std::size_t>(got));
      continue;
    }
    // A terminal's master reads EIO once no one holds the slave.
    if (got == 0 || errno == EIO) {
      ended = true;
      return true;
    }
    if (errno != EINTR)
      return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

bool OutputTally::Wait(Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0)
      return false;
    pollfd readable{fd, POLLIN, 0};
    const int ready = poll(&readable, 1, static_cast<int>(left.count()) + 1);
    if (ready > 0)
      return true;
    if (ready < 0 && errno != EINTR)
      return false;
  }
}

bool OutputTally::UntilMark(Clock::time_point deadline) {
  bool ended = false;
  while (!marked) {
    if (!Wait(deadline) || !ReadAvailable(ended) || ended)
      return false;
  }
  return true;
}

bool OutputTally::UntilEnd(Clock::time_point deadline) {
  bool ended = false;
  while (!ended) {
    if (!Wait(deadline) || !ReadAvailable(ended))
      return false;
  }
  return true;
}
