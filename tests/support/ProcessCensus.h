#ifndef SKELLAN_TESTS_SUPPORT_PROCESSCENSUS_H
#define SKELLAN_TESTS_SUPPORT_PROCESSCENSUS_H

#include "ChildProcess.h"

#include <sys/types.h>

#include <cstddef>
#include <vector>

#include <string>

// Counts what a running process holds, from /proc: its open descriptors, its
// threads, and among them the client's receivers (a sanitizer runtime may
// add threads of its own, so only those are counted by name).
class ProcessCensus {
public:
  static std::size_t Descriptors(pid_t pid);
  static std::size_t Threads(pid_t pid);
  static std::size_t Receivers(pid_t pid);
  // Waits until the process has exactly `count` receiver threads.
  static bool WaitForReceivers(pid_t pid, std::size_t count, ChildProcess::Duration timeout);

private:
  // Entries of a /proc folder, "." and ".." left out; none if it cannot be read.
  static std::vector<std::string> Entries(const std::string &folder);
};

#endif
