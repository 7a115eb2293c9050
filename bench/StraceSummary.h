#ifndef SKELLAN_BENCH_STRACESUMMARY_H
#define SKELLAN_BENCH_STRACESUMMARY_H

#include <cstdint>
#include <map>
#include <string>

// What `strace -c` counted: how many times the processes and threads it
// traced made each system call.
class StraceSummary {
public:
  // Reads the table that `strace -c -o PATH` wrote; throws
  // std::runtime_error when there is none.
  explicit StraceSummary(const std::string &path);

  // By the call's name: how often it was made, and how often it failed.
  const std::map<std::string, std::uint64_t> &Calls() const { return calls; }
  const std::map<std::string, std::uint64_t> &Failures() const { return failures; }

private:
  std::map<std::string, std::uint64_t> calls;
  std::map<std::string, std::uint64_t> failures;
};

#endif
