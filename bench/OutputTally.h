#ifndef SKELLAN_BENCH_OUTPUTTALLY_H
#define SKELLAN_BENCH_OUTPUTTALLY_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

// Reads and drops what a client writes, from a pipe or a terminal's master
// side, counting as it goes: all bytes, the carriage returns and '$'s of
// Skellan's frames ("\r" before a piece, "$ " after it, and its prompts),
// and whether the end mark of a FeedText workload has come. Counting single
// bytes with memchr keeps the reader cheap next to the client it measures.
class OutputTally {
public:
  using Clock = std::chrono::steady_clock;

  // `fd` is non-blocking.
  explicit OutputTally(int fd);

  // Reads until the end mark has come; false when the time runs out or the
  // output ends first.
  bool UntilMark(Clock::time_point deadline);
  // Reads until the writer has closed the output; false when the time runs out.
  bool UntilEnd(Clock::time_point deadline);

  std::uint64_t Bytes() const { return bytes; }
  // The bytes less each carriage return and each "$ ": of the text shown,
  // as the workloads hold neither.
  std::uint64_t Unframed() const { return bytes - returns - 2 * dollars; }

private:
  // Takes in all there is; `ended` at the end of output.
  bool ReadAvailable(bool &ended);
  void Count(const char *data, std::size_t length);
  bool Wait(Clock::time_point deadline);

  int fd;
  std::unique_ptr<char[]> buffer;
  std::uint64_t bytes = 0;
  std::uint64_t returns = 0;
  std::uint64_t dollars = 0;
  bool marked = false;
};

#endif
