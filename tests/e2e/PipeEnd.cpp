#include "PipeEnd.h"

#include <unistd.h>

#include <cerrno>

void PipeEnd::CloseIfOpen(int &fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

void PipeEnd::Drain(int &fd, std::string &into) {
  char buffer[65536];
  while (fd >= 0) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;
    } else {
      CloseIfOpen(fd);
    }
  }
}

int PipeEnd::Remaining(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
  return left > 0 ? static_cast<int>(left) : 0;
}
