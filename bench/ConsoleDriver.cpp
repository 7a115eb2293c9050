#include "ConsoleDriver.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {
// One read takes what a full pipe holds.
constexpr std::size_t readSize = 128 * 1024;
} // namespace

ConsoleDriver::ConsoleDriver(SpawnedProcess &child) : process(child), buffer(new char[readSize]) {}

bool ConsoleDriver::ReadAvailable(bool &ended) {
  ended = false;
  for (;;) {
    ssize_t got = read(process.Output(), buffer.get(), readSize);
    if (got > 0) {
      outputBytes += static_cast<std::uint64_t>(got);
      if (recent.size() < RecentLimit)
        recent.append(buffer.get(), std::min<std::size_t>(static_cast<std::size_t>(got),
                                                          RecentLimit - recent.size()));
      return true;
    }
    if (got == 0) {
      ended = true;
      return true;
    }
    if (errno == EINTR)
      continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

bool ConsoleDriver::Wait(bool forInput, bool forOutput, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0)
      return false;
    pollfd fds[2];
    nfds_t count = 0;
    if (forInput)
      fds[count++] = {process.Input(), POLLOUT, 0};
    if (forOutput)
      fds[count++] = {process.Output(), POLLIN, 0};
    int ready = poll(fds, count, static_cast<int>(left.count()) + 1);
    if (ready > 0)
      return true;
    if (ready < 0 && errno != EINTR)
      return false;
  }
}

bool ConsoleDriver::Exchange(const std::string &text, std::size_t repeats,
                             std::uint64_t outputTotal, Clock::time_point deadline) {
  recent.clear();
  const std::uint64_t inputTotal = static_cast<std::uint64_t>(text.size()) * repeats;
  std::uint64_t written = 0;
  bool ended = false;
  for (;;) {
    while (written < inputTotal) {
      const std::size_t offset = static_cast<std::size_t>(written % text.size());
      ssize_t put = write(process.Input(), text.data() + offset, text.size() - offset);
      if (put > 0) {
        written += static_cast<std::uint64_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR)
        continue;
      if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        break;
      return false;
    }
    const bool moreOutput = outputBytes < outputTotal;
    if (written == inputTotal && !moreOutput)
      return true;
    // Waiting first, not reading first: right after a line went out, the
    // answer is hardly ever there yet.
    if (!Wait(written < inputTotal, moreOutput, deadline))
      return false;
    if (moreOutput && (!ReadAvailable(ended) || ended))
      return false;
  }
}

bool ConsoleDriver::ReadLine(std::string &line, Clock::time_point deadline) {
  recent.clear();
  bool ended = false;
  std::string::size_type feed;
  while ((feed = recent.find('\n')) == std::string::npos) {
    if (!Wait(false, true, deadline) || !ReadAvailable(ended) || ended)
      return false;
  }
  line = recent.substr(0, feed);
  return true;
}

bool ConsoleDriver::Finish(Clock::time_point deadline) {
  process.CloseInput();
  recent.clear();
  bool ended = false;
  while (!ended) {
    if (!Wait(false, true, deadline) || !ReadAvailable(ended))
      return false;
  }
  return true;
}
